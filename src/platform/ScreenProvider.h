#pragma once

#include "platform/RectD.h"
#include "platform/ScreenSpace.h"

#include <QList>
#include <QObject>
#include <optional>

// One display as the windows see it, in the app's coordinates: its whole frame and the part
// that windows may use (without panels and docks).
struct ScreenInfo {
    RectD frame;
    RectD visibleFrame;

    bool operator==(const ScreenInfo&) const = default;
};

// The displays. The app reads the real ones through Qt; tests install fake ones. GUI thread only.
class ScreenProvider : public QObject {
    Q_OBJECT
public:
    ~ScreenProvider() override = default;

    static ScreenProvider& shared();
    static void install(ScreenProvider* provider);

    // Every screen that windows can be shown on, the primary first. A screen of no size (the
    // stand-in Qt offers while no monitor is active) is none: without screens, frames stay as
    // they are.
    QList<ScreenInfo> screens() const;
    // The screen of the active window, else the primary, else the first; nothing without screens.
    std::optional<ScreenInfo> mainScreen() const;
    // The converter to Qt's coordinates for these screens.
    virtual ScreenSpace space() const = 0;
    // Where the mouse pointer is, in the app's coordinates.
    virtual QPointF cursorPosition() const = 0;

signals:
    // Screens were added, removed, moved or resized.
    void screensChanged();

protected:
    // What the platform reports, stand-ins included.
    virtual QList<ScreenInfo> reportedScreens() const = 0;
    virtual std::optional<ScreenInfo> reportedMainScreen() const = 0;
};
