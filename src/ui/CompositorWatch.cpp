#include "ui/CompositorWatch.h"

#include "platform/Clock.h"
#include "platform/ClockTimer.h"
#include "ui/CompositorCheck.h"

#include <chrono>

CompositorWatch& CompositorWatch::shared() {
    Clock& clock = Clock::shared();
    if (auto* watch = clock.findChild<CompositorWatch*>(QString(), Qt::FindDirectChildrenOnly))
        return *watch;
    return *new CompositorWatch(&clock);
}

CompositorWatch::CompositorWatch(QObject* clock)
    : QObject(clock), timer_(new ClockTimer(*static_cast<Clock*>(clock), this)),
      compositing_(CompositorCheck::shared().isCompositing()) {
    timer_->setInterval(std::chrono::milliseconds(intervalMs));
    connect(timer_, &ClockTimer::timeout, this, &CompositorWatch::look);
    timer_->start();
}

void CompositorWatch::look() {
    const bool compositing = CompositorCheck::shared().isCompositing();
    if (compositing == compositing_)
        return;
    compositing_ = compositing;
    emit compositingChanged(compositing);
}
