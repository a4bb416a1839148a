#include "window/PanelTransition.h"

#include "model/Kippet.h"
#include "platform/ClockAnimation.h"
#include "platform/ClockTimer.h"
#include "platform/Log.h"
#include "platform/ScreenProvider.h"
#include "ui/Theme.h"
#include "ui/TransitionStage.h"
#include "ui/WindowShapeMask.h"
#include "ui/X11.h"
#include "window/FloatingKippetWindow.h"
#include "window/PanelTransitionGroup.h"
#include "window/WindowPlacement.h"

#include <QCoreApplication>
#include <QEasingCurve>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyleHints>
#include <QWindow>
#include <utility>

namespace {
// How long a panel waits for the window manager to give it its new frame before it shows again
// anyway, in frames.
constexpr int revealChecksAtMost = 120;
// A stage the server never shows leaves the panel to jump to its new frame.
constexpr std::chrono::milliseconds stageWaitAtMost{1000};
} // namespace

PanelTransition::PanelTransition(FloatingKippetWindow* panel)
    : QObject(panel), panel_(panel), animation_(new ClockAnimation(this)),
      timer_(new ClockTimer(this)) {
    connect(animation_, &ClockAnimation::valueChanged, this, &PanelTransition::stepped);
    connect(animation_, &ClockAnimation::finished, this, &PanelTransition::animationFinished);
    connect(timer_, &ClockTimer::timeout, this, &PanelTransition::timerFired);
}

PanelTransition::~PanelTransition() {
    leaveGroup();
    delete stage_;
}

std::optional<RectD> PanelTransition::target() const {
    if (!isAnimating())
        return std::nullopt;
    return target_;
}

bool PanelTransition::showsFrames() const {
    return isUnderWay() && phase_ != Phase::animatingItself && stage_ && stage_->isShowing();
}

QSize PanelTransition::pictureSize() const {
    return pictureSize_.isValid() ? pictureSize_ : panel_->size();
}

QSize PanelTransition::layoutSize() const {
    return layoutSize_.isValid() ? layoutSize_ : pictureSize();
}

QPixmap PanelTransition::pictureAt(QSize size) {
    pictureSize_ = size;
    // A tile's layout has one size: on the way into it, it is drawn whole and scaled down.
    const Kippet* kippet = panel_->kippet();
    const bool intoTile = kippet && !kippet->isExpanded() &&
                          (size.width() < to_.width() || size.height() < to_.height());
    layoutSize_ = intoTile ? to_.size() : size;
    panel_->layoutChildren();
    return panel_->panelPicture();
}

void PanelTransition::start(const QRect& from, const QRect& to, const RectD& target) {
    if (showsFrames()) {
        goOn(to, target);
        return;
    }
    end();
    from_ = from;
    to_ = to;
    target_ = target;
    panelLeft_ = false;
    panelStaysTillLast_ = false;
    pictureSize_ = QSize();
    layoutSize_ = QSize();
    sharedArea_ = QRect();
    {
        const QSignalBlocker quiet(animation_);
        animation_->jumpTo(0);
    }
    if (!TransitionStage::isAvailable()) {
        phase_ = Phase::animatingItself;
        panel_->setGeometry(stepAt(0));
        animation_->animateTo(1, animationDuration, QEasingCurve::InOutQuad, fewestFrames);
        return;
    }
    // The frames start once the stage stands over the panel; till then the panel keeps showing
    // what it showed.
    phase_ = Phase::awaitingStage;
    frameMargin_ = TransitionStage::frameMargin(panel_);
    holdPicture();
    group_ = PanelTransitionGroup::joinStartingNow(this);
    openStage();
}

