#pragma once

class Kippet;
class QPainter;
class QPalette;
class QRectF;

// The card's picture of a kippet's content, drawn as its collapsed window shows it while that
// window is not the active one: "Analyzing Content..." while an item is being analysed, else the
// icon badge with the item count and the name.
// TODO(integration): draw the collapsed window's own state indicator here once it is shared.
namespace KippetPreview {
void paint(QPainter& painter, const QRectF& rect, const Kippet& kippet, const QPalette& palette);
}
