#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

class QPalette;

// Stand-ins for two things the application shell owns and the sheets only use: the daily
// kippet's colour and the bundled symbol images. Each forwards to the shell's own once it is
// part of the build; until then they draw a close likeness.
namespace ShellAdapter {
// White in a dark appearance (window lightness under 128), 0.2 grey otherwise.
QColor dailyKippetColor(const QPalette& palette);
// The named symbol filled with `color`, `points` tall, at the device pixel ratio; unknown names
// draw a fallback glyph.
QPixmap symbol(const QString& name, const QColor& color, qreal points, qreal devicePixelRatio);
} // namespace ShellAdapter