void PanelTransition::goOn(const QRect& to, const RectD& target) {
    to_ = to;
    target_ = target;
    if (phase_ == Phase::awaitingStage) {
        // Nothing of the way has shown yet: the panel still shows where it stands, and the
        // stage opens again over the whole of the new way. It leaves first: one that has come
        // over the panel already would show its picture placed for the new area at the old.
        stage_->close();
        awaitedOpening_ = stage_->open(stageArea(), panel_->shownPicture(), from_);
        timer_->setSingleShot(true);
        timer_->start(stageWaitAtMost);
        return;
    }
    // The stage shows a frame of the panel: the new way starts there, never at the panel's
    // own place, which the window manager may not have reached yet. Ending the change first
    // would show the panel before it stands anywhere.
    timer_->stop();
    const bool wasShaped = phase_ == Phase::shaping;
    from_ = shownStep_;
    phase_ = Phase::staged;
    pictureSize_ = QSize();
    layoutSize_ = QSize();
    // A panel still on the screen beneath the stage stays there only while every frame of the
    // new way covers it.
    panelStaysTillLast_ = !panelLeft_ && to_.contains(panel_->geometry()) && panelStaysTillLast_;
    // Its way starts anew: in step with the changes that start now, no longer with those it
    // started with.
    leaveGroup();
    group_ = PanelTransitionGroup::joinStartingNow(this);
    const QPixmap first = pictureAt(from_.size());
    stage_->showFrame(first, from_, [this, wasShaped] {
        if (!panelStaysTillLast_)
            panelLeaves();
        // Shaped beneath the stage a moment ago: cut to nothing again with this frame.
        if (wasShaped)
            panel_->shapeMask_->apply();
    });
    shownStep_ = from_;
    stepWithOthers();
}

void PanelTransition::panelShown() {
    if (!TransitionStage::isAvailable())
        return;
    if (!stage_) {
        stage_ = new TransitionStage(FloatingKippetWindow::cornerRadius);
        connect(stage_, &TransitionStage::ready, this, &PanelTransition::stageReady);
        connect(stage_, &TransitionStage::pressed, this, &PanelTransition::stagePressed);
        connect(stage_, &TransitionStage::released, this, &PanelTransition::released);
    }
    stage_->standBy();
}

void PanelTransition::panelHidden() {
    // What the pointer did on its way out is no longer the panel's.
    dropHeldPointer();
    end();
    if (stage_)
        stage_->hide();
}

void PanelTransition::openStage() {
    // Mapped once, the stage stays mapped while the panel shows.
    panelShown();
    timer_->setSingleShot(true);
    timer_->start(stageWaitAtMost);
    awaitedOpening_ = stage_->open(stageArea(), panel_->shownPicture(), from_);
}

QRect PanelTransition::stageArea() const {
    return from_.united(to_).united(sharedArea_);
}

void PanelTransition::shareStageArea(const QRect& area) {
    // Only while nothing of the way has shown: the stage opens again, over the larger area.
    if (phase_ != Phase::awaitingStage || !stage_ || stageArea().contains(area))
        return;
    sharedArea_ = area;
    stage_->close();
    awaitedOpening_ = stage_->open(stageArea(), panel_->shownPicture(), from_);
}

void PanelTransition::stageReady(int opening) {
    // Only the stage's picture of this opening on the screen starts the frames: an earlier
    // opening's word arriving late says nothing of this one.
    if (phase_ != Phase::awaitingStage || opening != awaitedOpening_)
        return;
    timer_->stop();
    // The stage takes over, already at the first size on the way, over the panel that still
    // shows what it showed; the panel leaves the screen with a later frame, once a compositor
    // has taken up the stage's picture and shape: the next, or the last where every frame
    // covers it.
    phase_ = Phase::staged;
    panelStaysTillLast_ = coveredToTheEnd();
    showStep(stepAt(0), false);
    stepWithOthers();
}

void PanelTransition::stepWithOthers() {
    if (!group_)
        group_ = PanelTransitionGroup::joinStartingNow(this);
    group_->stageShows(this);
}

void PanelTransition::leaveGroup() {
    // Held here until it has let this one go: the last member's leaving ends the group.
    if (const std::shared_ptr<PanelTransitionGroup> group = std::exchange(group_, nullptr))
        group->leave(this);
}

void PanelTransition::stepped(qreal progress) {
    const QRect step = stepAt(progress);
    if (phase_ == Phase::animatingItself) {
        panel_->setGeometry(step);
        return;
    }
    // The last frame is the final one, shown as the animation ends. A move that keeps the size
    // is drawn frame by frame like any other change.
    if (phase_ == Phase::staged && step != to_)
        showStep(step, !panelStaysTillLast_);
}

void PanelTransition::showStep(const QRect& step, bool leaves) {
    // Drawn before the server is held for the frame.
    const QPixmap picture = pictureAt(step.size());
    shownStep_ = step;
    stage_->showFrame(picture, step, [this, leaves] {
        if (leaves)
            panelLeaves();
    });
}

