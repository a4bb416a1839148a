// The panel's modes: the size limits of each, the transitions between them and the frames they
// remember.
#include "app/ScreenClamp.h"
#include "model/Kippet.h"
#include "platform/Animations.h"
#include "platform/ClockAnimation.h"
#include "platform/ClockTimer.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/ScreenProvider.h"
#include "ui/ResizeGrip.h"
#include "ui/Theme.h"
#include "ui/TransitionStage.h"
#include "ui/WindowShapeMask.h"
#include "window/FloatingKippetWindow.h"
#include "window/WindowPlacement.h"

#include <QEasingCurve>
#include <QSignalBlocker>
#include <algorithm>

namespace {
constexpr std::chrono::milliseconds animationDuration{200};
// How long a panel waits for the window manager to give it its new frame before it shows again
// anyway, in frames.
constexpr int revealChecksAtMost = 120;
constexpr std::chrono::milliseconds stageWaitAtMost{1000};
const QSize unbounded(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);

RectD clamped(const RectD& frame) {
    return frameClampedToScreens(ScreenProvider::shared().screens(), frame);
}

void postDemo(const Kippet* kippet, const QString& name) {
    if (kippet->isDemoMode())
        NotificationCenter::shared().post(name);
}
} // namespace

RectD FloatingKippetWindow::frame() const {
    if (animationTarget_)
        return *animationTarget_;
    return ScreenProvider::shared().space().fromQt(QRectF(geometry()));
}

bool FloatingKippetWindow::isAnimating() const {
    return animationTarget_.has_value();
}

void FloatingKippetWindow::setFrame(const RectD& frame, bool animate) {
    finishAnimation();
    if (revealTimer_ && revealTimer_->isActive())
        reveal();
    if (kippet_ && kippet_->isExpanded())
        lastExpandedFrame_ = frame;
    const QRect target = ScreenProvider::shared().space().toQtRect(frame);
    // On the way between two modes the panel passes through sizes that neither mode allows.
    setMinimumSize(0, 0);
    setMaximumSize(unbounded);
    // A panel the window manager has not put on the screen yet has nothing to show on the way.
    const bool shown =
        isVisible() && (!TransitionStage::isAvailable() || testAttribute(Qt::WA_Mapped));
    if (!animate || !Animations::enabled() || !shown) {
        setGeometry(target);
        applyLimits();
        return;
    }
    if (!animation_) {
        animation_ = new ClockAnimation(this);
        connect(animation_, &ClockAnimation::valueChanged, this,
                &FloatingKippetWindow::animationStepped);
        connect(animation_, &ClockAnimation::finished, this,
                &FloatingKippetWindow::finishAnimation);
    }
    {
        const QSignalBlocker quiet(animation_);
        animation_->jumpTo(0);
    }
    animationTarget_ = frame;
    animationFrom_ = geometry();
    animationTo_ = target;
    if (TransitionStage::isAvailable()) {
        // The frames start once the stage stands over the panel; till then the panel keeps
        // showing what it showed.
        setUpdatesEnabled(false);
        openStage();
        return;
    }
    setGeometry(stepAt(0));
    animation_->animateTo(1, animationDuration, QEasingCurve::InOutQuad);
}

void FloatingKippetWindow::openStage() {
    if (!stage_) {
        stage_ = new TransitionStage(this, cornerRadius);
        connect(stage_, &TransitionStage::ready, this, &FloatingKippetWindow::stageReady);
        // What the user sees under way is the panel: a click on it gives the panel the keyboard
        // as a click on the panel itself does.
        connect(stage_, &TransitionStage::pressed, this, [this] {
            activateWindow();
            raise();
        });
        stageWait_ = new ClockTimer(this);
        stageWait_->setSingleShot(true);
        stageWait_->setInterval(stageWaitAtMost);
        // A stage the server never shows leaves the panel to jump to its new frame.
        connect(stageWait_, &ClockTimer::timeout, this, [this] {
            if (!hiddenForStage_)
                finishAnimation();
        });
    }
    // Counted from this opening: the wait of an earlier transition must not cut this one short.
    stageWait_->restart();
    stage_->open(animationFrom_.united(animationTo_), shownPicture(), animationFrom_);
}

