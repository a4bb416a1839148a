#include "analysis/AIMode.h"

QString rawValue(AIMode mode) {
    switch (mode) {
    case AIMode::onDevice:
        return QStringLiteral("onDevice");
    case AIMode::byok:
        return QStringLiteral("byok");
    case AIMode::off:
        return QStringLiteral("off");
    }
    return QStringLiteral("onDevice");
}

AIMode aiModeFromRaw(const QString& raw) {
    for (AIMode mode : allAIModes()) {
        if (rawValue(mode) == raw)
            return mode;
    }
    return AIMode::onDevice;
}

const QList<AIMode>& allAIModes() {
    static const QList<AIMode> modes{AIMode::onDevice, AIMode::byok, AIMode::off};
    return modes;
}
