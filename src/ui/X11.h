#pragma once

#include <QByteArray>
#include <QRegion>
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#ifdef KIPPETS_HAVE_XCB
#include <cstdlib>
#include <xcb/xcb.h>
#else
struct xcb_connection_t;
#endif

class QWidget;

// Every request this app makes of the X server and of the window manager goes through here: the
// connection Qt opened, the root window, atoms, properties, the window manager's frames, requests
// to the window manager as EWMH asks for them, and holding the server. Off X11 (Wayland,
// offscreen, no client library) there is no connection and every call does nothing.
namespace X11 {
using WindowId = std::uint32_t;
using AtomId = std::uint32_t;
constexpr WindowId noWindow = 0;
constexpr AtomId noAtom = 0;
// EWMH's desktop number for "every workspace".
constexpr std::uint32_t everyDesktop = 0xFFFFFFFFu;

// The connection to the X server that Qt opened for this app; nullptr when the app runs on
// another window system or before the application object exists.
xcb_connection_t* connection();
// The screen of the display Qt shows the app on.
int screenNumber();
// The root window of the screen Qt shows the app on; none without a connection.
WindowId root();
// The atom the server knows by `name`, interned on first use and kept: atoms never change while
// the connection lives, and asking is a round trip. None without a connection.
AtomId atom(const char* name);
// The atom only when some client interned it already (a compositor announcing what it does);
// none otherwise. Kept once known.
AtomId existingAtom(const char* name);
// The server's window of a widget's window, or none while it has none.
WindowId idOf(const QWidget* window);
// The window manager's frame around `window`: its ancestor that is a child of the root. None
// where the window stands on the root itself, or the server does not know it.
WindowId frameOf(WindowId window);
// The window the window manager gave the keyboard to (_NET_ACTIVE_WINDOW); none when it gave it to
// no window, or does not say.
WindowId activeWindow();
// Whether the server's keyboard focus is on no client's window: none, the pointer's root, or
// the root window itself.
bool keyboardOnNoWindow();
// The name the window manager gives itself (_NET_WM_NAME of the window _NET_SUPPORTING_WM_CHECK
// names, which names itself too), as EWMH lets clients tell window managers apart; empty when
// none says.
QByteArray windowManagerName();
// Whether an event from the server, as Qt hands it to native event filters
// ("xcb_generic_event_t"), says that `property` of `window` changed.
bool isPropertyChange(const void* event, WindowId window, AtomId property);
// The window whose `property` the event says changed; none for any other event.
WindowId propertyChangedOn(const void* event, AtomId property);
// The depth of the window's pixels: 32 where they carry an alpha channel; 0 when unknown.
int depthOf(WindowId window);
// The background the server fills exposed parts of a window with: a pixel value, or none, where
// the window's last pixels stay until it paints.
void setBackground(WindowId window, std::optional<std::uint32_t> pixel);
// An unmapped window of this app's own on the root that takes no input and shows nothing, there
// for the property events it gets; none without a connection.
WindowId createHiddenWindow();
void destroyWindow(WindowId window);
// Sends whatever requests are still buffered.
void flush();
// Handles the app's events, user input excepted, until every event the server sent the app
// before this call has been handled: a window manager's move finished a moment ago is known to
// Qt afterwards. Events read from the connection reach Qt in their own time, so a marker sent
// through the server now comes after all of them. False when it did not come within `guard`.
bool catchUp(std::chrono::milliseconds guard);
// Cuts one of the app's own windows to `pixels`, in the server's pixels (an empty region shows
// nothing of it), or gives it no shape with none. For a shape Qt's scaling of points would put
// between pixels; Qt knows nothing of it.
void setShape(WindowId window, const std::optional<QRegion>& pixels);
// Where one of the app's own windows takes the pointer, in the server's pixels (within its shape
// as well), or everywhere within its shape with none. A pixel it shows transparent under a
// compositor still takes a click unless left out here.
void setInputShape(WindowId window, const std::optional<QRegion>& pixels);

#ifdef KIPPETS_HAVE_XCB
struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};

// A reply of the server, or the error it answered with, freed when it goes.
template <typename Answer> class Reply {
public:
    Reply() = default;
    Reply(Answer* answer, xcb_generic_error_t* error) : answer_(answer), error_(error) {}

    explicit operator bool() const { return answer_ != nullptr; }
    const Answer* operator->() const { return answer_.get(); }
    const Answer* get() const { return answer_.get(); }
    // The X error code the request failed with; 0 when it did not fail, or never reached a server.
    std::uint8_t errorCode() const { return error_ ? error_->error_code : 0; }

private:
    std::unique_ptr<Answer, FreeReply> answer_;
    std::unique_ptr<xcb_generic_error_t, FreeReply> error_;
};

