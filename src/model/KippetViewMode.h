#pragma once

#include <QList>
#include <QString>
#include <optional>

// The display modes as the tour's previews show them; a kippet window keeps its own mode in the
// kippet's expanded and mini-view flags.
enum class KippetViewMode { mini, collapsed, expanded };

QString rawValue(KippetViewMode mode);
// Exactly "Mini", "Collapsed" or "Expanded"; nothing otherwise.
std::optional<KippetViewMode> kippetViewModeFromRaw(const QString& raw);
const QList<KippetViewMode>& allKippetViewModes();
