// The panel's modes: the size limits of each, the transitions between them and the frames they
// remember.
#include "app/ScreenClamp.h"
#include "model/Kippet.h"
#include "platform/Animations.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/ScreenProvider.h"
#include "ui/ResizeGrip.h"
#include "ui/TransitionStage.h"
#include "ui/WindowManagerMoves.h"
#include "window/FloatingKippetWindow.h"
#include "window/PanelTransition.h"
#include "window/WindowPlacement.h"

#include <QScopeGuard>
#include <algorithm>

namespace {
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
    if (const std::optional<RectD> target = transition_->target())
        return *target;
    return ScreenProvider::shared().space().fromQt(QRectF(settledGeometry()));
}

QRect FloatingKippetWindow::settledGeometry() const {
    // Off the screen, where the app left it: the window system may have moved it meanwhile.
    if (!isVisible() || !moves_)
        return placeWhileHidden_.value_or(geometry());
    return moves_->placed();
}

bool FloatingKippetWindow::isAnimating() const {
    return transition_->isAnimating();
}

void FloatingKippetWindow::setFrame(const RectD& frame, bool animate) {
    // A change whose frames show goes on from the frame on the screen to the new one; any other
    // ends at its own target first.
    const bool goesOn = animate && Animations::enabled() && transition_->showsFrames();
    if (!goesOn)
        transition_->end();
    if (kippet_ && kippet_->isExpanded())
        lastExpandedFrame_ = frame;
    const QRect target = ScreenProvider::shared().space().toQtRect(frame);
    // On the way between two modes the panel passes through sizes that neither mode allows.
    setMinimumSize(0, 0);
    setMaximumSize(unbounded);
    // A panel the window manager has not put on the screen yet has nothing to show on the way.
    const bool shown =
        isVisible() && (!TransitionStage::isAvailable() || testAttribute(Qt::WA_Mapped));
    // From where the panel stands: Qt may have heard of a place it only passed through.
    const QRect from = settledGeometry();
    if (!goesOn && (!animate || !Animations::enabled() || !shown || target == from)) {
        setGeometry(target);
        if (!isVisible())
            placeWhileHidden_ = target;
        applyLimits();
        return;
    }
    transition_->start(from, target, frame);
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
    // Frames on the way of an animation are not places the user chose, nor where the window
    // system puts a panel that is off the screen.
    if (kippet_ && kippet_->isExpanded() && !isAnimating() && isVisible())
        lastExpandedFrame_ = frame();
}

void FloatingKippetWindow::toggleExpanded() {
    if (!kippet_)
        return;
    holdKeyboardThroughChange();
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
    holdKeyboardThroughChange();
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
    transition_->end();
    // Where the panel stands after this is the app's choice, also when Qt finds it there already
    // and tells the server nothing: a window manager that moves it on its own meanwhile (KWin
    // puts windows back where they stood when the screen last had this size) is answered.
    const auto watched = qScopeGuard([this] { moves_->keepCurrentPlace(); });
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
