#pragma once

#include "window/ItemLayoutMode.h"

#include <QAbstractScrollArea>
#include <QHash>
#include <QPointer>
#include <QUuid>

class CategorySection;
class ItemsEmptyStateView;
class ItemCard;
class Kippet;
class LayoutSwitchButton;
class ThumbnailCache;
class QVariantAnimation;

// The scrolling content of an expanded kippet window: the note card and the todo card, the row
// with the grid/list switch, then the empty state or the category sections. Only the cards that
// can be seen (and a little around them) exist: the sections say where each card goes, and
// the cards are made as they scroll into view and dropped as they leave it. A card stays the
// same object for as long as its item stays in view, also when the item changes section.
class ItemsArea : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int horizontalPadding = 16;
    static constexpr int verticalPadding = 12;
    static constexpr int spacing = 16;
    // One notch of the wheel.
    static constexpr int wheelStep = 120;

    explicit ItemsArea(Kippet* kippet, ItemLayoutMode layoutMode, int columnCount,
                       QWidget* parent = nullptr);
    ~ItemsArea() override;

    // The note and todo cards above the items; the area owns them.
    void setNoteCard(QWidget* card);
    void setTodoCard(QWidget* card);

    ItemLayoutMode layoutMode() const { return layoutMode_; }
    void setLayoutMode(ItemLayoutMode layoutMode);
    int columnCount() const { return columnCount_; }
    // `animated`: the cards move to their new places over a quarter of a second.
    void setColumnCount(int columnCount, bool animated = false);

    // Regroups the kippet's items into sections.
    void rebuild();

    QList<CategorySection*> sections() const { return sections_; }
    ItemCard* cardFor(const QUuid& id) const { return cards_.value(id); }
    QList<ItemCard*> cards() const { return cards_.values(); }
    ItemsEmptyStateView* emptyState() const { return emptyState_; }
    LayoutSwitchButton* layoutSwitch() const { return layoutSwitch_; }
    ThumbnailCache& thumbnails() const { return *thumbnails_; }
    int contentHeight() const { return contentHeight_; }

signals:
    void layoutSwitchClicked();
    // A card was made; its actions are connected by whoever listens.
    void cardCreated(ItemCard* card);

protected:
    void scrollContentsBy(int dx, int dy) override;
    void showEvent(QShowEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeLayoutRow();
    void setTopCard(QPointer<QWidget>& slot, QWidget* card);
    void relayout();
    void materialize();
    void moveCards(const QHash<QUuid, QRect>& from);
    void stopMovingCards();
    void followPointer();

    QPointer<Kippet> kippet_;
    ItemLayoutMode layoutMode_;
    int columnCount_;
    ThumbnailCache* thumbnails_;
    QPointer<QWidget> noteCard_;
    QPointer<QWidget> todoCard_;
    QWidget* layoutRow_;
    LayoutSwitchButton* layoutSwitch_;
    ItemsEmptyStateView* emptyState_ = nullptr;
    QList<CategorySection*> sections_;
    // Each section's top in the content.
    QList<int> sectionTops_;
    QHash<QUuid, ItemCard*> cards_;
    int contentHeight_ = 0;
    QPointer<QVariantAnimation> cardMove_;
    bool arranging_ = false;
};