// Sends a request and waits for its reply: ask(xcb_get_geometry, xcb_get_geometry_reply, id).
// Empty without a connection.
template <typename Request, typename Fetch, typename... Arguments>
auto ask(Request request, Fetch fetch, Arguments... arguments) {
    using Cookie = std::invoke_result_t<Request, xcb_connection_t*, Arguments...>;
    using Answer = std::remove_pointer_t<
        std::invoke_result_t<Fetch, xcb_connection_t*, Cookie, xcb_generic_error_t**>>;
    xcb_connection_t* server = connection();
    if (!server)
        return Reply<Answer>();
    xcb_generic_error_t* error = nullptr;
    Answer* answer = fetch(server, request(server, arguments...), &error);
    return Reply<Answer>(answer, error);
}

// A request whose failure says nothing new (a window the window manager has since destroyed):
// its error is dropped unread instead of reaching Qt's log.
void ignoreErrors(xcb_void_cookie_t cookie);
#endif

// Properties of 32-bit items (cardinals, atoms, windows). None when the window has no such
// property, or holds it with another type or format.
std::optional<std::vector<std::uint32_t>> property32(WindowId window, AtomId property, AtomId type);
void setProperty32(WindowId window, AtomId property, AtomId type,
                   std::span<const std::uint32_t> values);
void deleteProperty(WindowId window, AtomId property);
AtomId cardinalType();
AtomId atomType();
AtomId windowType();
// Whether the window manager lists the state (a _NET_WM_STATE atom) for the window.
bool hasState(WindowId window, AtomId state);

// Takes the window out of its application's window group (ICCCM's WM_HINTS window_group, which Qt
// gives every window): window managers minimise a group, and keep its transients on its
// workspace, together. The window's other hints stay.
void leaveWindowGroup(WindowId window);

// Requests to the window manager about a window it manages, sent to the root window as EWMH
// asks: for a mapped window the window manager reads its own properties, and a client writing
// them is ignored. Each says it comes from an ordinary application.
void askWindowManager(WindowId window, AtomId type, std::array<std::uint32_t, 5> data);
// Moves the window to a workspace, or to every workspace with `everyDesktop`.
void requestDesktop(WindowId window, std::uint32_t desktop);
// Adds or removes one or two _NET_WM_STATE atoms.
void requestState(WindowId window, bool add, AtomId first, AtomId second = noAtom);
// Gives the window the keyboard; `time` of the user's action, 0 for now.
void requestActivation(WindowId window, std::uint32_t time = 0);
// The windows the window manager manages (_NET_CLIENT_LIST_STACKING), bottom to top as the
// server stacks them; empty when it does not say.
std::vector<WindowId> stackingOrder();
// Stacks the window right above `sibling`, another window the window manager manages, and
// leaves the keyboard where it is. A plain raise would not: some window managers (xfwm4) take an
// application raising one of its windows for asking to give it the keyboard.
void requestRaiseAbove(WindowId window, WindowId sibling);

// While one lives, the server serves this app alone, so whatever the app changes meanwhile
// reaches the screen in one piece; released when the outermost one goes, on every road out.
class ServerHold {
public:
    ServerHold();
    ~ServerHold();
    ServerHold(const ServerHold&) = delete;
    ServerHold& operator=(const ServerHold&) = delete;
    // How many holds are alive now, nested ones included.
    static int depth();

private:
    bool held_ = false;
};

// Changes made to a window that is not ours (the window manager's frame around one of ours),
// each recorded as it is first made and put back exactly by undo(): the opacity a compositor
// reads, present or absent, and the frame's shapes, or its having none. What another client (the
// window manager) changed again since is its own and stays. Undone when it goes.
class FrameChanges {
public:
    enum class ShapeKind : std::uint8_t { bounding = 0, input = 2 };

    explicit FrameChanges(WindowId frame = noWindow) : frame_(frame) {}
    ~FrameChanges() { undo(); }
    FrameChanges(FrameChanges&& other) noexcept;
    FrameChanges& operator=(FrameChanges&& other) noexcept;
    FrameChanges(const FrameChanges&) = delete;
    FrameChanges& operator=(const FrameChanges&) = delete;

    WindowId frame() const { return frame_; }
    // Whether anything is left to undo.
    bool isEmpty() const { return !opacity_ && !bounding_ && !input_; }

    // _NET_WM_WINDOW_OPACITY; 0 is fully transparent, 0xFFFFFFFF opaque.
    void setOpacity(std::uint32_t opacity);
    // The shape of one kind, in the frame's coordinates; an empty region shows nothing.
    void setShape(ShapeKind kind, const QRegion& region);
    void undo();

    // What the server says the frame's shape is now; none when unshaped (or the frame is gone).
    static std::optional<QRegion> shapeOf(WindowId window, ShapeKind kind);
    // The frame's opacity property now; none when absent.
    static std::optional<std::uint32_t> opacityOf(WindowId window);

private:
    struct OpacityRecord {
        std::optional<std::uint32_t> before;
        std::uint32_t set = 0;
    };
    struct ShapeRecord {
        std::optional<QRegion> before;
        QRegion set;
    };
    void undoShape(ShapeKind kind, std::optional<ShapeRecord>& record);

    WindowId frame_ = noWindow;
    std::optional<OpacityRecord> opacity_;
    std::optional<ShapeRecord> bounding_;
    std::optional<ShapeRecord> input_;
};
} // namespace X11
