#pragma once

#include "model/ItemStack.h"
#include "window/ItemLayoutMode.h"

#include <QWidget>

// One section of an expanded kippet window: a header with the category's symbol, the title and
// the item count in a circle, then the item cards as a grid (columns 160 to 260 wide, 12 apart)
// or a list. The section only knows where each card goes; the items area makes the cards that
// can be seen and places them inside it.
class CategorySection : public QWidget {
    Q_OBJECT
public:
    static constexpr int spacing = 12;
    static constexpr int headerSpacing = 8;
    static constexpr int maximumColumnWidth = 260;

    CategorySection(const ItemStack& stack, QWidget* parent = nullptr);

    const ItemStack& stack() const { return stack_; }
    void setStack(const ItemStack& stack);
    QString title() const { return title_; }
    int count() const { return int(stack_.items.size()); }
    ItemLayoutMode layoutMode() const { return mode_; }
    int columns() const { return columns_; }

    // Lays the cards out for the mode, the grid's column count and the section's width.
    void arrange(ItemLayoutMode mode, int columns, int width);
    // The section's height for its arrangement.
    int contentHeight() const;
    // Where the card of the item at `index` goes, in the section's coordinates.
    QRect cardRect(int index) const;
    // The indices of the cards that reach into [top, bottom) of the section, as [first, last).
    std::pair<int, int> cardsBetween(int top, int bottom) const;

    static int headerHeight();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int rowHeight() const;
    int columnsInUse() const;
    int columnWidth() const;

    ItemStack stack_;
    QString title_;
    ItemLayoutMode mode_ = ItemLayoutMode::grid;
    int columns_ = 1;
    int width_ = 0;
};
