#pragma once

#include "platform/ClockAnimation.h"

#include <QList>
#include <QPointer>
#include <memory>

class PanelTransition;

// The panels whose changes start in one pass of the event loop -- an arrangement that turns every
// panel into a mini tile, a gathering at one panel -- go their ways in step: one animation for
// all of them, its frames starting once every one of their stages shows, each frame one reading
// of the clock for all. Stepped each on its own, a panel whose stage came to the screen a few
// frames late, or whose frame came after the others had been drawn on a busy machine, showed at
// another point of its way than its neighbours, close enough to run into one of them.
//
//   gathering ──the pass ends──▶ awaitingStages ──every member's stage shows──▶ stepping
//   ──the animation ends, or every member left──▶ done
//
// A member leaves when its change ends on its own (a press, a new target, the panel hidden): the
// others go on without it, and no longer wait for its stage. Each member keeps the group alive.
class PanelTransitionGroup : public std::enable_shared_from_this<PanelTransitionGroup> {
public:
    enum class Phase { gathering, awaitingStages, stepping, done };

    // The group of the changes starting in this pass of the event loop, with `member` in it:
    // made by the first of them.
    static std::shared_ptr<PanelTransitionGroup> joinStartingNow(PanelTransition* member);

    PanelTransitionGroup(const PanelTransitionGroup&) = delete;
    PanelTransitionGroup& operator=(const PanelTransitionGroup&) = delete;
    ~PanelTransitionGroup();

    Phase phase() const { return phase_; }

    // Events.
    // The member's stage shows its first frame: its frames may start.
    void stageShows(PanelTransition* member);
    // The member goes on by itself, or not at all.
    void leave(PanelTransition* member);

private:
    struct Member {
        QPointer<PanelTransition> transition;
        bool ready = false;
    };

    PanelTransitionGroup();
    void passEnded();
    // Every member's stage opens over the ways of all of them.
    void shareStageArea();
    void startWhenAllShow();
    void stepped(qreal progress);
    void finished();

    Phase phase_ = Phase::gathering;
    QList<Member> members_;
    ClockAnimation animation_;
};
