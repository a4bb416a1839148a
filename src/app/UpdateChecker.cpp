#include "app/UpdateChecker.h"

#include "analysis/HttpClient.h"
#include "app/Dialogs.h"
#include "app/Workspace.h"
#include "platform/Log.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QWidget>

namespace {
UpdateChecker* installed = nullptr;

bool acceptableFeed(const QUrl& url) {
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QStringLiteral("https"))
        return true;
    return url.scheme() == QStringLiteral("http") && QHostAddress(url.host()).isLoopback();
}

UpdateChecker::Outcome failure(const QString& reason) {
    UpdateChecker::Outcome outcome;
    outcome.kind = UpdateChecker::Outcome::Kind::failed;
    outcome.reason = reason;
    return outcome;
}
} // namespace

UpdateChecker::UpdateChecker(QUrl feed, QString currentVersion, QObject* parent)
    : QObject(parent), feed_(acceptableFeed(feed) ? std::move(feed) : QUrl()),
      current_(std::move(currentVersion)) {}

UpdateChecker& UpdateChecker::shared() {
    // Before the composition root installs one, the build's own settings apply.
    static UpdateChecker fallback;
    return installed ? *installed : fallback;
}

void UpdateChecker::install(UpdateChecker* checker) {
    installed = checker;
}

bool UpdateChecker::isInstalled() {
    return installed != nullptr;
}

std::optional<int> UpdateChecker::compareVersions(const QString& left, const QString& right) {
    static const QRegularExpression dotted(QStringLiteral("^\\d{1,9}(\\.\\d{1,9})*$"));
    if (!dotted.match(left).hasMatch() || !dotted.match(right).hasMatch())
        return std::nullopt;
    const QStringList a = left.split(QLatin1Char('.'));
    const QStringList b = right.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        const int x = i < a.size() ? a[i].toInt() : 0;
        const int y = i < b.size() ? b[i].toInt() : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

UpdateChecker::Outcome UpdateChecker::judge(const QByteArray& body) const {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return failure(QStringLiteral("the update feed is not valid JSON"));
    const QJsonObject feed = document.object();
    const QString version = feed.value(QStringLiteral("version")).toString();
    const std::optional<int> order = compareVersions(version, current_);
    if (!order)
        return failure(QStringLiteral("the update feed names no valid version"));
    Outcome outcome;
    outcome.version = version;
    if (*order <= 0) {
        outcome.kind = Outcome::Kind::current;
        return outcome;
    }
    outcome.kind = Outcome::Kind::newer;
    outcome.downloadUrl = BuildSettings::httpsOnly(feed.value(QStringLiteral("url")).toString());
    return outcome;
}

QCoro::Task<UpdateChecker::Outcome> UpdateChecker::check() {
    if (feed_.isEmpty())
        co_return Outcome{};
    QNetworkRequest request(feed_);
    request.setRawHeader("Accept", "application/json");
    QPointer<UpdateChecker> self(this);
    const HttpClient::Result result =
        co_await HttpClient::shared().fetchPrefix(request, feedLimit, timeout);
    if (!self)
        co_return failure(QStringLiteral("the check was abandoned"));
    if (result.failure == HttpClient::Result::Failure::timeout)
        co_return failure(QStringLiteral("the update server did not answer"));
    if (result.failure != HttpClient::Result::Failure::none || !result.status)
        co_return failure(result.errorText.isEmpty() ? QStringLiteral("the update server could "
                                                                      "not be reached")
                                                     : result.errorText);
    if (*result.status != 200)
        co_return failure(QStringLiteral("the update server answered HTTP %1").arg(*result.status));
    if (result.truncated)
        co_return failure(QStringLiteral("the update feed is too large"));
    co_return judge(result.body);
}

QString UpdateChecker::message(const Outcome& outcome) const {
    switch (outcome.kind) {
    case Outcome::Kind::noFeed:
        return QStringLiteral("Kippets is updated through your system's package manager.");
    case Outcome::Kind::newer:
        return QStringLiteral("Kippets %1 is available. You have %2.")
            .arg(outcome.version, current_);
    case Outcome::Kind::current:
        return QStringLiteral("Kippets %1 is up to date.").arg(current_);
    case Outcome::Kind::failed:
        break;
    }
    return QStringLiteral("Could not check for updates: %1.").arg(outcome.reason);
}

QCoro::Task<void> UpdateChecker::checkForUpdates(QWidget* parent) {
    if (checking_)
        co_return;
    checking_ = true;
    QPointer<QWidget> owner(parent);
    QPointer<UpdateChecker> self(this);
    const Outcome outcome = co_await check();
    if (!self)
        co_return;
    checking_ = false;
    if (outcome.kind == Outcome::Kind::failed)
        Log::line(QStringLiteral("⚠️ [Updates] ") + message(outcome));
    if (outcome.kind != Outcome::Kind::newer) {
        Dialogs::shared().showAlert(title, message(outcome), owner);
        co_return;
    }
    QStringList buttons;
    if (!outcome.downloadUrl.isEmpty())
        buttons << QStringLiteral("Open Download Page");
    buttons << QStringLiteral("Later");
    const std::optional<int> answer =
        Dialogs::shared().ask(title, message(outcome), buttons, owner);
    if (answer == 0 && !outcome.downloadUrl.isEmpty())
        Workspace::shared().open(outcome.downloadUrl);
}
