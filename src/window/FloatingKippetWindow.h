#pragma once

#include "model/Kippet.h"
#include "platform/RectD.h"
#include "window/DepartingClick.h"
#include "window/KeyboardHold.h"

#include <QColor>
#include <QList>
#include <QPointer>
#include <QUuid>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <optional>

class ChromeBorderView;
class Kippet;
class NoteEditorWindow;
class QKeyEvent;
class PanelTransition;
class ResizeGrip;
class TodoEditorWindow;
class WindowManagerMoves;
class WindowShapeMask;

// The floating panel of one open kippet: a frameless, always-on-top tool window drawn as a
// rounded translucent tile, with a coloured border while it is active or something is dragged
// over it. It takes keyboard focus when clicked and is moved by dragging its background or by
// the window manager; either move is saved once it ends.
// Geometry is in the app's screen coordinates (ScreenSpace converts at the Qt boundary).
//
// Its mode is the kippet's: expanded (isExpanded, a resizable panel), else mini (isMiniView, an
// 80 × 80 tile), else collapsed (a 220 × 200 tile). Every transition keeps the bottom-left
// corner unless the screen clamp moves it, and writes and saves the kippet's position. The
// panel answers single-key shortcuts and Ctrl keys, and owns its kippet's note and todo
// editor panels.
class FloatingKippetWindow : public QWidget {
    Q_OBJECT
public:
    // The frames of the other panels; asked only when the panel needs a default place.
    using OtherPanels = std::function<QList<RectD>()>;

    static constexpr double cornerRadius = 25;
    static constexpr double borderWidth = 3;
    static constexpr double activeBorderAlpha = 0.7;

    // Places the panel (its stored position, else a default place clear of `otherPanels`),
    // clamps it onto a screen and, when the clamp moved it, stores and saves the corrected
    // position. Neither shows the panel nor registers it.
    FloatingKippetWindow(Kippet* kippet, const OtherPanels& otherPanels);
    ~FloatingKippetWindow() override;

    Kippet* kippet() const { return kippet_; }
    QUuid kippetId() const { return kippetId_; }
    QWidget* contentView() const { return content_; }

    // While a transition animates, the frame it moves to.
    RectD frame() const;
    // Moves and sizes the panel at once, or animated when animations are on and it shows. While
    // the kippet is expanded the frame is remembered as the one to expand to next time.
    void setFrame(const RectD& frame, bool animate = false);
    std::optional<RectD> lastExpandedFrame() const { return lastExpandedFrame_; }
    std::optional<QPointF> lastCollapsedPosition() const { return lastCollapsedPosition_; }
    bool isWindowActive() const { return isWindowActive_; }
    // Only an expanded panel is resizable, by its edges and corners.
    bool isResizable() const { return isResizable_; }
    bool isAnimating() const;

    // Writes the origin into the kippet and starts its save.
    void updateSavedPosition(QPointF origin);

    // Modes. Each writes the kippet's flags and position and starts a save.
    // Expands a collapsed or mini panel, collapses an expanded one (back to mini when its kippet
    // is in mini view).
    void toggleExpanded();
    // Between collapsed and mini; nothing while expanded.
    void toggleMiniView();
    // Mini view from any mode.
    void enterMiniView();
    // The resizability and size limits of the kippet's mode; an expanded kippet's frame becomes
    // the one to expand to. Neither moves nor resizes the panel.
    void applySizeConstraints(const RectD& frame);
    // After the screens changed: a panel whose origin the clamp moves jumps there and saves it;
    // one whose size alone would change stays as it is.
    void screenParametersChanged();

    // Keys. Ctrl+V pastes into a focused text widget, else posts the paste request; Ctrl+C, X
    // and A go to a focused text widget. True when the key was taken.
    bool performKeyEquivalent(QKeyEvent* event);
    // A single key (Shift allowed) matched against the shortcuts in force, then the fixed "c"
    // that collapses. True when it matched, also when its action did nothing.
    bool performShortcut(QKeyEvent* event);

    // Editor panels: at most one of each; showing an open one brings it to the front.
    void showNoteEditor();
    void showTodoEditor();
    void toggleNoteEditor();
    void toggleTodoEditor();
    NoteEditorWindow* noteWindow() const;
    TodoEditorWindow* todoWindow() const;

