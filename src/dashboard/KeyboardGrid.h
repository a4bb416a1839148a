#pragma once

#include <QWidget>

// A grid of cells drawn by one widget that the keyboard can work: Tab brings the focus to it (a
// click does not), the arrows move the focused cell within the grid, and Space or Return chooses
// it. The focused cell carries a focus ring while the grid has the focus; the cells keep
// `focusMargin` clear around them for it.
class KeyboardGrid : public QWidget {
    Q_OBJECT
public:
    static constexpr int focusMargin = 4;

    explicit KeyboardGrid(QWidget* parent = nullptr);

    virtual int cellCount() const = 0;
    virtual int columnCount() const = 0;
    virtual QRect cellRect(int cell) const = 0;
    // The cell of the current choice; -1 when none is.
    virtual int selectedCell() const = 0;

    // The cell the keyboard is on; -1 while the grid has no focus.
    int focusedCell() const { return hasFocus() ? focused_ : -1; }

protected:
    virtual void chooseCell(int cell) = 0;
    // The ring around a focused cell, in the palette's accent colour.
    virtual void paintFocusRing(QPainter& painter, const QRectF& cell) const = 0;
    // Draws the ring when the grid has the focus; the grids call it last in their paint event.
    void paintFocus(QPainter& painter) const;

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    static bool isGridKey(int key);
    void moveFocus(int cell);
    void revealFocusedCell();

    int focused_ = 0;
};
