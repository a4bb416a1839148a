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

    // Every screen, the primary first.
    virtual QList<ScreenInfo> screens() const = 0;
    // The screen of the active window, else the primary; nothing without screens.
    virtual std::optional<ScreenInfo> mainScreen() const = 0;
    // The converter to Qt's coordinates for these screens.
    virtual ScreenSpace space() const = 0;
    // Where the mouse pointer is, in the app's coordinates.
    virtual QPointF cursorPosition() const = 0;

signals:
    // Screens were added, removed, moved or resized.
    void screensChanged();
};
