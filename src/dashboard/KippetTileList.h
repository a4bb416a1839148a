#pragma once

#include "dashboard/DisplayMode.h"
#include "dashboard/KippetTile.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QUuid>
#include <QWidget>

class Kippet;
class QAbstractScrollArea;

// The dashboard's kippets as an adaptive grid of cards (columns at least 220 wide, 20 apart, rows
// 20 apart) or a list of rows (12 apart). Only the tiles inside the scroll area's viewport, and a
// row either side, exist: they are made as they scroll in and dropped as they scroll out, and a
// new list keeps the tiles of the kippets still shown.
class KippetTileList : public QWidget {
    Q_OBJECT
public:
    using TileFactory =
        std::function<KippetTile*(Kippet* kippet, DisplayMode mode, QWidget* parent)>;

    static constexpr int minimumColumnWidth = 220;
    static constexpr int gridSpacing = 20;
    static constexpr int listSpacing = 12;
    // Room on every side for the cards' shadows; the tiles' own area starts inside it.
    static constexpr int inset = 10;

    KippetTileList(QAbstractScrollArea* scrollArea, TileFactory factory, QWidget* parent = nullptr);

    void setKippets(const QList<Kippet*>& kippets);
    void setDisplayMode(DisplayMode mode);
    DisplayMode displayMode() const { return mode_; }
    const QList<Kippet*>& kippets() const { return kippets_; }

    // The tiles that exist now, in list order.
    QList<KippetTile*> tiles() const;
    KippetTile* tileFor(const Kippet* kippet) const;
    int columnCount() const;
    // The height all kippets take at this width.
    int contentHeight(int width) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return contentHeight(width); }
    QSize sizeHint() const override;

public slots:
    // Places the tiles in view, making and dropping tiles as needed.
    void layoutTiles();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct Slot {
        int first = 0;
        int last = -1;
    };
    int columnsFor(int width) const;
    int itemHeight() const;
    int itemSpacing() const;
    QRect itemRect(int index, int width) const;
    Slot visibleSlots() const;
    void dropTile(KippetTile* tile);
    void updateHeight();

    QAbstractScrollArea* scrollArea_;
    TileFactory factory_;
    QList<Kippet*> kippets_;
    DisplayMode mode_ = DisplayMode::grid;
    QHash<QUuid, QPointer<KippetTile>> tiles_;
    bool layoutQueued_ = false;
};
