#include "window/CategorySection.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "window/ItemCard.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPainter>

using Theme::TextStyle;

namespace {
constexpr int countSide = 18;
constexpr int rowSpacing = 8;
} // namespace

CategorySection::CategorySection(const ItemStack& stack, QWidget* parent) : QWidget(parent) {
    setStack(stack);
}

void CategorySection::setStack(const ItemStack& stack) {
    const QString title = stack.displayName();
    if (title != title_ || stack.items.size() != stack_.items.size())
        update(0, 0, width(), headerHeight());
    stack_ = stack;
    title_ = title;
    setAccessibleName(title_);
}

int CategorySection::headerHeight() {
    return std::max(countSide, QFontMetrics(Theme::font(TextStyle::headline)).height());
}

void CategorySection::arrange(ItemLayoutMode mode, int columns, int width) {
    mode_ = mode;
    columns_ = std::max(1, columns);
    width_ = std::max(1, width);
}

int CategorySection::rowHeight() const {
    return mode_ == ItemLayoutMode::grid ? ItemCard::gridHeight : ItemCard::listHeight;
}

int CategorySection::columnsInUse() const {
    return mode_ == ItemLayoutMode::grid ? columns_ : 1;
}

int CategorySection::columnWidth() const {
    if (mode_ == ItemLayoutMode::list)
        return width_;
    const int available = (width_ - spacing * (columns_ - 1)) / columns_;
    return std::max(1, std::min(maximumColumnWidth, available));
}

int CategorySection::contentHeight() const {
    const int columns = columnsInUse();
    const int rows = (count() + columns - 1) / columns;
    const int cards = rows > 0 ? rows * rowHeight() + (rows - 1) * spacing : 0;
    return headerHeight() + headerSpacing + cards;
}

QRect CategorySection::cardRect(int index) const {
    const int columns = columnsInUse();
    const int row = index / columns;
    const int column = index % columns;
    const int top = headerHeight() + headerSpacing + row * (rowHeight() + spacing);
    return {column * (columnWidth() + spacing), top, columnWidth(), rowHeight()};
}

std::pair<int, int> CategorySection::cardsBetween(int top, int bottom) const {
    const int first = headerHeight() + headerSpacing;
    const int pitch = rowHeight() + spacing;
    const int columns = columnsInUse();
    const int firstRow = std::max(0, (top - first) / pitch);
    const int lastRow = std::max(0, (bottom - first + pitch - 1) / pitch);
    const int from = std::min(count(), firstRow * columns);
    const int to = std::min(count(), lastRow * columns);
    return {from, std::max(from, to)};
}

void CategorySection::paintEvent(QPaintEvent* event) {
    const int header = headerHeight();
    if (!event->rect().intersects(QRect(0, 0, width(), header)))
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor secondary = Theme::secondary(palette());
    const QFont headline = Theme::font(TextStyle::headline);
    const QFontMetrics metrics(headline);
    const qreal middle = header / 2.0;

    const QPixmap glyph =
        Symbols::pixmap(categoryIcon(stack_.category), 13, secondary, devicePixelRatioF());
    const QSizeF glyphSize = glyph.deviceIndependentSize();
    painter.drawPixmap(QPointF(0, middle - glyphSize.height() / 2), glyph);
    qreal x = glyphSize.width() + rowSpacing;

    painter.setFont(headline);
    painter.setPen(Theme::primary(palette()));
    const int titleRoom = std::max(0, width() - int(x) - rowSpacing - countSide * 2);
    const QString title = metrics.elidedText(title_, Qt::ElideRight, titleRoom);
    painter.drawText(QRectF(x, 0, titleRoom, header), Qt::AlignLeft | Qt::AlignVCenter, title);
    x += metrics.horizontalAdvance(title) + rowSpacing;

    QFont countFont = QApplication::font();
    countFont.setPixelSize(10);
    countFont.setWeight(QFont::DemiBold);
    const QString countText = QString::number(count());
    const int countWidth =
        std::max(countSide, QFontMetrics(countFont).horizontalAdvance(countText) + 8);
    const QRectF circle(x, middle - countSide / 2.0, countWidth, countSide);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Theme::withAlpha(Theme::primary(palette()), 0.1));
    painter.drawRoundedRect(circle, countSide / 2.0, countSide / 2.0);
    painter.setFont(countFont);
    painter.setPen(secondary);
    painter.drawText(circle, Qt::AlignCenter, countText);
}
