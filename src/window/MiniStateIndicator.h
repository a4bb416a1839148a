#pragma once

#include "window/StateIndicator.h"

class KippetIconBadge;

// The status of a mini kippet window: the animated symbol alone while content is analysed,
// imported or failed its analysis, else the kippet's badge alone.
class MiniStateIndicator : public StateIndicator {
    Q_OBJECT
public:
    MiniStateIndicator(Kippet* kippet, bool isActive, QWidget* parent = nullptr);

protected:
    void build(State state, QLayout* layout) override;
    QLayout* makeLayout() override;
    bool restyle() override;

private:
    KippetIconBadge* badge_ = nullptr;
};