void PanelTransition::panelLeaves() {
    if (panelLeft_)
        return;
    // Only ever after the stage's frame of the same instant: a compositor takes up what changed
    // one window at a time, and repaints each changed place with what all windows hold by then.
    // The stage's whole place comes first, so no part of the panel's place ever shows the next
    // frame ahead of the rest.
    panelLeft_ = true;
    // Only now: what the stage's frames uncover of the panel while it still shows must show the
    // panel, never the transparent background a compositor would show the desktop through.
    TransitionStage::setExposedAreasTransparent(panel_, true);
    releasePicture();
    panel_->shapeMask_->apply();
    panel_->repaint();
    // A change that keeps the size grows the frame by a pixel on the way to its end.
    const bool grows = to_.width() >= from_.width() || to_.height() >= from_.height();
    TransitionStage::setFrameOutOfSight(panel_, frameChanges_, true, grows);
}

void PanelTransition::animationFinished() {
    if (phase_ == Phase::animatingItself) {
        phase_ = Phase::idle;
        panel_->setGeometry(to_);
        panel_->applyLimits();
        return;
    }
    if (phase_ != Phase::staged)
        return;
    // The others go on without it.
    leaveGroup();
    // The stage shows the last frame before the window manager may give the panel its new
    // frame: what the panel shows there until it is revealed stays under the stage. The frame
    // is drawn first: the server is held only for what must reach it together.
    const QPixmap last = pictureAt(to_.size());
    shownStep_ = to_;
    TransitionStage::atOnce([this, &last] {
        stage_->showFrame(last, to_);
        panelLeaves();
        // The panel stays cut to nothing while the window manager moves it: some give a window
        // its new size and place in two steps, others its frame the window's shape before they
        // move that frame.
        phase_ = Phase::revealing;
        panel_->setGeometry(to_);
        panel_->layoutChildren();
        panel_->shapeMask_->apply();
    });
    panel_->applyLimits();
    revealChecks_ = 0;
    revealMatches_ = 0;
    timer_->setSingleShot(false);
    timer_->start(ClockAnimation::frame);
}

void PanelTransition::timerFired() {
    if (phase_ == Phase::awaitingStage)
        end();
    else if (phase_ == Phase::revealing)
        revealWhenShown();
    else if (phase_ == Phase::shaping)
        revealWhenFramed();
    else
        timer_->stop();
}

void PanelTransition::revealWhenShown() {
    // The panel shows again once the server has had it at its new frame for two looks in a row:
    // the window manager's frame and its shape then stand too.
    const std::optional<QRect> shown = TransitionStage::shownGeometry(panel_);
    // Some window managers give the window its new frame before their own frame round it: that
    // frame, shown again while it still has its old size, would stand beside the panel.
    const bool frameFollowed =
        !frameMargin_ || TransitionStage::frameMargin(panel_) == frameMargin_;
    // Compared with the frame the change set: Qt may since have heard of a place the panel only
    // passed through.
    revealMatches_ = shown == to_ && frameFollowed ? revealMatches_ + 1 : 0;
    if (revealMatches_ >= 2) {
        // Cut to its shape (no compositor), the panel takes it back only now, and shows once its
        // window manager's frame has taken it too.
        if (panel_->shapeMask_->isCut())
            shape();
        else
            reveal();
    } else if (++revealChecks_ >= revealChecksAtMost) {
        Log::line(QStringLiteral("⚠️ [PanelTransition] The panel shows again before the window "
                                 "manager gave it its new frame"));
        reveal();
    }
}

void PanelTransition::shape() {
    // Beneath the stage, which shows the same picture in the same shape: drawn first, then cut,
    // so no pixel of the panel's shows before it holds the picture.
    phase_ = Phase::shaping;
    pictureSize_ = QSize();
    layoutSize_ = QSize();
    panel_->layoutChildren();
    panel_->repaint();
    panel_->shapeMask_->apply();
    X11::flush();
    revealChecks_ = 0;
    revealWhenFramed();
}

void PanelTransition::revealWhenFramed() {
    // The window manager gives its frame the panel's new shape when it hears of it; till then
    // the frame shows nothing of the panel.
    if (TransitionStage::frameShowsShapeOf(panel_)) {
        reveal();
    } else if (++revealChecks_ >= revealChecksAtMost) {
        Log::line(QStringLiteral("⚠️ [PanelTransition] The panel shows again before the window "
                                 "manager's frame took its shape"));
        reveal();
    }
}

