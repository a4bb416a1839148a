#include "model/KippetViewMode.h"

QString rawValue(KippetViewMode mode) {
    switch (mode) {
    case KippetViewMode::mini:
        return QStringLiteral("Mini");
    case KippetViewMode::collapsed:
        return QStringLiteral("Collapsed");
    case KippetViewMode::expanded:
        return QStringLiteral("Expanded");
    }
    return QStringLiteral("Collapsed");
}

std::optional<KippetViewMode> kippetViewModeFromRaw(const QString& raw) {
    for (const KippetViewMode mode : allKippetViewModes()) {
        if (rawValue(mode) == raw) {
            return mode;
        }
    }
    return std::nullopt;
}

const QList<KippetViewMode>& allKippetViewModes() {
    static const QList<KippetViewMode> all{KippetViewMode::mini, KippetViewMode::collapsed,
                                           KippetViewMode::expanded};
    return all;
}
