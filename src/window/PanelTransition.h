#pragma once

#include "platform/RectD.h"
#include "ui/X11.h"

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <chrono>
#include <memory>
#include <optional>
#include <vector>

class ClockAnimation;
class ClockTimer;
class FloatingKippetWindow;
class PanelTransitionGroup;
class QMouseEvent;
class TransitionStage;

// One panel's change of frame (a change of form, or a move drawn frame by frame), from its start
// to the moment the panel shows itself again at its new frame. Where the server lets a change be
// drawn whole (X11), a stage shows it while the panel itself stays out of sight:
//
//   idle ──start──▶ awaitingStage ──stageReady(its opening)──▶ staged ──animation ends──▶
//   revealing ──the server has the panel at its new frame──▶ shaping ──the window manager's
//   frame shows the panel's shape──▶ idle
//
// Elsewhere the panel moves itself, frame by frame (animatingItself). `end()` leaves any phase
// for idle at once: the panel stands at its new frame and shows itself, and the stage is gone.
// A press on the way takes the change to its last frame (revealing): the press, and what the
// pointer does after it, reach the panel as it shows itself again.
// Everything the change keeps lives here; the panel asks, never keeps its own copy.
class PanelTransition : public QObject {
    Q_OBJECT
public:
    enum class Phase {
        idle,
        // The stage is on its way to the screen; the panel keeps showing what it showed.
        awaitingStage,
        // The stage shows the frames; the panel leaves the screen beneath it.
        staged,
        // The panel stands at its new frame but shows nothing yet: the stage shows the last frame
        // until the server has the panel there too.
        revealing,
        // The server has the panel at its new frame, drawn and cut to its shape again beneath the
        // stage; the stage stays until the window manager's frame round the panel shows that
        // shape too. Only where the panel is cut to its shape (no compositor).
        shaping,
        // No stage on this platform: the panel moves and sizes itself, frame by frame.
        animatingItself,
    };

    // How long a change's frames take.
    static constexpr std::chrono::milliseconds animationDuration{200};
    // However late its frames come (a busy machine, several panels changing at once, a
    // compositor that takes its time), a change shows at least this many on its way: it takes
    // longer instead.
    static constexpr int fewestFrames = 10;

    explicit PanelTransition(FloatingKippetWindow* panel);
    ~PanelTransition() override;

    Phase phase() const { return phase_; }
    // Whether the frames are still to come: the panel's frame is then the target.
    bool isAnimating() const {
        return phase_ == Phase::awaitingStage || phase_ == Phase::staged ||
               phase_ == Phase::animatingItself;
    }
    bool isUnderWay() const { return phase_ != Phase::idle; }
    // Whether the stage shows the change: a new frame then goes on from the one on the screen.
    bool showsFrames() const;
    // Where the change under way takes the panel, in the app's coordinates.
    std::optional<RectD> target() const;
    // While the stage shows the panel, the panel's own pixels stay transparent and its content
    // lies beside it, laid out at the size the stage shows.
    bool blanksPanel() const { return phase_ == Phase::staged || phase_ == Phase::revealing; }
    // While the stage shows the frames, nothing of the panel shows: its shape is cut to nothing
    // once it has left the screen.
    bool hidesPanel() const { return phase_ == Phase::staged; }
    // The panel's shape stays cut to nothing until the server has it at its new frame: a shape
    // reaches the screen at once, while the window manager may move the panel only later, or in
    // two steps, so a shape of the new size would show at the old place meanwhile.
    bool cutsPanelAway() const { return phase_ == Phase::staged || phase_ == Phase::revealing; }
    // While the panel is blank: the size the stage shows it at, and the size its content is laid
    // out at -- the same, except on the way into a tile, whose layout is drawn at the tile's own
    // size and scaled: squeezed into a smaller one it would cut through what it holds.
    QSize pictureSize() const;
    QSize layoutSize() const;
    // The stage of the panel; none before its first change.
    TransitionStage* stage() const { return stage_; }
    // From the start of the change until the panel leaves the screen beneath the stage, the panel
    // holds on the screen the last picture it painted: nothing of it is painted meanwhile.
    bool holdsPicture() const { return updatesBefore_.has_value(); }

    // Events.
    // Starts the change from `from` to `to` (Qt's coordinates) towards `target`; the panel stands
    // at `from`. A change whose stage shows goes on to `to` from the frame the stage shows.
    void start(const QRect& from, const QRect& to, const RectD& target);
    // Ends the change at once, in whatever phase.
    void end();
    // The panel shows (or first changes form, should it not have heard): its stage stands by from
    // then on, mapped beyond the screen, for as long as the panel shows. It unmaps: any change
    // ends, and the stage goes with it.
    void panelShown();
    void panelHidden();
    // A press on the stage or the panel while the change is under way: the change ends, and the
    // press goes to what lies under the pointer at the panel's new frame. Once the stage shows
    // the change, it ends at its last frame, which the stage shows until the window manager has
    // the panel there: the press, and all the pointer does till then, reach the panel as it
    // shows again. Before, the change ends at once.
    void pressed(const QMouseEvent& press);
    // The release of a press that ended a change goes where the press went. True when `release`
    // was that one, and has been handed on.
    bool released(const QMouseEvent& release);

protected:
    // Catches the release of a press handed on, whichever of the app's windows the server gives
    // it to.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Steps the frames, and ends them, of the changes that go their ways together.
    friend class PanelTransitionGroup;

