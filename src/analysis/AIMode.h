#pragma once

#include <QList>
#include <QString>

// The analysis mode the user chose; stored under "ai_mode" as its raw value.
enum class AIMode { onDevice, byok, off };

QString rawValue(AIMode mode);
// Exact match of a raw value; any other text reads as onDevice.
AIMode aiModeFromRaw(const QString& raw);
// Every mode in iteration order.
const QList<AIMode>& allAIModes();