void FloatingKippetWindow::stageReady() {
    if (!animationTarget_ || hiddenForStage_ || animation_->isRunning())
        return;
    stageWait_->stop();
    // The stage takes over, already at the first size on the way, over the panel that still
    // shows what it showed; the panel leaves the screen with a later frame, once a compositor
    // has taken up the stage's picture and shape: the next, or the last where every frame
    // covers it.
    TransitionStage::setExposedAreasTransparent(this, true);
    hiddenForStage_ = true;
    blankForStage_ = true;
    panelStaysTillLast_ = coveredToTheEnd();
    showStep(stepAt(0), false);
    animation_->animateTo(1, animationDuration, QEasingCurve::InOutQuad);
}

void FloatingKippetWindow::hideForStage() {
    // The panel's updates are off from the start of the transition until it leaves the screen.
    if (updatesEnabled())
        return;
    // Only ever after the stage's frame of the same instant: a compositor takes up what changed
    // one window at a time, and repaints each changed place with what all windows hold by then.
    // The stage's whole place comes first, so no part of the panel's place ever shows the next
    // frame ahead of the rest.
    setUpdatesEnabled(true);
    shapeMask_->apply();
    repaint();
    TransitionStage::setFrameOutOfSight(this, true);
}

QRect FloatingKippetWindow::stepAt(qreal progress) const {
    const auto between = [progress](int from, int to) {
        return from + qRound((to - from) * progress);
    };
    QRect step(QPoint(between(animationFrom_.left(), animationTo_.left()),
                      between(animationFrom_.top(), animationTo_.top())),
               QSize(between(animationFrom_.width(), animationTo_.width()),
                     between(animationFrom_.height(), animationTo_.height())));
    if (!kippet_ || !kippet_->isExpanded())
        return step;
    // Growing out of a mini tile, the expanded layout starts at the collapsed tile's size, the
    // smallest that holds its header and toolbar; the bottom-left corner stays.
    const QSize smallest = WindowPlacement::collapsedSize.toSize()
                               .boundedTo(animationTo_.size())
                               .expandedTo(step.size());
    return QRect(QPoint(step.left(), step.bottom() + 1 - smallest.height()), smallest);
}

void FloatingKippetWindow::animationStepped(qreal progress) {
    if (!animationTarget_)
        return;
    const QRect step = stepAt(progress);
    if (!hiddenForStage_) {
        setGeometry(step);
        return;
    }
    // The last frame is the final one, set when the animation ends.
    if (step.size() != animationTo_.size())
        showStep(step, !panelStaysTillLast_);
}

bool FloatingKippetWindow::coveredToTheEnd() const {
    // A compositor that took up the panel's leaving late would repaint the panel's place alone,
    // with a frame of the stage that has grown past it since. Growing, every frame on the way
    // covers that place: unless the compositor blurs, and so shows through the stage's picture,
    // the panel stays on the screen beneath them until the last. Without a compositor the
    // server shows each change whole, and the panel leaves at once.
    return animationTo_.contains(animationFrom_) && Theme::backdrop() == Theme::Backdrop::blended;
}

void FloatingKippetWindow::showStep(const QRect& step, bool panelLeaves) {
    stagedSize_ = step.size();
    layoutChildren();
    // Drawn before the server is held for the frame.
    const QPixmap picture = panelPicture();
    stage_->showFrame(picture, step, [this, panelLeaves] {
        if (panelLeaves)
            hideForStage();
    });
}

