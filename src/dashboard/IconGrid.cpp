#include "dashboard/IconGrid.h"

#include "dashboard/KippetForm.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr qreal symbolPoints = 17;

int rowCount() {
    return int((IconGrid::iconOptions().size() + IconGrid::columns - 1) / IconGrid::columns);
}
} // namespace

const QStringList& IconGrid::iconOptions() {
    return SymbolNames::kippetIcons();
}

IconGrid::IconGrid(KippetForm& form, QWidget* parent) : KeyboardGrid(parent), form_(form) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(&form_, &KippetForm::iconChanged, this, qOverload<>(&QWidget::update));
    connect(&form_, &KippetForm::colorChanged, this, qOverload<>(&QWidget::update));
}

QSize IconGrid::sizeHint() const {
    return QSize(columns * cellSize + (columns - 1) * spacing + 2 * focusMargin,
                 rowCount() * cellSize + (rowCount() - 1) * spacing + 2 * focusMargin);
}

QRect IconGrid::cellRect(int cell) const {
    return QRect(focusMargin + (cell % columns) * (cellSize + spacing),
                 focusMargin + (cell / columns) * (cellSize + spacing), cellSize, cellSize);
}

int IconGrid::cellAt(const QPoint& point) const {
    for (int cell = 0; cell < iconOptions().size(); ++cell) {
        if (cellRect(cell).contains(point))
            return cell;
    }
    return -1;
}

int IconGrid::selectedCell() const {
    return int(iconOptions().indexOf(form_.icon()));
}

void IconGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int selected = selectedCell();
    const QColor color = form_.color().toQColor();
    const QColor idle = Theme::secondary(palette());
    // Only the cells in view are drawn, so a long grid in a scrolling form costs what shows.
    for (int cell = 0; cell < iconOptions().size(); ++cell) {
        const QRect bounds = cellRect(cell);
        if (!event->rect().intersects(bounds))
            continue;
        const bool isSelected = cell == selected;
        if (isSelected) {
            QPainterPath shape;
            shape.addRoundedRect(QRectF(bounds), 8, 8);
            painter.fillPath(shape, Theme::withAlpha(color, 0.15));
            QPainterPath border;
            border.addRoundedRect(QRectF(bounds).adjusted(1, 1, -1, -1), 7, 7);
            painter.setPen(QPen(color, 2));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(border);
        }
        const QPixmap glyph = Theme::kippetIcon(iconOptions().at(cell), isSelected ? color : idle,
                                                symbolPoints, devicePixelRatioF());
        const QSizeF size = glyph.deviceIndependentSize();
        painter.drawPixmap(QPointF(bounds.center().x() + 0.5 - size.width() / 2,
                                   bounds.center().y() + 0.5 - size.height() / 2),
                           glyph);
    }
    paintFocus(painter);
}

void IconGrid::paintFocusRing(QPainter& painter, const QRectF& cell) const {
    painter.drawRoundedRect(cell.adjusted(-2.5, -2.5, 2.5, 2.5), 10, 10);
}

void IconGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const int cell = cellAt(event->position().toPoint());
    if (cell >= 0)
        chooseCell(cell);
}

void IconGrid::chooseCell(int cell) {
    if (cell >= 0 && cell < iconOptions().size())
        form_.setIcon(iconOptions().at(cell));
}
