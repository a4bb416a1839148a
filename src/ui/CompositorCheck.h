#pragma once

class QRegion;
class QWindow;

// Whether a compositing manager draws this app's windows, and whether it blurs what lies behind
// one. Without a compositor, the transparent parts of a translucent window come out black, so
// windows with rounded corners take their shape from a window mask instead, and full-screen
// overlays are left out. Tests install a check of their own.
class CompositorCheck {
public:
    virtual ~CompositorCheck() = default;

    // The installed check, else the one that asks the running display server.
    static CompositorCheck& shared();
    // nullptr restores the display server's answer.
    static void install(CompositorCheck* check);

    virtual bool isCompositing() const = 0;
    // Whether the compositor blurs behind the parts of a window that ask for it.
    virtual bool blursBehind() const { return false; }
    // Asks for the blur behind `region` (the window's device pixels); an empty region withdraws
    // the request.
    virtual void requestBlurBehind(QWindow* window, const QRegion& region);
};

// On X11 a compositing manager owns the selection "_NET_WM_CM_S<screen>", and one that blurs
// behind windows announces the property "_KDE_NET_WM_BLUR_BEHIND_REGION" on the root window (or
// lists it in "_NET_SUPPORTED"); a window asks for the blur by carrying that property. Wayland
// always composites, and offscreen rendering has no black to show, so both count as composited;
// neither blurs.
class DisplayCompositorCheck : public CompositorCheck {
public:
    bool isCompositing() const override;
    bool blursBehind() const override;
    void requestBlurBehind(QWindow* window, const QRegion& region) override;
};
