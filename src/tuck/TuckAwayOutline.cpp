#include "tuck/TuckAwayOutline.h"

#include "tuck/TuckAwayLayout.h"
#include "tuck/TuckAwayStyle.h"
#include "tuck/TuckAwayUnifiedShape.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QPainter>
#include <QTransform>

TuckAwayOutline::TuckAwayOutline(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TuckAwayOutline::setEdge(ScreenEdge edge) {
    edge_ = edge;
    update();
}

QPainterPath TuckAwayOutline::shape() const {
    const double tabAlong = TuckAwayLayout::pullTabWidth;
    const double tabAcross = TuckAwayLayout::pullTabHeight;
    const double radius = TuckAwayStyle::cornerRadius;
    if (edge_ == ScreenEdge::left || edge_ == ScreenEdge::right)
        return TuckAwayUnifiedShape(tabAlong, tabAcross, radius, radius, edge_).path(size());
    // On the top and bottom edges the tab hangs below (or stands above) the middle of the wider
    // panel: the same outline turned a quarter, so that the line runs round the tab and not
    // round the empty room on either side of it. Drawn across, the tab reaches 70 from the
    // panel and is 28 wide; the bottom edge's tab comes first, as the right edge's does.
    const ScreenEdge across = edge_ == ScreenEdge::bottom ? ScreenEdge::right : ScreenEdge::left;
    const QPainterPath turned =
        TuckAwayUnifiedShape(tabAcross, tabAlong, radius, radius, across).path(size().transposed());
    // Swaps x and y.
    return QTransform(0, 1, 1, 0, 0, 0).map(turned);
}

void TuckAwayOutline::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette ambient = QApplication::palette();
    const QColor colour =
        Theme::isDark(ambient) ? QColor(255, 255, 255, 179) : QColor(0, 0, 0, 179);
    QPen pen(colour, lineWidth);
    pen.setCosmetic(true);
    painter.setPen(pen);
    painter.drawPath(drawnPath());
}

QPainterPath TuckAwayOutline::drawnPath() const {
    if (width() <= lineWidth || height() <= lineWidth)
        return shape();
    QTransform inset;
    inset.translate(lineWidth / 2, lineWidth / 2);
    inset.scale((width() - lineWidth) / width(), (height() - lineWidth) / height());
    return inset.map(shape());
}
