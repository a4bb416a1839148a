#pragma once

#include "platform/NotificationCenter.h"

#include <QCoroTask>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class ActionButton;
class CollapsedLayout;
class CollapsedStateIndicator;
class ExpandedKippetLayout;
class GridColumns;
class FloatingKippetWindow;
class ItemStateTracker;
class Kippet;
class KippetIntake;
class MiniStateIndicator;
class QMimeData;

// The content of a kippet window: the layout of its kippet's mode (expanded, mini or collapsed,
// made anew at every switch), the target of drops, and the one place where the kippet's paste
// and import requests are carried out, through the view's own KippetIntake. It keeps the panel's
// border in step with its active state, a drag over it and the kippet's colour, follows the
// panel's editors for its buttons, and shows the intake's failures in the "Error" alert.
class FloatingKippetView : public QWidget {
    Q_OBJECT
public:
    // Builds a sheet presented over the view; the view deletes it when its flag goes false.
    using SheetFactory = std::function<QWidget*(FloatingKippetView* view)>;
    // Builds the expanded layout; the view owns what it returns.
    using LayoutFactory = std::function<QWidget*(FloatingKippetView* view)>;

    FloatingKippetView(Kippet* kippet, FloatingKippetWindow* window);
    ~FloatingKippetView() override;

    static void setNewKippetSheetFactory(SheetFactory factory);
    static void setCustomInstructionsSheetFactory(SheetFactory factory);
    static void setExpandedLayoutFactory(LayoutFactory factory);

    Kippet* kippet() const { return kippet_; }
    FloatingKippetWindow* window() const { return window_; }
    KippetIntake& intake() const { return *intake_; }
    // The view's own tracking of the analysing, import and failed states, for its overlays.
    ItemStateTracker& itemStates() const { return *itemStates_; }
    // The expanded grid's column count; it outlives the expanded layout.
    GridColumns& gridColumns() const { return *gridColumns_; }
    // The layout shown now.
    QWidget* currentLayout() const { return layout_; }

    bool isWindowActive() const { return isWindowActive_; }
    bool isDraggingOver() const { return isDraggingOver_; }
    bool isNoteEditorOpen() const { return isNoteEditorOpen_; }
    bool isTodoEditorOpen() const { return isTodoEditorOpen_; }
    // The daily colour for a daily kippet, else the kippet's own.
    QColor displayColor() const;

    bool showNewKippetSheet() const { return showNewKippetSheet_; }
    void setShowNewKippetSheet(bool show);
    bool showCustomInstructionsSheet() const { return showCustomInstructionsSheet_; }
    void setShowCustomInstructionsSheet(bool show);

    // The paste action: a demo kippet announces it first; then the clipboard's content.
    void pasteFromClipboard();
    // The import action: the files the user chooses.
    void importFiles();
    void updateWindowChrome();
    // Keeps both values in the kippet and writes them to its stored row, if it has one; a
    // failed write is logged and shown, and the next save of the kippet writes them. Ends the
    // sheet.
    void saveCustomInstructions(const std::optional<QString>& customInstructions,
                                const std::optional<QString>& sanitizedInstructions);
    // Closes the kippet in the manager and the window; the window closes even when the manager
    // fails.
    void closeKippet();
    void collapsedNotesButtonTapped();
    void collapsedTodosButtonTapped();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void observeNotifications();
    // Runs `action` with the panel when it still exists.
    void withWindow(const std::function<void(FloatingKippetWindow&)>& action) const;
    bool isForThisKippet(const NotificationCenter::Notification& notification) const;
    void setDraggingOver(bool isDraggingOver);
    void displayColorChanged();
    void readEditorFlags();
    void showError(const QString& text);
    // Starts intake work without waiting for it; what it throws is logged, never rethrown.
    void start(QCoro::Task<void> task);

    // Layouts, one per mode.
    void showLayoutForMode();
    QWidget* collapsedLayout();
    QWidget* miniLayout();
    QWidget* expandedLayout();
    void statusTapped(ulong timestamp);
    void updateButtons();
    QString notesHelpText() const;
    QString todosHelpText() const;
    void presentSheet(QPointer<QWidget>& slot, bool show, const SheetFactory& factory);

    QPointer<Kippet> kippet_;
    QPointer<FloatingKippetWindow> window_;
    KippetIntake* intake_;
    ItemStateTracker* itemStates_;
    GridColumns* gridColumns_;
    QWidget* layout_ = nullptr;
    QPointer<ExpandedKippetLayout> expandedLayout_;
    QPointer<CollapsedLayout> collapsedLayout_;
    QPointer<CollapsedStateIndicator> collapsedIndicator_;
    QPointer<MiniStateIndicator> miniIndicator_;
    QList<QPointer<ActionButton>> buttons_;
    QPointer<ActionButton> notesButton_;
    QPointer<ActionButton> todosButton_;
    QPointer<QWidget> newKippetSheet_;
    QPointer<QWidget> customInstructionsSheet_;
    bool isWindowActive_ = false;
    bool isDraggingOver_ = false;
    bool isNoteEditorOpen_ = false;
    bool isTodoEditorOpen_ = false;
    bool showNewKippetSheet_ = false;
    bool showCustomInstructionsSheet_ = false;
    QColor shownColor_;
    // When a click on the status last toggled the mode: the double click it begins is the same
    // gesture, not a second toggle.
    std::optional<ulong> statusTapTime_;
};
