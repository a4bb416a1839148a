#pragma once

#include "model/KippetViewMode.h"

#include <QBrush>
#include <QFont>
#include <QPen>
#include <QRectF>
#include <QStringList>
#include <QWidget>
#include <optional>

class QVariantAnimation;

// A still mock of a kippet window in one of the three view modes (the mini tile, the collapsed
// tile, the expanded window) with its size written under it, on a faint rounded backdrop. Its
// name, badge, symbols and tiles are fixed: it never shows a real kippet. One widget paints all
// three; the layout is worked out as a list of pieces so that what is drawn can be read back.
class ViewModePreview : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal backdropRadius = 16;
    static constexpr int preferredHeight = 280;

    // Shared by the collapsed action row and the expanded bottom bar.
    static const QStringList& actionSymbols();
    // The expanded grid's tiles: tile i shows entry i modulo 6.
    static const QStringList& itemSymbols();

    struct Piece {
        enum class Kind { fill, text, symbol };
        Kind kind = Kind::fill;
        QRectF rect;
        // The text, or the symbol's name.
        QString content;
        // A fill's colour or gradient; the colour of a text or a symbol.
        QBrush brush;
        // A fill's corner radius; a negative one draws an ellipse.
        qreal radius = 0;
        QPen border = Qt::NoPen;
        QFont font;
        // Drawn only inside this rounded rectangle (when valid): the mock's shape, or the grid's
        // scroll area.
        QRectF clip;
        qreal clipRadius = 0;
    };

    explicit ViewModePreview(KippetViewMode mode, QWidget* parent = nullptr);

    KippetViewMode mode() const { return mode_; }
    // `animated`: the old mock fades into the new one on the tour's step spring.
    void setMode(KippetViewMode mode, bool animated = false);

    // The front layer at the widget's current size, in painting order.
    QList<Piece> pieces() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage frontLayer(KippetViewMode mode, qreal ratio) const;
    void paintFront(QPainter& painter, KippetViewMode mode, qreal opacity) const;

    KippetViewMode mode_;
    std::optional<KippetViewMode> leaving_;
    qreal progress_ = 1;
    QVariantAnimation* fade_ = nullptr;
};
