#pragma once

#include "model/KeyboardShortcuts.h"

#include <QList>
#include <QString>
#include <optional>

// The actions a kippet window offers on a single key; each names the shortcut field of its name.
enum class KeyboardAction { todos, notes, import, paste, expand, mini, dashboard };

// The display title, which is also the raw value ("Open Todos", ...).
QString rawValue(KeyboardAction action);
// Exactly one of the seven titles, case and spacing included; nothing otherwise.
std::optional<KeyboardAction> keyboardActionFromRaw(const QString& title);
const QList<KeyboardAction>& allKeyboardActions();

// The field of the shortcuts that the action names.
QString& shortcutField(KeyboardShortcuts& shortcuts, KeyboardAction action);
const QString& shortcutField(const KeyboardShortcuts& shortcuts, KeyboardAction action);
