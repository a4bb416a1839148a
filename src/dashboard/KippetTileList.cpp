#include "dashboard/KippetTileList.h"

#include "dashboard/KippetCardView.h"
#include "dashboard/KippetRow.h"
#include "model/Kippet.h"

#include <QAbstractScrollArea>
#include <QScrollBar>
#include <algorithm>

KippetTileList::KippetTileList(QAbstractScrollArea* scrollArea, TileFactory factory,
                               QWidget* parent)
    : QWidget(parent), scrollArea_(scrollArea), factory_(std::move(factory)) {
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    connect(scrollArea_->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &KippetTileList::layoutTiles);
}

void KippetTileList::setKippets(const QList<Kippet*>& kippets) {
    kippets_ = kippets;
    updateHeight();
    layoutTiles();
}

void KippetTileList::setDisplayMode(DisplayMode mode) {
    if (mode == mode_)
        return;
    mode_ = mode;
    for (const QPointer<KippetTile>& tile : std::as_const(tiles_))
        dropTile(tile);
    tiles_.clear();
    updateHeight();
    layoutTiles();
}

QList<KippetTile*> KippetTileList::tiles() const {
    QList<KippetTile*> shown;
    for (Kippet* kippet : kippets_)
        if (KippetTile* tile = tileFor(kippet))
            shown.append(tile);
    return shown;
}

KippetTile* KippetTileList::tileFor(const Kippet* kippet) const {
    return kippet ? tiles_.value(kippet->id()).data() : nullptr;
}

int KippetTileList::columnsFor(int width) const {
    if (mode_ == DisplayMode::list)
        return 1;
    return std::max(1, (width - 2 * inset + gridSpacing) / (minimumColumnWidth + gridSpacing));
}

int KippetTileList::columnCount() const {
    return columnsFor(width());
}

int KippetTileList::itemHeight() const {
    return mode_ == DisplayMode::grid ? KippetCardView::cardHeight : KippetRow::rowHeight;
}

int KippetTileList::itemSpacing() const {
    return mode_ == DisplayMode::grid ? gridSpacing : listSpacing;
}

int KippetTileList::contentHeight(int width) const {
    const int columns = columnsFor(width);
    const int rows = int((kippets_.size() + columns - 1) / columns);
    return rows == 0 ? 0 : rows * itemHeight() + (rows - 1) * itemSpacing() + 2 * inset;
}

QSize KippetTileList::sizeHint() const {
    return QSize(minimumColumnWidth, contentHeight(width()));
}

QRect KippetTileList::itemRect(int index, int fullWidth) const {
    const int columns = columnsFor(fullWidth);
    const int width = fullWidth - 2 * inset;
    const int row = index / columns;
    const int column = index % columns;
    const int top = inset + row * (itemHeight() + itemSpacing());
    if (mode_ == DisplayMode::list)
        return QRect(inset, top, width, itemHeight());
    // Spread the spare pixels over the first columns so the grid fills the width exactly.
    const int usable = width - (columns - 1) * gridSpacing;
    const int left = column * gridSpacing + usable * column / columns;
    const int right = (column + 1) * gridSpacing - gridSpacing + usable * (column + 1) / columns;
    return QRect(inset + left, top, right - left, itemHeight());
}

KippetTileList::Slot KippetTileList::visibleSlots() const {
    if (kippets_.isEmpty())
        return {};
    QWidget* viewport = scrollArea_->viewport();
    const int top = mapFrom(viewport, QPoint(0, 0)).y() - inset;
    const int bottom = top + viewport->height();
    const int pitch = itemHeight() + itemSpacing();
    const int columns = columnCount();
    // One row either side, so a scroll step never shows an empty slot.
    const int firstRow = std::max(0, top / pitch - 1);
    const int lastRow = std::max(0, bottom / pitch + 1);
    Slot slot;
    slot.first = std::min<int>(int(kippets_.size()), firstRow * columns);
    slot.last = std::min<int>(int(kippets_.size()) - 1, (lastRow + 1) * columns - 1);
    return slot;
}

void KippetTileList::dropTile(KippetTile* tile) {
    if (!tile)
        return;
    // Later, not now: the tile may be the one whose click changed the list.
    tile->hide();
    tile->deleteLater();
}

void KippetTileList::layoutTiles() {
    const Slot slot = isVisible() ? visibleSlots() : Slot{};
    QHash<QUuid, QPointer<KippetTile>> kept;
    for (int index = slot.first; index <= slot.last; ++index) {
        Kippet* kippet = kippets_[index];
        QPointer<KippetTile> tile = tiles_.take(kippet->id());
        if (!tile || tile->kippet() != kippet) {
            dropTile(tile);
            tile = factory_(kippet, mode_, this);
        }
        QRect area = itemRect(index, width());
        if (mode_ == DisplayMode::grid) {
            const int margin = KippetCardView::shadowMargin;
            area.adjust(-margin, -margin, margin, margin);
        }
        tile->setGeometry(area);
        tile->show();
        kept.insert(kippet->id(), tile);
    }
    for (const QPointer<KippetTile>& tile : std::as_const(tiles_))
        dropTile(tile);
    tiles_ = kept;
}

void KippetTileList::updateHeight() {
    updateGeometry();
    const int height = contentHeight(width());
    if (minimumHeight() != height)
        setFixedHeight(height);
}

void KippetTileList::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateHeight();
    layoutTiles();
}

void KippetTileList::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    layoutTiles();
}

void KippetTileList::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    layoutTiles();
}
