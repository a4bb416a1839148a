#pragma once

#include "dashboard/KeyboardGrid.h"

#include <QStringList>

class KippetForm;

// The create sheet's icon grid: one cell per icon name, six to a row. A click sets the form's
// icon at once; the cell whose name equals it is drawn in the form's colour.
class IconGrid : public KeyboardGrid {
    Q_OBJECT
public:
    static constexpr int columns = 6;
    static constexpr int cellSize = 50;
    static constexpr int spacing = 8;

    // The 48 icon names in order.
    static const QStringList& iconOptions();

    explicit IconGrid(KippetForm& form, QWidget* parent = nullptr);

    // The cell of the form's icon; -1 when it is none of the options.
    int selectedCell() const override;
    int cellCount() const override { return int(iconOptions().size()); }
    int columnCount() const override { return columns; }
    QRect cellRect(int cell) const override;
    int cellAt(const QPoint& point) const;

    QSize sizeHint() const override;

protected:
    void chooseCell(int cell) override;
    void paintFocusRing(QPainter& painter, const QRectF& cell) const override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    KippetForm& form_;
};