    // Called by the content view with its states and the kippet's display colour. Applied on a
    // later turn of the event loop, in call order, so the last of a burst wins.
    void updateChromeBorder(bool isWindowActive, bool isDraggingOver, const QColor& color);
    // What the border shows now: hidden, or its colour and width.
    bool isBorderVisible() const;
    QColor borderColor() const;
    double currentBorderWidth() const;

signals:
    // Activation changed (also to the same value); the content view follows it.
    void activeStateChanged(bool isActive);
    // The panel is about to close, on every road (its own close, or the registry's).
    void windowWillClose();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct SizeLimits {
        QSize minimum;
        QSize maximum;
    };
    enum class EditorSlot { note, todo };

    friend class PanelTransition;

    void place(const OtherPanels& otherPanels);
    void expand();
    void collapse();
    // Sets the limits and resizability of the mode to come, then the frame (animated).
    void transition(const RectD& frame, bool resizable);
    void applyLimits();
    // The panel as it looks now: tile, content and border.
    QPixmap panelPicture();
    // The panel as it was last painted, before the mode it is leaving for was drawn.
    QPixmap shownPicture();
    // Where the content and the border lie: out of sight while the stage shows the panel.
    QRect childArea() const;
    void layoutChildren();
    void layoutGrips();
    // Where the panel stands, in Qt's coordinates: where the app left it, or where the window
    // manager moved it once that move settled. Qt's own geometry may hold a place the window
    // manager only passed through as it mapped the panel.
    QRect settledGeometry() const;
    void rememberExpandedFrame();
    bool isCtrlKeyTaken(int key) const;
    QWidget* focusedTextWidget() const;
    void watchWindowHandle();
    QColor accentColor() const;
    template <typename Editor> void showEditor(QPointer<Editor>& slot, EditorSlot which);
    static void editorClosed(const QPointer<FloatingKippetWindow>& window, EditorSlot which);
    void applyChromeBorder(bool isWindowActive, bool isDraggingOver, const QColor& color);
    ChromeBorderView& chromeBorder();
    void postActiveStateChanged();
    // The user moved the panel: dragged it by its background, or moved it with the window
    // manager. The app's own placements, changes of form and clamps are no such move.
    void windowDidMove();
    // A change of form the user asks of the panel keeps the keyboard where it is: the panel's.
    void holdKeyboardThroughChange();
    // While the panel takes the keyboard back, it hears every event of the app: keys that reach
    // another window meanwhile are the panel's. So it does while the click that took the keyboard
    // away has not reached the app: a press on another window is that click.
    void followKeyboardHold();
    // A press on the panel's picture while it changes its form. True when it is the click with
    // which the user gave the keyboard to another window, handed there only after the picture
    // came where the user clicked: nothing of the panel's.
    bool pressLeftThePanel(const QMouseEvent& press);
    // An event of another of the app's windows while the panel takes the keyboard back. True
    // when it was the panel's, and has been handed on to it.
    bool keyForPanel(QObject* watched, QEvent* event);

    QPointer<Kippet> kippet_;
    const QUuid kippetId_;
    QWidget* content_ = nullptr;
    ChromeBorderView* border_ = nullptr;
    struct PendingBorder {
        bool isWindowActive;
        bool isDraggingOver;
        QColor color;
    };
    std::optional<PendingBorder> pendingBorder_;
    std::optional<RectD> lastExpandedFrame_;
    // The frame the user chose, while a smaller screen keeps the panel elsewhere.
    std::optional<RectD> placeBeforeScreenChange_;
    std::optional<QPointF> lastCollapsedPosition_;
    bool isWindowActive_ = false;
    bool isResizable_ = false;
    SizeLimits limits_{QSize(0, 0), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX)};
    WindowShapeMask* shapeMask_ = nullptr;
    PanelTransition* transition_ = nullptr;
    WindowManagerMoves* moves_ = nullptr;
    QList<ResizeGrip*> grips_;
    QPointer<QWindow> watchedWindow_;
    QPointer<NoteEditorWindow> noteWindow_;
    QPointer<TodoEditorWindow> todoWindow_;
    // Where the app left the panel while it is off the screen.
    std::optional<QRect> placeWhileHidden_;
    std::optional<QPoint> dragOffset_;
    KeyboardHold keyboardHold_;
    DepartingClick departingClick_;
    bool hearsAppEvents_ = false;
};
