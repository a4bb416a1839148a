#pragma once

#include <QString>

// Counting and cutting text by user-perceived characters (grapheme clusters), so an emoji with
// modifiers or a letter with combining marks counts once and is never split in half.
namespace PerceivedText {
qsizetype length(const QString& text);
// The first `count` user-perceived characters of text (all of it when shorter).
QString prefix(const QString& text, qsizetype count);
} // namespace PerceivedText
