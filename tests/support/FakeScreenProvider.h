#pragma once

#include "platform/ScreenProvider.h"

#include <optional>

// Screens that a test lays out: the first is the primary, whose top left is Qt's origin.
class FakeScreenProvider : public ScreenProvider {
    Q_OBJECT
public:
    // One 1440 × 900 screen without 25 points of menu bar at its top.
    FakeScreenProvider();

    // A screen at the frame, its visible frame without `menuBar` points at the top.
    static ScreenInfo screen(const RectD& frame, double menuBar = 25);

    // Replaces the screens and announces the change.
    void setScreens(const QList<ScreenInfo>& screens);
    // Which screen holds the active window; nothing: the primary.
    void setMainScreenIndex(std::optional<int> index) { mainIndex_ = index; }
    // Where the mouse pointer is, in the app's coordinates.
    void setCursorPosition(QPointF position) { cursor_ = position; }

    ScreenSpace space() const override;
    QPointF cursorPosition() const override { return cursor_; }

protected:
    QList<ScreenInfo> reportedScreens() const override { return screens_; }
    std::optional<ScreenInfo> reportedMainScreen() const override;

private:
    QList<ScreenInfo> screens_;
    std::optional<int> mainIndex_;
    QPointF cursor_{720, 450};
};
