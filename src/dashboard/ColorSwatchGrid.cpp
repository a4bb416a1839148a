#include "dashboard/ColorSwatchGrid.h"

#include "app/ColorChooser.h"
#include "dashboard/KippetForm.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QConicalGradient>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QToolTip>

namespace {
constexpr int cellCount = 33;

int rowCount() {
    return (::cellCount + ColorSwatchGrid::columns - 1) / ColorSwatchGrid::columns;
}
} // namespace

const QList<KippetColor>& ColorSwatchGrid::colorPalette() {
    static const QList<KippetColor> colors{
        {1.0, 0.271, 0.227}, {1.0, 0.584, 0.0},     {1.0, 0.8, 0.0},       {0.298, 0.851, 0.392},
        {0.0, 0.78, 0.745},  {0.0, 0.478, 1.0},     {0.357, 0.341, 0.839}, {0.749, 0.353, 0.949},
        {1.0, 0.624, 0.624}, {1.0, 0.8, 0.6},       {1.0, 0.945, 0.6},     {0.698, 0.933, 0.733},
        {0.6, 0.933, 0.933}, {0.678, 0.847, 1.0},   {0.8, 0.8, 1.0},       {0.918, 0.8, 1.0},
        {0.576, 0.0, 0.0},   {0.6, 0.4, 0.2},       {0.6, 0.6, 0.0},       {0.0, 0.392, 0.0},
        {0.0, 0.502, 0.502}, {0.0, 0.259, 0.545},   {0.294, 0.0, 0.51},    {0.545, 0.271, 0.075},
        {0.2, 0.2, 0.2},     {0.4, 0.4, 0.4},       {0.6, 0.6, 0.6},       {0.8, 0.8, 0.8},
        {1.0, 0.753, 0.796}, {0.941, 0.502, 0.502}, {0.824, 0.706, 0.549}, {0.627, 0.322, 0.176}};
    return colors;
}

ColorSwatchGrid::ColorSwatchGrid(KippetForm& form, QWidget* parent)
    : KeyboardGrid(parent), form_(form) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(&form_, &KippetForm::colorChanged, this, qOverload<>(&QWidget::update));
}

QSize ColorSwatchGrid::sizeHint() const {
    return QSize(columns * cellWidth + (columns - 1) * columnSpacing + 2 * focusMargin,
                 rowCount() * circleSize + (rowCount() - 1) * rowSpacing + 2 * focusMargin);
}

int ColorSwatchGrid::cellCount() const {
    return ::cellCount;
}

QRect ColorSwatchGrid::cellRect(int cell) const {
    const int column = cell % columns;
    const int row = cell / columns;
    const int left =
        focusMargin + column * (cellWidth + columnSpacing) + (cellWidth - circleSize) / 2;
    const int top = focusMargin + row * (circleSize + rowSpacing);
    return QRect(left, top, circleSize, circleSize);
}

int ColorSwatchGrid::cellAt(const QPoint& point) const {
    // The custom cell's chooser takes a circle of 60 points around it, above its neighbours.
    const auto within = [&point](const QRect& cell, double radius) {
        const QPointF offset = QPointF(point) - QRectF(cell).center();
        return offset.x() * offset.x() + offset.y() * offset.y() <= radius * radius;
    };
    if (within(cellRect(0), customHitRadius))
        return 0;
    for (int cell = 1; cell < ::cellCount; ++cell) {
        if (within(cellRect(cell), circleSize / 2.0))
            return cell;
    }
    return -1;
}

int ColorSwatchGrid::selectedCell() const {
    const QRgb selected = form_.color().toQColor().rgba();
    const QList<KippetColor>& colors = colorPalette();
    for (int index = 0; index < colors.size(); ++index) {
        if (colors.at(index).toQColor().rgba() == selected)
            return index + 1;
    }
    return 0;
}

void ColorSwatchGrid::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int selected = selectedCell();
    for (int cell = 0; cell < ::cellCount; ++cell) {
        const QRect bounds = cellRect(cell);
        if (!event->rect().intersects(bounds))
            continue;
        const QRectF circle(bounds);
        if (cell == 0) {
            paintCustomCell(painter, circle);
        } else {
            painter.setPen(Qt::NoPen);
            painter.setBrush(colorPalette().at(cell - 1).toQColor());
            painter.drawEllipse(circle);
        }
        if (cell == selected)
            paintRings(painter, circle);
    }
    paintFocus(painter);
}

void ColorSwatchGrid::paintFocusRing(QPainter& painter, const QRectF& cell) const {
    painter.drawEllipse(cell.adjusted(-2.5, -2.5, 2.5, 2.5));
}

void ColorSwatchGrid::paintCustomCell(QPainter& painter, const QRectF& circle) const {
    // Clockwise from the right, as the hue wheel reads; Qt's conical gradient turns the other way.
    const QList<QColor> hues{Theme::red(),  Theme::orange(), Theme::yellow(), Theme::green(),
                             Theme::blue(), Theme::purple(), Theme::red()};
    QConicalGradient wheel(circle.center(), 0);
    for (int index = 0; index < hues.size(); ++index)
        wheel.setColorAt(1.0 - double(index) / (hues.size() - 1), hues.at(index));
    painter.setPen(Qt::NoPen);
    painter.setBrush(wheel);
    painter.drawEllipse(circle);

    const qreal ratio = devicePixelRatioF();
    const QPixmap shadow =
        Theme::symbol(SymbolNames::eyedropperFull, QColor(0, 0, 0, 64), 15, ratio);
    const QPixmap glyph = Theme::symbol(SymbolNames::eyedropperFull, Qt::white, 15, ratio);
    const QSizeF size = glyph.deviceIndependentSize();
    const QPointF origin(circle.center().x() - size.width() / 2,
                         circle.center().y() - size.height() / 2);
    painter.drawPixmap(origin + QPointF(0, 1), shadow);
    painter.drawPixmap(origin, glyph);
}

void ColorSwatchGrid::paintRings(QPainter& painter, const QRectF& circle) const {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 3));
    painter.drawEllipse(circle.adjusted(1.5, 1.5, -1.5, -1.5));
    painter.setPen(QPen(Theme::primary(palette()), 1));
    painter.drawEllipse(circle.adjusted(2.5, 2.5, -2.5, -2.5));
}

void ColorSwatchGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const int cell = cellAt(event->position().toPoint());
    if (cell >= 0)
        chooseCell(cell);
}

void ColorSwatchGrid::chooseCell(int cell) {
    if (cell == 0)
        chooseCustomColor();
    else if (cell > 0 && cell < ::cellCount)
        form_.setColor(colorPalette().at(cell - 1));
}

void ColorSwatchGrid::chooseCustomColor() {
    QPointer<KippetForm> form(&form_);
    ColorChooser::shared().chooseColor(window(), form_.color().toQColor(),
                                       [form](const QColor& color) {
                                           if (form)
                                               form->setColor(KippetColor::fromQColor(color));
                                       });
}

bool ColorSwatchGrid::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (cellAt(help->pos()) == 0)
            QToolTip::showText(help->globalPos(), QStringLiteral("Pick any custom color"), this);
        else
            QToolTip::hideText();
        return true;
    }
    return KeyboardGrid::event(event);
}
