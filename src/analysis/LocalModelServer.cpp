#include "analysis/LocalModelServer.h"

#include "analysis/HttpClient.h"

#include "platform/Clock.h"
#include "platform/Preferences.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

LocalModelServer* installed = nullptr;

const QString defaultBaseUrl = QStringLiteral("http://127.0.0.1:11434/v1");

// Ollama lists "name:latest" for a model its users call "name".
bool listsModel(const QStringList& ids, const QString& model) {
    return ids.contains(model) || ids.contains(model + QStringLiteral(":latest"));
}

bool noServerAnswering(QNetworkReply::NetworkError error, bool timedOut) {
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
        return true;
    case QNetworkReply::OperationCanceledError:
        return timedOut;
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
    if (probe_)
        probe_->abort();
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
    if (probe_)
        return;
    probeTimedOut_ = false;
    QNetworkRequest request(QUrl(resolveBaseUrl().toString() + QStringLiteral("/models")));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    probe_ = network().get(request);
    QNetworkReply* reply = probe_;
    connect(reply, &QNetworkReply::finished, this, &LocalModelServer::finishProbe);
    Clock::shared().schedule(probeTimeout, reply, [this, reply] {
        probeTimedOut_ = true;
        reply->abort();
    });
}

void LocalModelServer::finishProbe() {
    QNetworkReply* reply = probe_;
    probe_ = nullptr;
    if (!reply)
        return;
    reply->deleteLater();
    reason_ = readAnswer(*reply);
    answeredAt_ = Clock::shared().now();
    emit probeAnswered();
}

std::optional<AnalyzerUnavailableReason> LocalModelServer::readAnswer(QNetworkReply& reply) {
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 503) // llama.cpp's server answers so while it loads its model
        return AnalyzerUnavailableReason::modelNotReady;
    if (reply.error() != QNetworkReply::NoError) {
        if (status == 0 && noServerAnswering(reply.error(), probeTimedOut_))
            return AnalyzerUnavailableReason::localModelNotRunning;
        return AnalyzerUnavailableReason::unknown;
    }
    const QJsonDocument document = QJsonDocument::fromJson(reply.readAll());
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

QNetworkAccessManager& LocalModelServer::network() {
    return HttpClient::isInstalled() ? HttpClient::shared().network() : ownNetwork_;
}
