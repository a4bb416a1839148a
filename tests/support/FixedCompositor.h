#pragma once

#include "ui/CompositorCheck.h"
#include "ui/CompositorWatch.h"

// Installed for its lifetime: a display server with or without a compositor, as the test sets.
// Installing and removing it counts as the compositor starting or stopping; a change made
// meanwhile shows in windows at the next look of the compositor watch.
class FixedCompositor : public CompositorCheck {
public:
    explicit FixedCompositor(bool compositing) : compositing_(compositing) {
        install(this);
        CompositorWatch::shared().look();
    }
    ~FixedCompositor() override {
        install(nullptr);
        CompositorWatch::shared().look();
    }
    FixedCompositor(const FixedCompositor&) = delete;
    FixedCompositor& operator=(const FixedCompositor&) = delete;

    void setCompositing(bool compositing) { compositing_ = compositing; }
    bool isCompositing() const override { return compositing_; }

private:
    bool compositing_;
};