void FloatingKippetWindow::finishAnimation() {
    if (!animationTarget_)
        return;
    const RectD target = *animationTarget_;
    if (animation_->isRunning()) {
        const QSignalBlocker quiet(animation_);
        animation_->jumpTo(1);
    }
    const QRect to = ScreenProvider::shared().space().toQtRect(target);
    if (hiddenForStage_) {
        // The stage shows the last frame before the window manager may give the panel its new
        // frame: what the panel shows there until it is revealed stays under the stage. The
        // frame is drawn first: the server is held only for what must reach it together.
        stagedSize_ = to.size();
        layoutChildren();
        const QPixmap last = panelPicture();
        TransitionStage::atOnce([this, to, &last] {
            stage_->showFrame(last, to);
            hideForStage();
            // The window manager copies the panel's shape to its own frame when it gives the
            // panel a new size: the shape comes back with the last change of size, never on its
            // own.
            if (geometry().size() == to.size())
                setGeometry(to.adjusted(0, 0, 0, 1));
            hiddenForStage_ = false;
            stagedSize_.reset();
            setGeometry(to);
            layoutChildren();
            shapeMask_->apply();
        });
        stage_->passPresses(true);
        animationTarget_.reset();
        applyLimits();
        waitToReveal();
        return;
    }
    if (stage_ && stage_->isVisible())
        stage_->close();
    setUpdatesEnabled(true);
    setGeometry(to);
    animationTarget_.reset();
    applyLimits();
}

void FloatingKippetWindow::endTransition() {
    if (stageWait_)
        stageWait_->stop();
    finishAnimation();
    if (blankForStage_ || (stage_ && stage_->isVisible()) ||
        (revealTimer_ && revealTimer_->isActive()))
        reveal();
    if (!updatesEnabled())
        setUpdatesEnabled(true);
    // A hidden panel hears of its new size only once it shows again: its content takes it now.
    layoutChildren();
}

void FloatingKippetWindow::waitToReveal() {
    if (!revealTimer_) {
        revealTimer_ = new ClockTimer(this);
        revealTimer_->setInterval(ClockAnimation::frame);
        connect(revealTimer_, &ClockTimer::timeout, this, &FloatingKippetWindow::revealWhenShown);
    }
    revealChecks_ = 0;
    revealMatches_ = 0;
    revealTimer_->start();
}

void FloatingKippetWindow::revealWhenShown() {
    // The panel shows again once the server has had it at its new frame for two looks in a row:
    // the window manager's frame and its shape then stand too.
    const std::optional<QRect> shown = TransitionStage::shownGeometry(this);
    revealMatches_ = shown == geometry() ? revealMatches_ + 1 : 0;
    if (revealMatches_ >= 2 || ++revealChecks_ >= revealChecksAtMost)
        reveal();
}

void FloatingKippetWindow::reveal() {
    if (revealTimer_)
        revealTimer_->stop();
    const auto show = [this] {
        TransitionStage::setExposedAreasTransparent(this, false);
        blankForStage_ = false;
        layoutChildren();
        repaint();
        TransitionStage::setFrameOutOfSight(this, false);
    };
    if (stage_ && stage_->isVisible())
        stage_->close(show);
    else
        show();
}

void FloatingKippetWindow::applyLimits() {
    // A frame the panel was given on purpose (clamped to a small screen) is never undone by
    // the limits of its mode.
    setMinimumSize(limits_.minimum.boundedTo(size()));
    setMaximumSize(limits_.maximum.expandedTo(size()));
}

void FloatingKippetWindow::applySizeConstraints(const RectD& frame) {
    const QSize size = frame.size().toSize();
    const bool expanded = kippet_ && kippet_->isExpanded();
    isResizable_ = expanded;
    limits_ = expanded ? SizeLimits{WindowPlacement::expandedMinimumSize.toSize().boundedTo(size),
                                    unbounded}
                       : SizeLimits{size, size};
    if (expanded)
        lastExpandedFrame_ = frame;
    applyLimits();
    layoutGrips();
}

void FloatingKippetWindow::transition(const RectD& frame, bool resizable) {
    isResizable_ = resizable;
    const QSize size = frame.size().toSize();
    limits_ = resizable ? SizeLimits{WindowPlacement::expandedMinimumSize.toSize(), unbounded}
                        : SizeLimits{size, size};
    layoutGrips();
    setFrame(frame, true);
}

void FloatingKippetWindow::rememberExpandedFrame() {
    // Frames on the way of an animation are not places the user chose.
    if (kippet_ && kippet_->isExpanded() && !isAnimating())
        lastExpandedFrame_ = frame();
}

