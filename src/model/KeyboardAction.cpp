#include "model/KeyboardAction.h"

#include <array>

namespace {
struct ActionInfo {
    KeyboardAction action;
    const char* title;
    QString KeyboardShortcuts::*field;
};

const std::array<ActionInfo, 7> kActions{{
    {KeyboardAction::todos, "Open Todos", &KeyboardShortcuts::todos},
    {KeyboardAction::notes, "Open Notes", &KeyboardShortcuts::notes},
    {KeyboardAction::import, "Import Files", &KeyboardShortcuts::import},
    {KeyboardAction::paste, "Paste from Clipboard", &KeyboardShortcuts::paste},
    {KeyboardAction::expand, "Toggle Expand/Collapse", &KeyboardShortcuts::expand},
    {KeyboardAction::mini, "Toggle Mini View", &KeyboardShortcuts::mini},
    {KeyboardAction::dashboard, "Show Dashboard", &KeyboardShortcuts::dashboard},
}};

const ActionInfo& infoOf(KeyboardAction action) {
    for (const auto& info : kActions) {
        if (info.action == action) {
            return info;
        }
    }
    return kActions.front();
}
} // namespace

QString rawValue(KeyboardAction action) {
    return QString::fromLatin1(infoOf(action).title);
}

std::optional<KeyboardAction> keyboardActionFromRaw(const QString& title) {
    for (const auto& info : kActions) {
        if (title == QLatin1String(info.title)) {
            return info.action;
        }
    }
    return std::nullopt;
}

const QList<KeyboardAction>& allKeyboardActions() {
    static const QList<KeyboardAction> all = [] {
        QList<KeyboardAction> list;
        for (const auto& info : kActions) {
            list.append(info.action);
        }
        return list;
    }();
    return all;
}

QString& shortcutField(KeyboardShortcuts& shortcuts, KeyboardAction action) {
    return shortcuts.*(infoOf(action).field);
}

const QString& shortcutField(const KeyboardShortcuts& shortcuts, KeyboardAction action) {
    return shortcuts.*(infoOf(action).field);
}