void PanelTransition::reveal() {
    timer_->stop();
    const bool shaped = phase_ == Phase::shaping;
    const auto show = [this, shaped] {
        TransitionStage::setExposedAreasTransparent(panel_, false);
        phase_ = Phase::idle;
        pictureSize_ = QSize();
        layoutSize_ = QSize();
        panel_->layoutChildren();
        panel_->repaint();
        if (!shaped)
            panel_->shapeMask_->apply();
        TransitionStage::setFrameOutOfSight(panel_, frameChanges_, false);
    };
    if (stage_ && stage_->isShowing())
        stage_->close(show, std::exchange(pressOnStage_, false));
    else
        show();
    handOnHeldPointer();
}

void PanelTransition::end() {
    switch (phase_) {
    case Phase::idle:
        return;
    case Phase::animatingItself: {
        const QSignalBlocker quiet(animation_);
        animation_->jumpTo(1);
        animationFinished();
        break;
    }
    case Phase::awaitingStage: {
        timer_->stop();
        leaveGroup();
        if (stage_ && stage_->isShowing())
            stage_->close({}, std::exchange(pressOnStage_, false));
        phase_ = Phase::idle;
        releasePicture();
        panel_->setGeometry(to_);
        panel_->applyLimits();
        break;
    }
    case Phase::staged:
        animationFinished();
        reveal();
        break;
    case Phase::revealing:
    case Phase::shaping:
        reveal();
        break;
    }
    // A hidden panel hears of its new size only once it shows again: its content takes it now.
    panel_->layoutChildren();
    // Ended before its stage showed: the panel shows at once.
    handOnHeldPointer();
}

void PanelTransition::stagePressed(const QMouseEvent& press) {
    if (!isUnderWay())
        return;
    // The user clicked the window beside the panel before the stage came there, and that window
    // has the keyboard: the press goes nowhere, like one beside the picture.
    if (panel_->pressLeftThePanel(press))
        return;
    pressOnStage_ = true;
    pressed(press);
}

void PanelTransition::pressed(const QMouseEvent& press) {
    if (!isUnderWay()) {
        pressOnStage_ = false;
        return;
    }
    QWindow* window = panel_->windowHandle();
    // The server gives the release to the window that took the press while it stays on the
    // screen, and else to whatever lies under the pointer, which may not be the app's: the panel
    // takes the pointer over before the stage leaves, so the release follows the press here
    // whenever it comes, whichever button it was. A menu the press opens (the right button)
    // holds the pointer itself, and its release comes to the app.
    if (window && press.button() != Qt::RightButton)
        window->setMouseGrabEnabled(true);
    if (phase_ != Phase::animatingItself) {
        // The stage shows the panel on its way, or is about to: the change ends at its last
        // frame, which the stage shows until the window manager has the panel there. Ended at
        // once, the panel would show before it is moved -- blank, or in its new shape at its old
        // place -- and handed on now, the press would reach the content laid beside the blank
        // panel, or the panel's old form.
        holdPointer(press);
        if (phase_ == Phase::staged)
            animationFinished();
        return;
    }
    end();
    // The change ended without its stage (it had not shown yet).
    pressOnStage_ = false;
    // What the user sees under way is the panel: the press is the panel's, as a press on the
    // panel itself gives it the keyboard, and it goes to what lies under the pointer where the
    // panel now stands.
    panel_->activateWindow();
    panel_->raise();
    if (!window)
        return;
    // Placed by where the panel now stands: the server may still have it elsewhere, while the
    // window manager catches up.
    const QPointF global = press.globalPosition();
    const QPointF origin(panel_->settledGeometry().topLeft());
    QMouseEvent moved(QEvent::MouseButtonPress, global - origin, global, press.button(),
                      press.buttons(), press.modifiers());
    pressHandedOn_ = press.button();
    // A release that reached the server before the panel took the pointer goes to the stage,
    // closed by the time it is read: every window of the app is watched for it.
    QCoreApplication::instance()->installEventFilter(this);
    QCoreApplication::sendEvent(window, &moved);
}

void PanelTransition::holdPointer(const QMouseEvent& event) {
    // The release, and a second press, may come to the stage or to the panel, whichever the
    // server has under the pointer: every window of the app is watched for them.
    if (heldPointer_.empty())
        QCoreApplication::instance()->installEventFilter(this);
    heldPointer_.emplace_back(event.clone());
}

void PanelTransition::dropHeldPointer() {
    if (heldPointer_.empty())
        return;
    heldPointer_.clear();
    if (!pressHandedOn_)
        QCoreApplication::instance()->removeEventFilter(this);
    if (QWindow* window = panel_->windowHandle())
        window->setMouseGrabEnabled(false);
}

