#include "window/PanelTransitionGroup.h"

#include "ui/CompositorCheck.h"
#include "window/PanelTransition.h"

#include <QCoreApplication>
#include <QSignalBlocker>
#include <algorithm>
#include <utility>

namespace {
// The group the changes starting in this pass of the event loop join; none once the pass ended.
std::weak_ptr<PanelTransitionGroup>& startingNow() {
    static std::weak_ptr<PanelTransitionGroup> group;
    return group;
}
} // namespace

PanelTransitionGroup::PanelTransitionGroup() {
    QObject::connect(&animation_, &ClockAnimation::valueChanged, &animation_,
                     [this](qreal progress) { stepped(progress); });
    QObject::connect(&animation_, &ClockAnimation::finished, &animation_, [this] { finished(); });
}

PanelTransitionGroup::~PanelTransitionGroup() = default;

std::shared_ptr<PanelTransitionGroup>
PanelTransitionGroup::joinStartingNow(PanelTransition* member) {
    std::shared_ptr<PanelTransitionGroup> group = startingNow().lock();
    if (!group || group->phase_ != Phase::gathering) {
        group.reset(new PanelTransitionGroup);
        startingNow() = group;
        // Posted now, it runs once every change this pass starts has joined: the frames start no
        // sooner, whichever stage shows first.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak = std::weak_ptr<PanelTransitionGroup>(group)] {
                if (const std::shared_ptr<PanelTransitionGroup> group = weak.lock())
                    group->passEnded();
            },
            Qt::QueuedConnection);
    }
    group->members_.append({member, false});
    return group;
}

void PanelTransitionGroup::passEnded() {
    if (phase_ != Phase::gathering)
        return;
    if (startingNow().lock().get() == this)
        startingNow().reset();
    phase_ = Phase::awaitingStages;
    shareStageArea();
    startWhenAllShow();
}

void PanelTransitionGroup::shareStageArea() {
    // A compositor (xcompmgr) repaints the place of each window it has heard changed, with what
    // every window holds by the time it gets to it, and may hear of one stage's frame before the
    // others' of the same moment, or after the next ones had come. With a place of its own,
    // each stage over its own way, repainting one stage's place showed the next frame of a
    // neighbour whose way passes through it only there, and its last frame beside it: a panel
    // torn in two, or with a side open. Every stage covers all the ways: whichever one the
    // compositor repaints, it repaints every panel whole. Without a compositor the server shows
    // each stage's frame whole, and a larger stage would only cost paint.
    if (members_.size() < 2 || !CompositorCheck::shared().isCompositing())
        return;
    QRect all;
    for (const Member& each : std::as_const(members_)) {
        if (each.transition)
            all |= each.transition->way();
    }
    for (const Member& each : QList<Member>(members_)) {
        if (each.transition)
            each.transition->shareStageArea(all);
    }
}

void PanelTransitionGroup::stageShows(PanelTransition* member) {
    for (Member& each : members_) {
        if (each.transition == member)
            each.ready = true;
    }
    startWhenAllShow();
}

void PanelTransitionGroup::leave(PanelTransition* member) {
    members_.removeIf(
        [member](const Member& each) { return !each.transition || each.transition == member; });
    if (members_.isEmpty()) {
        // Nobody to step: the animation stops without a word.
        phase_ = Phase::done;
        const QSignalBlocker quiet(animation_);
        animation_.jumpTo(1);
        return;
    }
    // The others no longer wait for a stage that may never show.
    startWhenAllShow();
}

void PanelTransitionGroup::startWhenAllShow() {
    if (phase_ != Phase::awaitingStages || members_.isEmpty())
        return;
    const bool allShow = std::all_of(members_.cbegin(), members_.cend(),
                                     [](const Member& each) { return each.ready; });
    if (!allShow)
        return;
    phase_ = Phase::stepping;
    animation_.animateTo(1, PanelTransition::animationDuration, QEasingCurve::InOutQuad,
                         PanelTransition::fewestFrames);
}

void PanelTransitionGroup::stepped(qreal progress) {
    if (phase_ != Phase::stepping)
        return;
    // A member may leave while it draws its frame, and take the last hold on the group with it.
    const std::shared_ptr<PanelTransitionGroup> keep = shared_from_this();
    const QList<Member> members = members_;
    for (const Member& each : members) {
        const bool stillIn = std::any_of(members_.cbegin(), members_.cend(), [&](const Member& m) {
            return m.transition == each.transition;
        });
        if (each.transition && stillIn)
            each.transition->stepped(progress);
    }
}

void PanelTransitionGroup::finished() {
    if (phase_ != Phase::stepping)
        return;
    phase_ = Phase::done;
    const std::shared_ptr<PanelTransitionGroup> keep = shared_from_this();
    const QList<Member> members = std::exchange(members_, {});
    for (const Member& each : members) {
        if (each.transition)
            each.transition->animationFinished();
    }
}
