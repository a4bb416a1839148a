#pragma once

// Whether a compositing manager draws this app's windows. Without one, the transparent parts of a
// translucent window come out black, so windows with rounded corners take their shape from a
// window mask instead, and full-screen overlays are left out. Tests install a check of their own.
class CompositorCheck {
public:
    virtual ~CompositorCheck() = default;

    // The installed check, else the one that asks the running display server.
    static CompositorCheck& shared();
    // nullptr restores the display server's answer.
    static void install(CompositorCheck* check);

    virtual bool isCompositing() const = 0;
};

// On X11 a compositing manager owns the selection "_NET_WM_CM_S<screen>". Wayland always
// composites, and offscreen rendering has no black to show, so both count as composited.
class DisplayCompositorCheck : public CompositorCheck {
public:
    bool isCompositing() const override;
};
