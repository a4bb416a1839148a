#include "app/BuildSettings.h"

#ifndef KIPPETS_VERSION
#define KIPPETS_VERSION ""
#endif
#ifndef KIPPETS_BUILD_NUMBER
#define KIPPETS_BUILD_NUMBER "1"
#endif
#ifndef KIPPETS_MINIMUM_QT
#define KIPPETS_MINIMUM_QT ""
#endif
#ifndef KIPPETS_HELP_URL
#define KIPPETS_HELP_URL ""
#endif
#ifndef KIPPETS_PRIVACY_URL
#define KIPPETS_PRIVACY_URL ""
#endif
#ifndef KIPPETS_UPDATE_FEED_URL
#define KIPPETS_UPDATE_FEED_URL ""
#endif
#ifndef KIPPETS_API_KEYS_URL
#define KIPPETS_API_KEYS_URL "https://platform.openai.com/api-keys"
#endif

namespace BuildSettings {

QString version() {
    return QStringLiteral(KIPPETS_VERSION);
}

QString buildNumber() {
    return QStringLiteral(KIPPETS_BUILD_NUMBER);
}

QString minimumQtVersion() {
    return QStringLiteral(KIPPETS_MINIMUM_QT);
}

QUrl helpUrl() {
    return httpsOnly(QStringLiteral(KIPPETS_HELP_URL));
}

QUrl privacyUrl() {
    const QUrl configured = httpsOnly(QStringLiteral(KIPPETS_PRIVACY_URL));
    if (!configured.isEmpty())
        return configured;
    QUrl privacy = helpUrl();
    if (privacy.isEmpty())
        return {};
    privacy.setPath(QStringLiteral("/privacy"));
    privacy.setQuery(QString());
    privacy.setFragment(QString());
    return privacy;
}

QUrl updateFeedUrl() {
    return httpsOnly(QStringLiteral(KIPPETS_UPDATE_FEED_URL));
}

QUrl apiKeysUrl() {
    return httpsOnly(QStringLiteral(KIPPETS_API_KEYS_URL));
}

QUrl httpsOnly(const QString& address) {
    const QUrl url(address.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QStringLiteral("https") || url.host().isEmpty())
        return {};
    return url;
}

} // namespace BuildSettings
