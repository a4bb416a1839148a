#pragma once

#include "dashboard/KeyboardGrid.h"
#include "model/KippetColor.h"

#include <QList>

class KippetForm;

// The create sheet's colour grid: the custom-colour cell, then one swatch per palette colour,
// eight to a row. A click on a swatch sets the form's colour at once; a click on the custom cell
// asks the colour chooser. The selected colour is ringed: its swatch, or the custom cell when no
// palette colour equals it (compared at 8 bits per channel). From the keyboard, choosing the
// custom cell asks the colour chooser as a click does.
class ColorSwatchGrid : public KeyboardGrid {
    Q_OBJECT
public:
    static constexpr int columns = 8;
    static constexpr int cellWidth = 40;
    static constexpr int columnSpacing = 12;
    static constexpr int rowSpacing = 12;
    static constexpr int circleSize = 36;
    static constexpr int customHitRadius = 30;

    // The 32 palette colours in order.
    static const QList<KippetColor>& colorPalette();

    explicit ColorSwatchGrid(KippetForm& form, QWidget* parent = nullptr);

    // The ringed cell: 0 is the custom-colour cell, 1 to 32 the palette's swatches.
    int selectedCell() const override;
    int cellCount() const override;
    int columnCount() const override { return columns; }
    // Cell 0 is the custom-colour cell, cell n the palette's colour n; -1 is no cell.
    QRect cellRect(int cell) const override;
    int cellAt(const QPoint& point) const;

    QSize sizeHint() const override;

protected:
    void chooseCell(int cell) override;
    void paintFocusRing(QPainter& painter, const QRectF& cell) const override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void paintCustomCell(QPainter& painter, const QRectF& circle) const;
    void paintRings(QPainter& painter, const QRectF& circle) const;
    void chooseCustomColor();

    KippetForm& form_;
};
