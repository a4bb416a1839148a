#include "tuck/TuckAwayOutline.h"

#include "tuck/TuckAwayLayout.h"
#include "tuck/TuckAwayStyle.h"
#include "tuck/TuckAwayUnifiedShape.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QPainter>

TuckAwayOutline::TuckAwayOutline(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TuckAwayOutline::setEdge(ScreenEdge edge) {
    edge_ = edge;
    update();
}

QPainterPath TuckAwayOutline::shape() const {
    if (edge_ == ScreenEdge::left || edge_ == ScreenEdge::right) {
        const TuckAwayUnifiedShape unified(
            TuckAwayLayout::pullTabWidth, TuckAwayLayout::pullTabHeight,
            TuckAwayStyle::cornerRadius, TuckAwayStyle::cornerRadius, edge_);
        return unified.path(size());
    }
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), TuckAwayStyle::cornerRadius, TuckAwayStyle::cornerRadius);
    return path;
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
