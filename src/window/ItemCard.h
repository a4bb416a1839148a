#pragma once

#include "model/KippetItem.h"
#include "ui/HoverFade.h"
#include "window/ItemLayoutMode.h"

#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <optional>

class CardHoverButton;
class Kippet;
class QVariantAnimation;
class ThumbnailCache;

// One saved item in a kippet window's section, as a grid card or a list row: its picture (or a
// placeholder of its type with a short label), its title and its description. Under the pointer
// it takes a border in the kippet's colour and shows its reveal, copy and remove buttons; while
// the item is analysed a frosted cover with a pulsing symbol lies over it. Its picture comes from
// the window's ThumbnailCache, decoded off the GUI thread; text is laid out once per width.
class ItemCard : public QWidget {
    Q_OBJECT
public:
    static constexpr int gridHeight = 220;
    static constexpr int listHeight = 120;

    ItemCard(const KippetItem& item, Kippet* kippet, ItemLayoutMode layoutMode,
             ThumbnailCache* thumbnails, QWidget* parent = nullptr);

    const KippetItem& item() const { return item_; }
    // A new value of the same item (its category or analysis changed).
    void setItem(const KippetItem& item);
    ItemLayoutMode layoutMode() const { return layoutMode_; }
    void setLayoutMode(ItemLayoutMode layoutMode);

    bool isHovering() const { return isHovering_; }
    // Hover from where the pointer stands now, after the card moved under a still pointer.
    void followPointer();
    // The border drawn now: the kippet's colour at half opacity under the pointer, else clear.
    QColor borderColor() const;
    // The decoded picture is shown, not the placeholder.
    bool showsPicture() const { return !picture_.isNull(); }
    // The lines drawn, after cutting and elision.
    QStringList titleLines() const;
    QStringList descriptionLines() const;
    QList<CardHoverButton*> hoverButtons() const;

    // The item's web address: its stored address, else its content as text; parsed strictly.
    static std::optional<QUrl> linkURL(const KippetItem& item);
    // The short text of the placeholder.
    static std::optional<QString> previewLabel(const KippetItem& item);
    // The picture's height in a grid card of the offered height: 0.4 of it, at least 80.
    static qreal thumbnailHeight(qreal offeredHeight);

signals:
    void revealRequested(const QUuid& id);
    void copyRequested(const QUuid& id);
    void removeRequested(const QUuid& id);
    // A single click, a right click (at the global point) and a press moved far enough to drag.
    void clicked(const QUuid& id);
    void contextMenuRequested(const QUuid& id, const QPoint& globalPos);
    void dragRequested(const QUuid& id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    struct Texts {
        int width = -1;
        QStringList title;
        QStringList description;
        std::optional<QString> label;
    };

    void setHovering(bool hovering);
    void makeHoverButtons();
    void placeHoverButtons();
    void updatePulse();
    void pictureReady(const QUuid& id);
    const Texts& texts() const;
    QRectF thumbnailRect() const;
    int textLeft() const;
    int textWidth() const;

    void paintThumbnail(QPainter& painter, const QRectF& frame) const;
    void paintPlaceholder(QPainter& painter, const QRectF& frame) const;
    qreal paintTitleRow(QPainter& painter, qreal top) const;
    qreal paintLines(QPainter& painter, const QStringList& lines, const QFont& font,
                     const QColor& color, qreal top) const;
    void paintChip(QPainter& painter, const QString& label, QPointF topLeft) const;
    void paintProcessingCover(QPainter& painter) const;

    KippetItem item_;
    QPointer<Kippet> kippet_;
    ItemLayoutMode layoutMode_;
    QPointer<ThumbnailCache> thumbnails_;
    QImage picture_;
    // The picture cut and scaled to the frame, remade when the frame changes.
    mutable QPixmap framedPicture_;
    mutable Texts texts_;
    bool isHovering_ = false;
    // Where the left button went down, until it comes up or a drag begins.
    std::optional<QPoint> pressedAt_;
    // The press is the second click of a double click: its release opens nothing.
    bool secondClick_ = false;
    HoverFade hover_;
    qreal pulse_ = 1;
    QVariantAnimation* pulseAnimation_ = nullptr;
    QList<CardHoverButton*> buttons_;
};