void FloatingKippetWindow::toggleExpanded() {
    if (!kippet_)
        return;
    finishAnimation();
    if (kippet_->isExpanded())
        collapse();
    else
        expand();
}

void FloatingKippetWindow::expand() {
    const QPointF origin = frame().origin();
    lastCollapsedPosition_ = origin;
    kippet_->setIsExpanded(true);
    postDemo(kippet_, NotificationName::demoKippetExpanded);
    const QSizeF minimum = WindowPlacement::expandedMinimumSize;
    const QSizeF size = lastExpandedFrame_
                            ? QSizeF(std::max(minimum.width(), lastExpandedFrame_->width),
                                     std::max(minimum.height(), lastExpandedFrame_->height))
                            : WindowPlacement::expandedSize;
    // The bottom-left corner stays: the panel grows up and to the right.
    const RectD target = clamped(RectD(origin, size));
    transition(target, true);
    updateSavedPosition(target.origin());
}

void FloatingKippetWindow::collapse() {
    lastExpandedFrame_ = frame();
    kippet_->setIsExpanded(false);
    postDemo(kippet_, NotificationName::demoKippetCollapsed);
    const QSizeF size =
        kippet_->isMiniView() ? WindowPlacement::miniViewSize : WindowPlacement::collapsedSize;
    const QPointF origin = lastCollapsedPosition_.value_or(lastExpandedFrame_->origin());
    const RectD target = clamped(RectD(origin, size));
    transition(target, false);
    updateSavedPosition(target.origin());
    lastCollapsedPosition_.reset();
}

void FloatingKippetWindow::toggleMiniView() {
    if (!kippet_ || kippet_->isExpanded())
        return;
    finishAnimation();
    kippet_->setIsMiniView(!kippet_->isMiniView());
    if (kippet_->isMiniView())
        postDemo(kippet_, NotificationName::demoKippetMiniView);
    const QSizeF size =
        kippet_->isMiniView() ? WindowPlacement::miniViewSize : WindowPlacement::collapsedSize;
    const RectD target = clamped(RectD(frame().origin(), size));
    transition(target, false);
    updateSavedPosition(target.origin());
}

void FloatingKippetWindow::enterMiniView() {
    if (!kippet_)
        return;
    finishAnimation();
    const bool wasExpanded = kippet_->isExpanded();
    const QPointF current = frame().origin();
    if (wasExpanded) {
        lastExpandedFrame_ = frame();
        kippet_->setIsExpanded(false);
    }
    kippet_->setIsMiniView(true);
    const QPointF origin = wasExpanded ? lastCollapsedPosition_.value_or(current) : current;
    const RectD target = clamped(RectD(origin, WindowPlacement::miniViewSize));
    transition(target, false);
    updateSavedPosition(target.origin());
    if (wasExpanded)
        lastCollapsedPosition_.reset();
}

void FloatingKippetWindow::screenParametersChanged() {
    finishAnimation();
    const RectD current = frame();
    // Places count from the screen's bottom while X11 keeps a window's top-left when the
    // screen's height changes: the stored place is where the user left the panel, not where
    // it now seems to be.
    const QPointF stored = kippet_ ? kippet_->position() : QPointF();
    const RectD chosen = placeBeforeScreenChange_.value_or(
        stored.isNull() ? current : RectD(stored, current.size()));
    const RectD target = clamped(chosen);
    if (target == current)
        return;
    // A panel that may stay where it is keeps its size too, even if the clamp would shrink it.
    if (!placeBeforeScreenChange_ && target.origin() == current.origin())
        return;
    const std::optional<RectD> expanded = lastExpandedFrame_;
    setFrame(target, false);
    if (target != chosen)
        lastExpandedFrame_ = expanded;
    // Never saved: a screen that shrinks for a while must not move the panel for good. The
    // chosen place is kept until the user moves the panel, so a screen that grows back
    // returns it there.
    placeBeforeScreenChange_ = target == chosen ? std::nullopt : std::optional<RectD>(chosen);
}
