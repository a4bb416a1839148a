#pragma once

#include "model/KeyboardShortcuts.h"
#include "platform/NotificationCenter.h"

#include <QObject>

// The single keys in force for the whole process: the defaults, replaced by the user's saved
// choice when it reads, and by every choice announced with "KeyboardShortcutsUpdated". Kippet
// windows read `shortcuts()` at each key press, so a new choice counts from the next key.
// GUI thread only.
class KeyboardShortcutManager : public QObject {
    Q_OBJECT
public:
    KeyboardShortcutManager();
    ~KeyboardShortcutManager() override;

    // The installed instance; without one, a process-wide instance made on first use.
    static KeyboardShortcutManager& shared();
    static void install(KeyboardShortcutManager* manager);

    const KeyboardShortcuts& shortcuts() const { return shortcuts_; }
    void setShortcuts(const KeyboardShortcuts& shortcuts) { shortcuts_ = shortcuts; }

    // Takes the saved choice when there is one that decodes; otherwise the keys stay as they are.
    void loadShortcuts();
    // A KeyboardShortcuts value as the notification's object replaces the keys; anything else
    // reads the saved choice again.
    void handleShortcutsUpdated(const NotificationCenter::Notification& notification);

private:
    KeyboardShortcuts shortcuts_;
};
