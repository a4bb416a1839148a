#include "ui/X11.h"

#include <QAbstractNativeEventFilter>
#include <QDeadlineTimer>
#include <QTest>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

using X11::FrameChanges;
using ShapeKind = X11::FrameChanges::ShapeKind;

namespace {
// A second client of the same server, as another program (the window manager, a pager) is.
class OtherClient {
public:
    OtherClient() : connection_(xcb_connect(nullptr, nullptr)) {}
    ~OtherClient() { xcb_disconnect(connection_); }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    bool isConnected() const { return !xcb_connection_has_error(connection_); }
    xcb_connection_t* connection() const { return connection_; }

    // Hears what is sent to the window manager: requests about windows go to the root.
    void listenToRoot() {
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, X11::root(), XCB_CW_EVENT_MASK, &mask);
        roundTrip();
    }

    // The next client message of `type` that reaches this client; none within the guard.
    std::optional<xcb_client_message_event_t> nextMessage(X11::AtomId type) {
        const QDeadlineTimer guard(10000);
        while (!guard.hasExpired()) {
            std::unique_ptr<xcb_generic_event_t, X11::FreeReply> event(
                xcb_poll_for_event(connection_));
            if (!event) {
                QTest::qWait(5);
                continue;
            }
            if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE)
                continue;
            const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event.get());
            if (message->type == type)
                return *message;
        }
        return std::nullopt;
    }

    // A window of this client's own, as a window manager's frame is: unmapped, so nobody else
    // changes it.
    X11::WindowId createWindow() {
        const xcb_window_t window = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, X11::root(), 100, 100, 240,
                          160, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        roundTrip();
        return window;
    }

    void destroyWindow(X11::WindowId window) {
        xcb_destroy_window(connection_, window);
        roundTrip();
    }

    void setOpacity(X11::WindowId window, std::uint32_t value) {
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window,
                            X11::atom("_NET_WM_WINDOW_OPACITY"), XCB_ATOM_CARDINAL, 32, 1, &value);
        roundTrip();
    }

    void setShape(X11::WindowId window, ShapeKind kind, const std::vector<xcb_rectangle_t>& rects) {
        xcb_shape_rectangles(connection_, XCB_SHAPE_SO_SET, xcb_shape_kind_t(kind),
                             XCB_CLIP_ORDERING_UNSORTED, window, 0, 0, uint32_t(rects.size()),
                             rects.data());
        roundTrip();
    }

    void unshape(X11::WindowId window) {
        xcb_shape_mask(connection_, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, window, 0, 0,
                       XCB_PIXMAP_NONE);
        roundTrip();
    }

    // Returns once the server has handled every request this client sent before.
    void roundTrip() {
        std::free(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

private:
    xcb_connection_t* connection_;
};

// A window of this process on the screen inside its window manager's frame.
struct FramedWindow {
    FramedWindow() {
        window.setGeometry(200, 200, 240, 160);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window, 10000))
            return;
        if (QTest::qWaitFor([&] { return X11::frameOf(X11::idOf(&window)) != X11::noWindow; },
                            10000))
            frame = X11::frameOf(X11::idOf(&window));
    }
    QWidget window;
    X11::WindowId frame = X11::noWindow;
};

// Counts the changes of one property of one window as Qt hands the server's events on.
class PropertyWatch : public QAbstractNativeEventFilter {
public:
    PropertyWatch(X11::WindowId window, X11::AtomId property)
        : window_(window), property_(property) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~PropertyWatch() override { QCoreApplication::instance()->removeNativeEventFilter(this); }
    PropertyWatch(const PropertyWatch&) = delete;
    PropertyWatch& operator=(const PropertyWatch&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType == "xcb_generic_event_t" &&
            X11::isPropertyChange(message, window_, property_))
            ++changes;
        return false;
    }
    std::uint32_t changes = 0;

private:
    X11::WindowId window_;
    X11::AtomId property_;
};

bool isBoundingShaped(X11::WindowId window) {
    const auto extents = X11::ask(xcb_shape_query_extents, xcb_shape_query_extents_reply, window);
    return extents && extents->bounding_shaped;
}
} // namespace

