#include "app/KeyboardShortcutManager.h"

#include "platform/NotificationNames.h"
#include "platform/Preferences.h"

#include <QPointer>

namespace {
QPointer<KeyboardShortcutManager>& installed() {
    static QPointer<KeyboardShortcutManager> instance;
    return instance;
}
} // namespace

KeyboardShortcutManager::KeyboardShortcutManager() {
    loadShortcuts();
    NotificationCenter::shared().observe(
        NotificationName::keyboardShortcutsUpdated, this,
        [this](const NotificationCenter::Notification& note) { handleShortcutsUpdated(note); });
}

KeyboardShortcutManager::~KeyboardShortcutManager() = default;

KeyboardShortcutManager& KeyboardShortcutManager::shared() {
    if (!installed()) {
        static KeyboardShortcutManager processWide;
        installed() = &processWide;
    }
    return *installed();
}

void KeyboardShortcutManager::install(KeyboardShortcutManager* manager) {
    installed() = manager;
}

void KeyboardShortcutManager::loadShortcuts() {
    const std::optional<QByteArray> data =
        Preferences::shared().dataValue(KeyboardShortcuts::preferenceKey);
    if (!data)
        return;
    if (const std::optional<KeyboardShortcuts> stored = KeyboardShortcuts::fromJsonBytes(*data))
        shortcuts_ = *stored;
}

void KeyboardShortcutManager::handleShortcutsUpdated(
    const NotificationCenter::Notification& notification) {
    if (notification.object.metaType() == QMetaType::fromType<KeyboardShortcuts>()) {
        shortcuts_ = notification.object.value<KeyboardShortcuts>();
        return;
    }
    loadShortcuts();
}
