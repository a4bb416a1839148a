#pragma once

#include <QString>
#include <QUrl>

// What the build was configured with: the version shown to the user and the web addresses the
// app may open or read. An address given as anything but https counts as unset.
namespace BuildSettings {
// The CMake project version, e.g. "1.0".
QString version();
// KIPPETS_BUILD_NUMBER, "1" unless the build names another.
QString buildNumber();
// KIPPETS_MINIMUM_QT, by default the Qt version the build requires; may be empty.
QString minimumQtVersion();
// KIPPETS_HELP_URL; empty when unset.
QUrl helpUrl();
// KIPPETS_PRIVACY_URL, else the help address's host with the path "/privacy"; empty when both
// are unset.
QUrl privacyUrl();
// KIPPETS_UPDATE_FEED_URL; none by default, the app then leaves updates to the package manager.
QUrl updateFeedUrl();
// KIPPETS_API_KEYS_URL, by default the cloud provider's API key page.
QUrl apiKeysUrl();

// The address when it is a well-formed https address, else an empty one.
QUrl httpsOnly(const QString& address);
} // namespace BuildSettings