class X11Test : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (!X11::connection())
            QSKIP("needs an X server with a window manager");
    }

    void atomsAndTheRootAreTheServersOwn() {
        const X11::AtomId state = X11::atom("_NET_WM_STATE");
        QVERIFY(state != X11::noAtom);
        QCOMPARE(X11::atom("_NET_WM_STATE"), state);
        const auto named = X11::ask(xcb_get_atom_name, xcb_get_atom_name_reply, state);
        QVERIFY(named);
        QCOMPARE(QByteArray(xcb_get_atom_name_name(named.get()),
                            xcb_get_atom_name_name_length(named.get())),
                 QByteArray("_NET_WM_STATE"));
        // Only asked about, an atom nobody made stays unmade.
        QCOMPARE(X11::existingAtom("_KIPPETS_NEVER_INTERNED_BY_ANYONE"), X11::noAtom);

        const X11::WindowId root = X11::root();
        QVERIFY(root != X11::noWindow);
        const auto tree = X11::ask(xcb_query_tree, xcb_query_tree_reply, root);
        QVERIFY(tree);
        QCOMPARE(tree->root, root);
    }

    void aReplyCarriesTheServersError() {
        const auto geometry = X11::ask(xcb_get_geometry, xcb_get_geometry_reply, X11::WindowId(1));
        QVERIFY(!geometry);
        QCOMPARE(geometry.errorCode(), std::uint8_t(XCB_DRAWABLE));
    }

    void theFrameIsTheAncestorOnTheRoot() {
        FramedWindow shown;
        QVERIFY(shown.frame != X11::noWindow);
        const auto tree = X11::ask(xcb_query_tree, xcb_query_tree_reply, shown.frame);
        QVERIFY(tree);
        QCOMPARE(tree->parent, X11::root());
        // The window lies somewhere inside it.
        X11::WindowId ancestor = X11::idOf(&shown.window);
        while (ancestor != shown.frame && ancestor != X11::root()) {
            const auto up = X11::ask(xcb_query_tree, xcb_query_tree_reply, ancestor);
            QVERIFY(up);
            ancestor = up->parent;
        }
        QCOMPARE(ancestor, shown.frame);
        // A frame stands on the root itself.
        QCOMPARE(X11::frameOf(shown.frame), X11::noWindow);
    }

    void anOpacityIsPutBackAsItWas() {
        OtherClient other;
        QVERIFY(other.isConnected());
        const struct { X11::WindowId frame; } shown{other.createWindow()};

        // Absent before: absent again.
        QCOMPARE(FrameChanges::opacityOf(shown.frame), std::nullopt);
        {
            FrameChanges changes(shown.frame);
            changes.setOpacity(0);
            changes.setOpacity(0x10000000u);
            QCOMPARE(FrameChanges::opacityOf(shown.frame),
                     std::optional<std::uint32_t>(0x10000000u));
            changes.undo();
            QCOMPARE(FrameChanges::opacityOf(shown.frame), std::nullopt);
        }

        // Present before: its value again, also when the changes just go out of scope.
        other.setOpacity(shown.frame, 0x80000000u);
        {
            FrameChanges changes(shown.frame);
            changes.setOpacity(0);
            QCOMPARE(FrameChanges::opacityOf(shown.frame), std::optional<std::uint32_t>(0u));
        }
        QCOMPARE(FrameChanges::opacityOf(shown.frame), std::optional<std::uint32_t>(0x80000000u));

        // Set again by another client meanwhile: that value is newer and stays.
        FrameChanges changes(shown.frame);
        changes.setOpacity(0);
        X11::flush();
        other.setOpacity(shown.frame, 0x40000000u);
        changes.undo();
        QCOMPARE(FrameChanges::opacityOf(shown.frame), std::optional<std::uint32_t>(0x40000000u));
        QVERIFY(changes.isEmpty());
    }

    void aShapeIsPutBackAsItWas() {
        OtherClient other;
        QVERIFY(other.isConnected());
        const struct { X11::WindowId frame; } shown{other.createWindow()};

        // An unshaped frame is unshaped again, not shaped to its size of the moment.
        other.setShape(shown.frame, ShapeKind::bounding, {});
        other.unshape(shown.frame);
        QVERIFY(!isBoundingShaped(shown.frame));
        QCOMPARE(FrameChanges::shapeOf(shown.frame, ShapeKind::input), std::nullopt);
        {
            FrameChanges changes(shown.frame);
            changes.setShape(ShapeKind::bounding, QRegion());
            QVERIFY(isBoundingShaped(shown.frame));
            QCOMPARE(FrameChanges::shapeOf(shown.frame, ShapeKind::bounding),
                     std::optional<QRegion>(QRegion()));
            changes.undo();
            QVERIFY(!isBoundingShaped(shown.frame));
        }

        // A shaped one gets its own rectangles back, bounding and input alike.
        other.setShape(shown.frame, ShapeKind::bounding, {{0, 0, 100, 50}, {10, 50, 80, 20}});
        other.setShape(shown.frame, ShapeKind::input, {{5, 5, 40, 40}});
        const QRegion bounding = QRegion(0, 0, 100, 50) + QRegion(10, 50, 80, 20);
        const QRegion input(5, 5, 40, 40);
        QCOMPARE(FrameChanges::shapeOf(shown.frame, ShapeKind::bounding),
                 std::optional<QRegion>(bounding));
        QCOMPARE(FrameChanges::shapeOf(shown.frame, ShapeKind::input),
                 std::optional<QRegion>(input));
        {
            FrameChanges changes(shown.frame);
            changes.setShape(ShapeKind::bounding, QRegion());
            changes.setShape(ShapeKind::input, QRegion(0, 0, 1, 1));
            QCOMPARE(FrameChanges::shapeOf(shown.frame, ShapeKind::input),
                     std::optional<QRegion>(QRegion(0, 0, 1, 1)));
        }
        QCOMPARE(FrameChanges::shapeOf(shown.frame, ShapeKind::bounding),
                 std::optional<QRegion>(bounding));
        QCOMPARE(FrameChanges::shapeOf(shown.frame, ShapeKind::input),
                 std::optional<QRegion>(input));

        // The window manager shaping its frame anew meanwhile (its window changed shape) wins.
        FrameChanges changes(shown.frame);
        changes.setShape(ShapeKind::bounding, QRegion());
        X11::flush();
        other.setShape(shown.frame, ShapeKind::bounding, {{0, 0, 60, 60}});
        changes.undo();
        QCOMPARE(FrameChanges::shapeOf(shown.frame, ShapeKind::bounding),
                 std::optional<QRegion>(QRegion(0, 0, 60, 60)));
    }

    void undoingChangesToAFrameThatWentLeavesTheConnectionWorking() {
        OtherClient other;
        QVERIFY(other.isConnected());
        const X11::WindowId frame = other.createWindow();
        auto changes = std::make_unique<FrameChanges>(frame);
        changes->setOpacity(0);
        changes->setShape(ShapeKind::bounding, QRegion());
        QVERIFY(!changes->isEmpty());
        other.destroyWindow(frame);
        QCOMPARE(X11::ask(xcb_get_geometry, xcb_get_geometry_reply, frame).errorCode(),
                 std::uint8_t(XCB_DRAWABLE));
        changes->undo();
        QVERIFY(changes->isEmpty());
        // The connection lives on: its next request is answered.
        QVERIFY(X11::ask(xcb_get_input_focus, xcb_get_input_focus_reply));
    }

    void requestsToTheWindowManagerAreWhatEwmhAsks() {
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window, 10000));
        const X11::WindowId id = X11::idOf(&window);
        OtherClient pager;
        QVERIFY(pager.isConnected());
        pager.listenToRoot();

        X11::requestDesktop(id, X11::everyDesktop);
        auto message = pager.nextMessage(X11::atom("_NET_WM_DESKTOP"));
        QVERIFY(message);
        QCOMPARE(message->format, std::uint8_t(32));
        QCOMPARE(message->window, id);
        QCOMPARE(message->data.data32[0], 0xFFFFFFFFu);
        // From an ordinary application.
        QCOMPARE(message->data.data32[1], 1u);
        // The window manager took it.
        QVERIFY(QTest::qWaitFor(
            [&] {
                const auto desktop =
                    X11::property32(id, X11::atom("_NET_WM_DESKTOP"), X11::cardinalType());
                return desktop && desktop->size() == 1 && desktop->front() == 0xFFFFFFFFu;
            },
            10000));

        const X11::AtomId skipTaskbar = X11::atom("_NET_WM_STATE_SKIP_TASKBAR");
        const X11::AtomId skipPager = X11::atom("_NET_WM_STATE_SKIP_PAGER");
        X11::requestState(id, true, skipTaskbar, skipPager);
        message = pager.nextMessage(X11::atom("_NET_WM_STATE"));
        QVERIFY(message);
        QCOMPARE(message->window, id);
        const std::vector<std::uint32_t> added(message->data.data32, message->data.data32 + 5);
        QCOMPARE(added, (std::vector<std::uint32_t>{1, skipTaskbar, skipPager, 1, 0}));
        X11::requestState(id, false, skipPager);
        message = pager.nextMessage(X11::atom("_NET_WM_STATE"));
        QVERIFY(message);
        const std::vector<std::uint32_t> removed(message->data.data32, message->data.data32 + 5);
        QCOMPARE(removed, (std::vector<std::uint32_t>{0, skipPager, 0, 1, 0}));
        QVERIFY(QTest::qWaitFor(
            [&] {
                const auto states = X11::property32(id, X11::atom("_NET_WM_STATE"), X11::atomType())
                                        .value_or(std::vector<std::uint32_t>{});
                return std::find(states.begin(), states.end(), skipTaskbar) != states.end() &&
                       std::find(states.begin(), states.end(), skipPager) == states.end();
            },
            10000));
    }

    // What another client did a moment ago (a window manager's move, just before a signal to
    // quit) is handled by the app once it has caught up, with no wait of its own.
    void catchingUpHandlesWhatTheServerSentBefore() {
        FramedWindow shown;
        QVERIFY(shown.frame != X11::noWindow);
        const X11::WindowId window = X11::idOf(&shown.window);
        const X11::AtomId mark = X11::atom("_KIPPETS_TEST_MARK");
        PropertyWatch watch(window, mark);
        OtherClient other;
        QVERIFY(other.isConnected());
        for (std::uint32_t round = 1; round <= 20; ++round) {
            xcb_change_property(other.connection(), XCB_PROP_MODE_REPLACE, window, mark,
                                XCB_ATOM_CARDINAL, 32, 1, &round);
            other.roundTrip();
            QVERIFY(X11::catchUp(std::chrono::seconds(20)));
            QCOMPARE(watch.changes, round);
        }
    }

    void theServerIsHeldTillTheOutermostHoldGoesHoweverItEnds() {
        OtherClient other;
        QVERIFY(other.isConnected());
        xcb_get_input_focus_cookie_t asked{};
        try {
            const X11::ServerHold outer;
            {
                const X11::ServerHold inner;
                QCOMPARE(X11::ServerHold::depth(), 2);
            }
            QCOMPARE(X11::ServerHold::depth(), 1);
            // Once the server has taken the hold, another client's request waits; this app is
            // still served.
            QVERIFY(X11::ask(xcb_get_input_focus, xcb_get_input_focus_reply));
            asked = xcb_get_input_focus(other.connection());
            xcb_flush(other.connection());
            QVERIFY(X11::ask(xcb_get_input_focus, xcb_get_input_focus_reply));
            QVERIFY(X11::ask(xcb_get_input_focus, xcb_get_input_focus_reply));
            void* answer = nullptr;
            xcb_generic_error_t* error = nullptr;
            QCOMPARE(xcb_poll_for_reply(other.connection(), asked.sequence, &answer, &error), 0);
            throw std::runtime_error("steps that fail");
        } catch (const std::runtime_error&) {
        }
        QCOMPARE(X11::ServerHold::depth(), 0);
        std::unique_ptr<xcb_get_input_focus_reply_t, X11::FreeReply> answer(
            xcb_get_input_focus_reply(other.connection(), asked, nullptr));
        QVERIFY(answer);
    }
};

QTEST_MAIN(X11Test)
#include "X11Test.moc"
