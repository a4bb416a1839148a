#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class Clock;
class Dialogs;
class KeychainStore;
class KippetManager;
class LocalModelServer;
class NotificationCenter;
class Preferences;
class Relauncher;
class UpdateChecker;
class Workspace;

// What the About section shows: the version and links the build was configured with.
struct AboutInfo {
    QString version;
    QString buildNumber;
    QString minimumQtVersion;
    // Empty hides the link.
    QUrl helpUrl;
    QUrl privacyUrl;
    // Where the cloud API key section sends users for a key.
    QUrl apiKeysUrl;

    static AboutInfo fromBuild();
};

// Everything the settings tab works with, handed in by whoever builds it: the composition
// root's shared services in the app, a test's own in tests.
struct SettingsServices {
    Preferences* preferences = nullptr;
    KeychainStore* keychain = nullptr;
    LocalModelServer* localModel = nullptr;
    KippetManager* manager = nullptr;
    Dialogs* dialogs = nullptr;
    NotificationCenter* notifications = nullptr;
    Clock* clock = nullptr;
    Workspace* workspace = nullptr;
    UpdateChecker* updates = nullptr;
    std::shared_ptr<Relauncher> relauncher;
    // Told after "daily_kippet_enabled" was written by the daily switch: the scheduler stops or
    // restarts its timer. None: nothing runs on a timer yet.
    std::function<void(bool enabled)> dailyKippetSwitched;
    // "Create Today's Kippet Now".
    std::function<void()> createDailyKippet;
    AboutInfo about;

    // The installed shared instances, a relauncher of this process and the build's settings.
    static SettingsServices shared();
};