void PanelTransition::handOnHeldPointer() {
    if (heldPointer_.empty())
        return;
    const std::vector<std::unique_ptr<QMouseEvent>> held = std::exchange(heldPointer_, {});
    const QPointer<QWindow> window = panel_->windowHandle();
    // The press is the panel's, as a press on the panel itself gives it the keyboard.
    panel_->activateWindow();
    panel_->raise();
    // The platform pairs presses into double clicks only on one window, and the first press went
    // to the stage, or was held: the presses held are paired here, by the platform's own rule.
    const QStyleHints* hints = QGuiApplication::styleHints();
    const QMouseEvent* firstPress = nullptr;
    std::optional<Qt::MouseButton> down;
    for (const std::unique_ptr<QMouseEvent>& event : held) {
        if (!window)
            break;
        switch (event->type()) {
        case QEvent::MouseButtonPress: {
            sendToPanel(QEvent::MouseButtonPress, *event, event->button());
            down = event->button();
            const bool twice =
                firstPress && firstPress->button() == event->button() &&
                event->timestamp() - firstPress->timestamp() <=
                    ulong(hints->mouseDoubleClickInterval()) &&
                (event->globalPosition() - firstPress->globalPosition()).manhattanLength() <=
                    hints->mouseDoubleClickDistance();
            if (twice)
                sendToPanel(QEvent::MouseButtonDblClick, *event, event->button());
            firstPress = twice ? nullptr : event.get();
            break;
        }
        case QEvent::MouseButtonRelease:
            sendToPanel(QEvent::MouseButtonRelease, *event, event->button());
            if (down == event->button())
                down.reset();
            break;
        case QEvent::MouseMove:
            sendToPanel(QEvent::MouseMove, *event, Qt::NoButton);
            break;
        default:
            // The platform's own double clicks: paired above.
            break;
        }
    }
    // A button still down: its release follows the press as it would have.
    if (down && window) {
        pressHandedOn_ = down;
        return;
    }
    QCoreApplication::instance()->removeEventFilter(this);
    if (window)
        window->setMouseGrabEnabled(false);
}

void PanelTransition::sendToPanel(QEvent::Type type, const QMouseEvent& event,
                                  Qt::MouseButton button) {
    QWindow* window = panel_->windowHandle();
    if (!window)
        return;
    const QPointF global = event.globalPosition();
    const QPointF origin(panel_->settledGeometry().topLeft());
    QMouseEvent moved(type, global - origin, global, button, event.buttons(), event.modifiers());
    moved.setTimestamp(event.timestamp());
    QCoreApplication::sendEvent(window, &moved);
}

void PanelTransition::stopFollowingPress() {
    if (!std::exchange(pressHandedOn_, std::nullopt))
        return;
    QCoreApplication::instance()->removeEventFilter(this);
    if (QWindow* window = panel_->windowHandle())
        window->setMouseGrabEnabled(false);
}

bool PanelTransition::released(const QMouseEvent& release) {
    if (!pressHandedOn_)
        return false;
    stopFollowingPress();
    QWindow* window = panel_->windowHandle();
    if (!window)
        return true;
    const QPointF global = release.globalPosition();
    const QPointF origin(panel_->settledGeometry().topLeft());
    QMouseEvent moved(QEvent::MouseButtonRelease, global - origin, global, release.button(),
                      release.buttons(), release.modifiers());
    QCoreApplication::sendEvent(window, &moved);
    return true;
}