    // A new target while the stage shows the change: the frames go on from the one on the
    // screen, and the panel stays out of sight until it stands at the new frame.
    void goOn(const QRect& to, const RectD& target);
    // The area the stage opens over: the way, and what it shares with the changes it goes in
    // step with.
    QRect stageArea() const;
    // The way, in Qt's coordinates.
    QRect way() const { return from_.united(to_); }
    // The stage is to open over `area` as well (see PanelTransitionGroup).
    void shareStageArea(const QRect& area);
    void stageReady(int opening);
    // A press on the stage's picture: the stage leaves the screen with the change it ends.
    void stagePressed(const QMouseEvent& press);
    void holdPicture();
    void releasePicture();
    // The press handed on is followed no further: its release came, or it ended where the app
    // did not hear of it.
    void stopFollowingPress();
    // Keeps a press and what follows it for the panel until it shows again; hands all of it on
    // then, in the order it came, two presses that make a double click with it; forgets it.
    void holdPointer(const QMouseEvent& event);
    void handOnHeldPointer();
    void dropHeldPointer();
    // The event placed by where the panel now stands: the server may still have it elsewhere,
    // while the window manager catches up.
    void sendToPanel(QEvent::Type type, const QMouseEvent& event, Qt::MouseButton button);
    // The frames go in step with those of the changes that started with this one, from the
    // moment every one of their stages shows.
    void stepWithOthers();
    void leaveGroup();
    void stepped(qreal progress);
    // The animation reached its end: the stage shows the last frame and the panel takes its new
    // frame beneath it.
    void animationFinished();
    void timerFired();
    void revealWhenShown();
    // The panel takes its shape and its picture back beneath the stage.
    void shape();
    void revealWhenFramed();
    void reveal();
    // The panel leaves the screen, in the same instant as the stage's frame.
    void panelLeaves();
    void showStep(const QRect& step, bool panelLeaves);
    // Draws the panel's picture at `size`, laid out as its form needs.
    QPixmap pictureAt(QSize size);
    QRect stepAt(qreal progress) const;
    // `step` with the sides that stay put on the server's pixels where the panel stands.
    QRect onTheWaysPixels(QRect step) const;
    bool coveredToTheEnd() const;
    void openStage();

    FloatingKippetWindow* panel_;
    Phase phase_ = Phase::idle;
    // The way, in Qt's coordinates, and its end in the app's.
    QRect from_;
    QRect to_;
    // The frame the stage showed last.
    QRect shownStep_;
    // The ways of the changes this one goes in step with, which its stage covers too.
    QRect sharedArea_;
    RectD target_;
    // The stage's opening whose first picture on the screen starts the frames.
    int awaitedOpening_ = 0;
    // Staged: whether the panel has left the screen yet, and whether it stays beneath the stage
    // until the last frame (decided as the stage takes over: asking the display server every
    // frame would cost a round trip).
    bool panelLeft_ = false;
    bool panelStaysTillLast_ = false;
    QSize pictureSize_;
    QSize layoutSize_;
    // Revealing and shaping: looks at the server so far, and how many in a row found the panel in
    // place.
    int revealChecks_ = 0;
    int revealMatches_ = 0;
    // How much larger than the panel the window manager's frame was as the change started.
    std::optional<QSize> frameMargin_;
    // A press ended the change and went to the panel: its release follows it there. The button.
    std::optional<Qt::MouseButton> pressHandedOn_;
    // The press that ends the change under way came on the stage.
    bool pressOnStage_ = false;
    // From a press while the stage shows the change until the panel shows again: that press and
    // every event of the pointer's since, on the panel or its stage.
    std::vector<std::unique_ptr<QMouseEvent>> heldPointer_;
    // While the panel holds its picture: whether its updates were enabled before.
    std::optional<bool> updatesBefore_;
    // What the change altered on the window manager's frame round the panel to keep it out of
    // sight, undone as the panel shows again.
    X11::FrameChanges frameChanges_;
    TransitionStage* stage_ = nullptr;
    // Staged: the changes this one goes its way in step with, itself among them.
    std::shared_ptr<PanelTransitionGroup> group_;
    // Animating itself: its frames.
    ClockAnimation* animation_ = nullptr;
    // Awaiting the stage: how long it may take. Revealing, shaping: the next look at the server.
    ClockTimer* timer_ = nullptr;
};
