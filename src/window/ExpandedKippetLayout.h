#pragma once

#include "window/ExpandedContent.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class ActionButton;
class ElidedLabel;
class FloatingKippetView;
class ItemsArea;
class Kippet;
class KippetIconBadge;
class QStackedLayout;
class StatusCard;

// The expanded form of a kippet window: a header (create, the kippet's badge and name, close),
// the content area (a status card while items are analysed, failed or just imported; else the
// scrolling items) and a toolbar (paste, notes, import, todos, and collapse at its end). It
// follows the kippet, the view's item states and the live preferences for analysis and for the
// grid or list, and reports its width to the view's grid columns.
class ExpandedKippetLayout : public QWidget {
    Q_OBJECT
public:
    // Builds the note or todo card shown above the items; the layout owns what it returns. The
    // kippet's own cards are shown unless a factory replaces them.
    using CardFactory = std::function<QWidget*(FloatingKippetView* view)>;
    static void setNoteCardFactory(CardFactory factory);
    static void setTodoCardFactory(CardFactory factory);

    explicit ExpandedKippetLayout(FloatingKippetView* view);
    ~ExpandedKippetLayout() override;

    ExpandedContent content() const { return content_; }
    StatusCard* statusCard() const { return statusCard_; }
    ItemsArea* itemsArea() const { return itemsArea_; }
    KippetIconBadge* badge() const { return badge_; }
    QString shownName() const;

    // Every button of the header and the toolbar; the notes and todos buttons by name too.
    QList<ActionButton*> buttons() const { return buttons_; }
    ActionButton* notesButton() const { return notesButton_; }
    ActionButton* todosButton() const { return todosButton_; }
    void setIsWindowActive(bool isWindowActive);

    void toggleItemLayoutMode();
    void notesButtonTapped();
    void todosButtonTapped();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeToolbar();
    void preferenceChanged(const QString& key);
    void updateContent();
    void updateKippetLook();
    void reportWidthSoon();
    void placeCollapseButton();
    void reportWidth();

    QPointer<FloatingKippetView> view_;
    QPointer<Kippet> kippet_;
    KippetIconBadge* badge_ = nullptr;
    ElidedLabel* name_ = nullptr;
    QWidget* toolbar_ = nullptr;
    ActionButton* collapseButton_ = nullptr;
    ActionButton* notesButton_ = nullptr;
    ActionButton* todosButton_ = nullptr;
    QList<ActionButton*> buttons_;
    QStackedLayout* contentStack_ = nullptr;
    ItemsArea* itemsArea_ = nullptr;
    StatusCard* statusCard_ = nullptr;
    ExpandedContent content_ = ExpandedContent::items;
    bool aiEnabled_ = true;
    bool widthReportQueued_ = false;
};