bool PanelTransition::eventFilter(QObject* watched, QEvent* event) {
    if (!heldPointer_.empty() && watched->isWindowType() && event->spontaneous()) {
        const QEvent::Type type = event->type();
        const bool pointer = type == QEvent::MouseButtonPress ||
                             type == QEvent::MouseButtonRelease ||
                             type == QEvent::MouseButtonDblClick || type == QEvent::MouseMove;
        const bool ours =
            watched == panel_->windowHandle() || (stage_ && watched == stage_->windowHandle());
        if (pointer && ours) {
            holdPointer(*static_cast<QMouseEvent*>(event));
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
    if (!pressHandedOn_ || !watched->isWindowType() || !event->spontaneous())
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonRelease)
        return released(*static_cast<QMouseEvent*>(event));
    if (event->type() != QEvent::MouseMove)
        return QObject::eventFilter(watched, event);
    const auto* move = static_cast<const QMouseEvent*>(event);
    // The button is up again, its release gone where the app did not hear of it: the moves are
    // no longer the press's.
    if (!(move->buttons() & *pressHandedOn_)) {
        stopFollowingPress();
        return QObject::eventFilter(watched, event);
    }
    // Moves that reached the server before the panel took the pointer go to the stage, which
    // keeps the pointer from the press: they are the panel's, so a drag begun at once follows
    // the pointer from its first move.
    QWindow* window = panel_->windowHandle();
    if (window && watched != window) {
        const QPointF global = move->globalPosition();
        const QPointF origin(panel_->settledGeometry().topLeft());
        QMouseEvent moved(QEvent::MouseMove, global - origin, global, Qt::NoButton, move->buttons(),
                          move->modifiers());
        QCoreApplication::sendEvent(window, &moved);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void PanelTransition::holdPicture() {
    if (updatesBefore_)
        return;
    updatesBefore_ = panel_->updatesEnabled();
    panel_->setUpdatesEnabled(false);
}

void PanelTransition::releasePicture() {
    if (const std::optional<bool> before = std::exchange(updatesBefore_, std::nullopt))
        panel_->setUpdatesEnabled(*before);
}

QRect PanelTransition::stepAt(qreal progress) const {
    const auto between = [progress](int from, int to) {
        return from + qRound((to - from) * progress);
    };
    QRect step(QPoint(between(from_.left(), to_.left()), between(from_.top(), to_.top())),
               QSize(between(from_.width(), to_.width()), between(from_.height(), to_.height())));
    const Kippet* kippet = panel_->kippet();
    if (!kippet || !kippet->isExpanded())
        return onTheWaysPixels(step);
    // Growing out of a mini tile, the expanded layout starts at the collapsed tile's size, the
    // smallest that holds its header and toolbar; the bottom-left corner stays.
    const QSize smallest =
        WindowPlacement::collapsedSize.toSize().boundedTo(to_.size()).expandedTo(step.size());
    return onTheWaysPixels(
        QRect(QPoint(step.left(), step.bottom() + 1 - smallest.height()), smallest));
}

QRect PanelTransition::onTheWaysPixels(QRect step) const {
    if (phase_ == Phase::animatingItself || !stage_)
        return step;
    // The stage places a frame's picture as Qt places a window: its place (from the stage's
    // origin) and its size each rounded to the server's pixels. At a fractional scale a side
    // that stays put in points then ends a pixel further out in some frames than where the
    // panel stands -- the corner that stays would shake by a pixel -- and that pixel lies beyond
    // the panel's place: a compositor that repaints the panel's place as the panel leaves, ahead
    // of the stage's, shows there a row of an older frame beside the new one. A side that stays
    // put stays on the panel's own pixels: the frame gives or takes a point at the side that
    // moves instead.
    const qreal scale = stage_->devicePixelRatioF();
    if (qFuzzyCompare(scale, qreal(qRound(scale))))
        return step;
    const QPoint origin = stage_->geometry().topLeft();
    // The server's pixel past the frame's far side along one axis, as the stage places it.
    const auto end = [scale](int originAt, int from, int length) {
        return qRound(originAt * scale) + qRound((from - originAt) * scale) +
               qRound(length * scale);
    };
    if (from_.bottom() == to_.bottom() && step.bottom() == from_.bottom()) {
        const int wanted = end(origin.y(), from_.top(), from_.height());
        for (const int nudge : {1, -1}) {
            if (end(origin.y(), step.top(), step.height()) == wanted)
                break;
            const QRect tried = step.adjusted(0, nudge, 0, 0);
            if (tried.height() > 0 && end(origin.y(), tried.top(), tried.height()) == wanted)
                step = tried;
        }
    }
    if (from_.right() == to_.right() && step.right() == from_.right()) {
        const int wanted = end(origin.x(), from_.left(), from_.width());
        for (const int nudge : {1, -1}) {
            if (end(origin.x(), step.left(), step.width()) == wanted)
                break;
            const QRect tried = step.adjusted(nudge, 0, 0, 0);
            if (tried.width() > 0 && end(origin.x(), tried.left(), tried.width()) == wanted)
                step = tried;
        }
    }
    return step;
}

bool PanelTransition::coveredToTheEnd() const {
    // A compositor that took up the panel's leaving late would repaint the panel's place alone,
    // with a frame of the stage that has grown past it since. Growing, every frame on the way
    // covers that place: unless the compositor blurs, and so shows through the stage's picture,
    // the panel stays on the screen beneath them until the last. Without a compositor the
    // server shows each change whole, and the panel leaves at once.
    return to_.contains(from_) && Theme::backdrop() == Theme::Backdrop::blended;
}
