#include "analysis/LocalModelServer.h"

#include "analysis/HttpClient.h"

#include "platform/Clock.h"
#include "platform/Preferences.h"

#include <QCoreApplication>
#include <QCoroSignal>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QPointer>

namespace {

LocalModelServer* installed = nullptr;

const QString defaultBaseUrl = QStringLiteral("http://127.0.0.1:11434/v1");

// Ollama lists "name:latest" for a model its users call "name".
bool listsModel(const QStringList& ids, const QString& model) {
    return ids.contains(model) || ids.contains(model + QStringLiteral(":latest"));
}

bool noServerAnswering(const HttpClient::Result& answer) {
    if (answer.status)
        return false;
    switch (answer.failure) {
    case HttpClient::Result::Failure::timeout:
        return true;
    case HttpClient::Result::Failure::network:
        return answer.transferError == QNetworkReply::ConnectionRefusedError ||
               answer.transferError == QNetworkReply::HostNotFoundError ||
               answer.transferError == QNetworkReply::TimeoutError;
    default:
        return false;
    }
}

} // namespace

LocalModelServer::LocalModelServer(QObject* parent) : QObject(parent) {
    watchPreferences();
    probe();
}

LocalModelServer::~LocalModelServer() {
    if (installed == this)
        installed = nullptr;
}

LocalModelServer& LocalModelServer::shared() {
    if (!installed)
        installed = new LocalModelServer(QCoreApplication::instance());
    return *installed;
}

void LocalModelServer::install(LocalModelServer* server) {
    installed = server;
}

QUrl LocalModelServer::resolveBaseUrl() {
    QString base = qEnvironmentVariable("KIPPETS_LOCAL_MODEL_URL");
    if (base.trimmed().isEmpty())
        base = Preferences::shared().stringOr(QStringLiteral("local_model_url"), QString());
    if (base.trimmed().isEmpty())
        base = defaultBaseUrl;
    base = base.trimmed();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return QUrl(base);
}

std::optional<QString> LocalModelServer::configuredModel() {
    QString model = qEnvironmentVariable("KIPPETS_LOCAL_MODEL").trimmed();
    if (model.isEmpty())
        model =
            Preferences::shared().stringOr(QStringLiteral("local_model_name"), QString()).trimmed();
    if (model.isEmpty())
        return std::nullopt;
    return model;
}

QString LocalModelServer::modelName() const {
    return configuredModel().value_or(listedModel_);
}

std::optional<AnalyzerUnavailableReason> LocalModelServer::unavailableReason() {
    if (hasAnswered() && answeredAt_.msecsTo(Clock::shared().now()) >
                             std::chrono::milliseconds(maxAnswerAge).count())
        probe();
    return reason_;
}

void LocalModelServer::probe() {
    if (probing_)
        return;
    probing_ = true;
    runProbe();
}

QCoro::Task<void> LocalModelServer::waitForFirstAnswer() {
    if (hasAnswered())
        co_return;
    probe();
    QPointer<LocalModelServer> self(this);
    while (self && !hasAnswered())
        co_await qCoro(this, &LocalModelServer::probeAnswered);
}

QCoro::Task<void> LocalModelServer::runProbe() {
    QPointer<LocalModelServer> self(this);
    QNetworkRequest request(QUrl(resolveBaseUrl().toString() + QStringLiteral("/models")));
    const HttpClient::Result answer = co_await http().get(request, probeTimeout);
    if (!self)
        co_return;
    probing_ = false;
    reason_ = readAnswer(answer);
    answeredAt_ = Clock::shared().now();
    emit probeAnswered();
}

std::optional<AnalyzerUnavailableReason>
LocalModelServer::readAnswer(const HttpClient::Result& answer) {
    if (answer.status == 503) // llama.cpp's server answers so while it loads its model
        return AnalyzerUnavailableReason::modelNotReady;
    if (answer.failure != HttpClient::Result::Failure::none)
        return noServerAnswering(answer) ? AnalyzerUnavailableReason::localModelNotRunning
                                         : AnalyzerUnavailableReason::unknown;
    if (answer.status != 200)
        return AnalyzerUnavailableReason::unknown;
    const QJsonDocument document = QJsonDocument::fromJson(answer.body);
    const QJsonValue data = document.object().value(QStringLiteral("data"));
    if (!data.isArray())
        return AnalyzerUnavailableReason::unknown;
    QStringList ids;
    for (const QJsonValue& model : data.toArray()) {
        const QString id = model.toObject().value(QStringLiteral("id")).toString();
        if (!id.isEmpty())
            ids.append(id);
    }
    listedModel_ = ids.value(0);
    if (ids.isEmpty())
        return AnalyzerUnavailableReason::modelNotReady;
    const std::optional<QString> configured = configuredModel();
    if (configured && !listsModel(ids, *configured))
        return AnalyzerUnavailableReason::modelNotReady;
    return std::nullopt;
}

void LocalModelServer::watchPreferences() {
    connect(&Preferences::shared(), &Preferences::changed, this, [this](const QString& key) {
        if (key == QLatin1String("ai_mode") || key == QLatin1String("local_model_url") ||
            key == QLatin1String("local_model_name"))
            probe();
    });
}

HttpClient& LocalModelServer::http() {
    return HttpClient::isInstalled() ? HttpClient::shared() : ownClient_;
}
