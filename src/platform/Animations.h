#pragma once

// Whether windows animate their changes. Tests switch animations off so that every change is
// complete when the call returns.
class Animations {
public:
    static bool enabled();
    static void setEnabled(bool enabled);
};
