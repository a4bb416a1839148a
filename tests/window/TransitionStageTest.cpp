#include "ui/TransitionStage.h"
#include "app/AppMenus.h"
#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "platform/Animations.h"
#include "platform/Clock.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "ui/CompositorCheck.h"
#include "ui/X11.h"
#include "window/FloatingKippetWindow.h"
#include "window/PanelDriver.h"
#include "window/PanelTransition.h"

#include <QAbstractEventDispatcher>
#include <QBackingStore>
#include <QDeadlineTimer>
#include <QDebug>
#include <QMoveEvent>
#include <QPaintEvent>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QTest>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <stdexcept>
#include <utility>
#include <xcb/xcb.h>

using namespace PanelDriver;
using namespace std::chrono_literals;

namespace {
// Animations on for one test: the harness switches them off.
struct AnimationsOn {
    AnimationsOn() { Animations::setEnabled(true); }
    ~AnimationsOn() { Animations::setEnabled(false); }
};

TransitionStage* stageOf(const FloatingKippetWindow* window) {
    const auto* transition = window->findChild<PanelTransition*>();
    return transition ? transition->stage() : nullptr;
}

bool stageShows(const FloatingKippetWindow* window) {
    const TransitionStage* stage = stageOf(window);
    return stage && stage->isShowing();
}

// Lets the test clock run a frame at a time, the server's events in between, until `done`.
bool framesUntil(const std::function<bool()>& done) {
    const QDeadlineTimer guard(20000);
    while (!done()) {
        if (guard.hasExpired())
            return false;
        testClock().advance(16ms);
        QTest::qWait(2);
    }
    return true;
}

// A panel the server has on the screen, ready to change its mode with a transition; none when
// the server never put it there.
FloatingKippetWindow* shownPanel(AppHarness& app, Kippet* kippet) {
    FloatingKippetWindow* window = showActive(app, kippet);
    if (!window || !QTest::qWaitFor([&] { return window->testAttribute(Qt::WA_Mapped); }, 20000))
        return nullptr;
    return window;
}

// Three tiles one above the other, each on the screen with its stage standing by; none when
// one of them never got there.
QList<FloatingKippetWindow*> threeTilesStandingBy(AppHarness& app, const QString& name) {
    QList<FloatingKippetWindow*> panels;
    for (const QPointF place : {QPointF(200, 50), QPointF(200, 300), QPointF(200, 550)}) {
        FloatingKippetWindow* panel = shownPanel(
            app, app.addKippet(QStringLiteral("%1 %2").arg(name).arg(panels.size()), place));
        if (!panel)
            return {};
        panels.append(panel);
    }
    const bool standBy = QTest::qWaitFor(
        [&] {
            return std::all_of(panels.cbegin(), panels.cend(),
                               [](const FloatingKippetWindow* panel) { return stageOf(panel); });
        },
        20000);
    return standBy ? panels : QList<FloatingKippetWindow*>();
}

// Starts an expand; true once the stage shows it, and when asked, once the stage shows the
// panel on its way while the panel itself keeps out of sight.
bool expandUnderWay(FloatingKippetWindow* window, bool midWay = false) {
    window->toggleExpanded();
    return framesUntil([&] {
        return stageShows(window) &&
               (!midWay || (window->isAnimating() &&
                            !window->rect().intersects(window->contentView()->geometry())));
    });
}

void addStagesOfTheWay() {
    QTest::addColumn<bool>("midWay");
    QTest::newRow("as the stage opens") << false;
    QTest::newRow("mid-way") << true;
}

// Runs all that could still bring a panel's stage back once its transition has ended, and says
// whether the stage showed meanwhile: what the app had pending, through a paint of the panel asked
// for now where it shows, and the clock past the longest a transition waits for its stage and
// moves, a frame at a time with the server's events in between.
bool stageStaysAway(const QPointer<FloatingKippetWindow>& window) {
    class Painted : public QObject {
    public:
        bool seen = false;

    protected:
        bool eventFilter(QObject*, QEvent* event) override {
            seen = seen || event->type() == QEvent::Paint;
            return false;
        }
    } painted;
    bool caughtUp = false;
    QMetaObject::invokeMethod(
        &painted, [&caughtUp] { caughtUp = true; }, Qt::QueuedConnection);
    const bool shown = window && window->isVisible();
    if (shown) {
        window->installEventFilter(&painted);
        window->update();
    }
    QPointer<TransitionStage> stage = window ? stageOf(window) : nullptr;
    const auto stageShows = [&] { return stage && stage->isShowing(); };
    // Longer than a transition waits for its stage and runs together.
    constexpr auto span = 2000ms;
    std::chrono::milliseconds run{0};
    const bool rested = framesUntil([&] {
        if (stageShows())
            return true;
        run += 16ms;
        return caughtUp && (!shown || !window || painted.seen) && run > span;
    });
    return rested && !stageShows();
}

// A panel at rest: no stage, its content in its own frame, painting as ever.
void verifyAtRest(const FloatingKippetWindow* window) {
    QVERIFY(!window->isAnimating());
    QVERIFY(!stageShows(window));
    QVERIFY(window->updatesEnabled());
    QCOMPARE(window->contentView()->geometry(), window->rect());
}

// Whether another program gets an answer from the server: none while it is held for this
// process.
bool serverAnswersOthers() {
    QProcess other;
    other.start(QStringLiteral("xprop"),
                {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTED")});
    if (other.waitForFinished(10000))
        return other.exitStatus() == QProcess::NormalExit && other.exitCode() == 0;
    other.kill();
    other.waitForFinished();
    return false;
}
// A compositor as the app sees one, installed for one test: what the app sends the server for
// it is read back, nothing is drawn.
struct Composited : CompositorCheck {
    Composited() { CompositorCheck::install(this); }
    ~Composited() override { CompositorCheck::install(nullptr); }
    bool isCompositing() const override { return true; }
};

// The opacity a compositor reads on the window manager's frame around `window`; none when unset.
std::optional<std::uint32_t> frameOpacity(const QWidget* window) {
    xcb_connection_t* connection = X11::connection();
    const auto id = static_cast<xcb_window_t>(window->winId());
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(connection, xcb_query_tree(connection, id), nullptr);
    const xcb_window_t frame = tree ? tree->parent : XCB_WINDOW_NONE;
    free(tree);
    const char name[] = "_NET_WM_WINDOW_OPACITY";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr);
    const xcb_atom_t opacity = atom ? atom->atom : XCB_ATOM_NONE;
    free(atom);
    xcb_get_property_reply_t* property = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, frame, opacity, XCB_ATOM_CARDINAL, 0, 1),
        nullptr);
    std::optional<std::uint32_t> value;
    if (property && xcb_get_property_value_length(property) == 4)
        value = *static_cast<const std::uint32_t*>(xcb_get_property_value(property));
    free(property);
    return value;
}

// Which window painted, in which pass of the event loop, as a compositor hears of it: the panel
// leaving the screen is the paint in which its content first lies beside it. The stage shows the
// panel at the size its content is laid out at, from the bottom-left corner that stays.
class PaintOrder : public QObject {
public:
    explicit PaintOrder(FloatingKippetWindow* panel) : panel_(panel) {
        panel->installEventFilter(this);
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, this,
                [this] { ++pass_; });
    }
    void watch(TransitionStage* stage) { stage->installEventFilter(this); }
    bool panelLeft() const { return left_.has_value(); }
    // Whether, in the pass the panel left the screen, the stage painted its frame just before.
    bool stageWentFirst() const {
        return left_ && *left_ > 0 && paints_.at(*left_ - 1).stage &&
               paints_.at(*left_ - 1).pass == paints_.at(*left_).pass;
    }
    // The stage's frames after the panel left that reach beyond the place the panel left: a
    // compositor repainting that place late would show them cut to it.
    QStringList framesBeyondThePanel() const {
        QStringList beyond;
        for (qsizetype i = left_.value_or(paints_.size()); i < paints_.size(); ++i) {
            const Paint& paint = paints_.at(i);
            if (paint.stage &&
                (paint.size.width() > place_.width() || paint.size.height() > place_.height()))
                beyond.append(QDebug::toString(paint.size));
        }
        return beyond;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint)
            return false;
        const auto* stage = qobject_cast<const TransitionStage*>(watched);
        // Between changes the stage stands by, and paints nothing of the panel.
        if (stage && !stage->isShowing())
            return false;
        if (!stage && !left_ && !panel_->rect().intersects(panel_->contentView()->geometry())) {
            left_ = paints_.size();
            place_ = panel_->geometry();
        }
        paints_.append({stage != nullptr, pass_, panel_->contentView()->size()});
        return false;
    }

private:
    struct Paint {
        bool stage;
        int pass;
        QSize size;
    };
    FloatingKippetWindow* panel_;
    QList<Paint> paints_;
    std::optional<qsizetype> left_;
    QRect place_;
    int pass_ = 0;
};

// What the stage showed since it last opened, and whether the panel left the screen for it (its
// content moved beside it) before the stage had shown that opening's picture.
class StageWatch : public QObject {
public:
    StageWatch(FloatingKippetWindow* panel, TransitionStage* stage) : panel_(panel), stage_(stage) {
        stage->installEventFilter(this);
        panel->contentView()->installEventFilter(this);
    }
    // Runs once, at the stage's first paint, before the stage itself paints.
    std::function<void()> atFirstPaint;
    bool leftBeforeTheStageShowed() const { return leftUnseen_; }
    int leavings() const { return leavings_; }
    // Where the stage's frames stood, each once.
    const QList<QRect>& places() const { return places_; }
    // The sizes the panel's content was laid out at for the stage's frames, each once.
    const QList<QSize>& layouts() const { return layouts_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (auto* stage = qobject_cast<TransitionStage*>(watched)) {
            // Between openings the stage stands by, showing nothing.
            if (event->type() == QEvent::Paint && stage->isShowing()) {
                const QRect place = stage->mask().boundingRect().translated(stage->pos());
                if (!places_.contains(place))
                    places_.append(place);
                const QRect content = panel_->contentView()->geometry();
                if (!panel_->rect().intersects(content) && !layouts_.contains(content.size()))
                    layouts_.append(content.size());
                if (atFirstPaint)
                    std::exchange(atFirstPaint, {})();
            }
        } else if (event->type() == QEvent::Move &&
                   !panel_->rect().intersects(panel_->contentView()->geometry()) && !beside_) {
            beside_ = true;
            ++leavings_;
            leftUnseen_ = leftUnseen_ || !stage_->isReady();
        } else if (event->type() == QEvent::Move) {
            beside_ = !panel_->rect().intersects(panel_->contentView()->geometry());
        }
        return false;
    }

private:
    FloatingKippetWindow* panel_;
    TransitionStage* stage_;
    int leavings_ = 0;
    bool beside_ = false;
    bool leftUnseen_ = false;
    QList<QRect> places_;
    QList<QSize> layouts_;
};

// The paints of two stages, each with the pass of the event loop it came in, whether the server
// was held for it, whether it took in the whole stage, and whether the other stage showed then.
class StagePaints : public QObject {
public:
    StagePaints(TransitionStage* first, TransitionStage* second) : stages_{first, second} {
        first->installEventFilter(this);
        second->installEventFilter(this);
        connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, this,
                [this] { ++pass_; });
    }
    // Each frame one stage showed while the other showed a change too, in a pass in which the
    // other was not painted whole.
    QStringList framesBesideAStaleStage() const {
        QStringList stale;
        for (const Paint& paint : paints_) {
            if (!paint.held || !paint.otherShows)
                continue;
            const bool otherPainted =
                std::any_of(paints_.cbegin(), paints_.cend(), [&](const Paint& other) {
                    return other.stage != paint.stage && other.pass == paint.pass && other.whole;
                });
            if (!otherPainted)
                stale.append(
                    QStringLiteral("stage %1 in pass %2").arg(paint.stage).arg(paint.pass));
        }
        return stale;
    }
    // Each time one stage came over its panel while the other showed a change, in a pass in which
    // the other was not painted whole.
    QStringList comingOverBesideAStaleStage() const {
        QStringList stale;
        for (const auto& [stage, pass] : comings_) {
            const bool otherPainted =
                std::any_of(paints_.cbegin(), paints_.cend(), [&](const Paint& other) {
                    return other.stage != stage && other.pass == pass && other.whole;
                });
            if (!otherPainted)
                stale.append(QStringLiteral("stage %1 in pass %2").arg(stage).arg(pass));
        }
        return stale;
    }
    // How often one stage came over its panel while the other showed a change.
    int comings() const { return int(comings_.size()); }
    // The frames shown while both stages showed a change.
    int framesSideBySide() const {
        return int(std::count_if(paints_.cbegin(), paints_.cend(), [](const Paint& paint) {
            return paint.held && paint.otherShows;
        }));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const int stage = watched == stages_[0] ? 0 : 1;
        // A stage stands by far beyond the screen's top-left corner.
        constexpr int standingBy = -10000;
        if (event->type() == QEvent::Move) {
            const auto* move = static_cast<const QMoveEvent*>(event);
            if (move->oldPos().x() < standingBy && move->pos().x() > standingBy &&
                stages_[1 - stage]->isShowing())
                comings_.append({stage, pass_});
            return false;
        }
        if (event->type() != QEvent::Paint)
            return false;
        // Between changes a stage stands by and shows nothing.
        if (!stages_[stage]->isShowing())
            return false;
        const auto* paint = static_cast<const QPaintEvent*>(event);
        paints_.append({stage, pass_, X11::ServerHold::depth() > 0,
                        paint->region().contains(stages_[stage]->rect()),
                        stages_[1 - stage]->isShowing()});
        return false;
    }

private:
    struct Paint {
        int stage;
        int pass;
        bool held;
        bool whole;
        bool otherShows;
    };
    std::array<TransitionStage*, 2> stages_;
    QList<Paint> paints_;
    QList<std::pair<int, int>> comings_;
    int pass_ = 0;
};

// Whether some client holds the pointer grabbed: another client's grab is then refused.
bool pointerGrabbed() {
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(other)) {
        xcb_disconnect(other);
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    xcb_grab_pointer_reply_t* reply = xcb_grab_pointer_reply(
        other,
        xcb_grab_pointer(other, 0, root, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE,
                         XCB_NONE, XCB_CURRENT_TIME),
        nullptr);
    const bool grabbed = reply && reply->status == XCB_GRAB_STATUS_ALREADY_GRABBED;
    free(reply);
    xcb_ungrab_pointer(other, XCB_CURRENT_TIME);
    xcb_flush(other);
    xcb_disconnect(other);
    return grabbed;
}

// A point on the picture the stage shows, in the stage's coordinates.
QPoint onThePicture(const TransitionStage* stage) {
    return stage->mask().boundingRect().center();
}
} // namespace

// A panel's transition on a real X server ends with every road that takes the panel off the
// screen, and leaves neither its stage nor a held server behind.
class TransitionStageTest : public QObject {
    Q_OBJECT
private slots:
    void hidingAllWindowsEndsATransitionForGood_data() { addStagesOfTheWay(); }
    void hidingAllWindowsEndsATransitionForGood() {
        QFETCH(bool, midWay);
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Hidden"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        QVERIFY(TransitionStage::isAvailable());
        AppMenus menus;
        QVERIFY(expandUnderWay(window, midWay));

        menus.hideApplication();
        QVERIFY(!window->isVisible());
        QVERIFY(!stageShows(window));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(kippet->isExpanded());
        QCOMPARE(window->frame().size(), QSizeF(600, 500));

        // Shown again, the panel comes back alone, at its new frame and with all it holds.
        QVERIFY(menus.unhideApplication());
        QVERIFY(window->isVisible());
        QVERIFY(!stageShows(window));
        QVERIFY(QTest::qWaitFor([&] { return window->testAttribute(Qt::WA_Mapped); }, 10000));
        QVERIFY(stageStaysAway(window));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(window->frame().size(), QSizeF(600, 500));
    }

    void tuckingAPanelUnderWayEndsItsTransition_data() { addStagesOfTheWay(); }
    void tuckingAPanelUnderWayEndsItsTransition() {
        QFETCH(bool, midWay);
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Tucked"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        QVERIFY(expandUnderWay(window, midWay));

        app.registry().tuckSingleKippet(kippet);
        QVERIFY(kippet->isTucked());
        QVERIFY(!window->isVisible());
        QVERIFY(!stageShows(window));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;

        app.registry().untuckSingleKippet(kippet);
        QVERIFY(window->isVisible());
        QVERIFY(stageStaysAway(window));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;
    }

    // A compositor fades a window in as it maps and out as it unmaps, and may paint a window that
    // has just mapped late: the stage stays mapped, the same window, for as long as its panel
    // shows, and shows nothing between changes.
    void theStageStaysMappedBetweenChanges() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Mapped"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        QPointer<TransitionStage> stage;
        int unmaps = 0;
        for (int change = 0; change < 3; ++change) {
            QVERIFY(expandUnderWay(window));
            if (!stage) {
                stage = stageOf(window);
                QVERIFY(stage);
            }
            QCOMPARE(stageOf(window), stage.data());
            QVERIFY(framesUntil([&] {
                // Mapped as the first change began.
                unmaps += change == 0 || stage->testAttribute(Qt::WA_Mapped) ? 0 : 1;
                return !window->isAnimating() && !stageShows(window);
            }));
            QVERIFY(stage->isVisible());
            QVERIFY(!stage->isShowing());
            QVERIFY(!stage->geometry().intersects(window->screen()->virtualGeometry()));
        }
        QCOMPARE(unmaps, 0);
        QVERIFY(stage->testAttribute(Qt::WA_Mapped));
        // It goes with its panel.
        window->hide();
        QVERIFY(!stage->isVisible());
    }

    // The stage stands by from the moment its panel shows, and costs the panel's own widgets
    // nothing: none of them gets a window of its own on the server, which would take the presses
    // Qt gives to the widgets beneath it (a right click on an item card opened the panel's menu).
    void aStageStandingByLeavesThePanelsWidgetsTheirPresses() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Standing by"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         const TransitionStage* stage = stageOf(window);
                         return stage && stage->testAttribute(Qt::WA_Mapped);
                     },
                     20000),
                 "the stage was not mapped as the panel showed");
        QVERIFY(!stageOf(window)->isShowing());
        QVERIFY(!stageOf(window)->geometry().intersects(window->screen()->virtualGeometry()));
        const QList<QWidget*> widgets = window->findChildren<QWidget*>();
        for (const QWidget* widget : widgets) {
            QVERIFY2(widget->isWindow() || !widget->internalWinId(),
                     qPrintable(QStringLiteral("a %1 has a window of its own")
                                    .arg(QString::fromLatin1(widget->metaObject()->className()))));
        }
    }

    // A compositor that is behind shows the stage where it last heard it stood, with whatever
    // its pixels hold by the time it paints: they hold a picture of the panel whenever the stage
    // moves over the panel, and still as it has left it, never the nothing it stands by with.
    void theStagesPixelsAlwaysHoldThePanel() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        const Composited composited;
        Kippet* kippet = app.addKippet(QStringLiteral("Pixels"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        const QRect screen = window->screen()->virtualGeometry();
        // Whether the stage's pixels show anything at all.
        const auto holdsAPicture = [](const TransitionStage* stage) {
            const auto* pixels = stage->backingStore()
                                     ? dynamic_cast<QImage*>(stage->backingStore()->paintDevice())
                                     : nullptr;
            if (!pixels || pixels->isNull())
                return false;
            for (int y = 0; y < pixels->height(); y += 4) {
                for (int x = 0; x < pixels->width(); x += 4) {
                    if (qAlpha(pixels->pixel(x, y)) > 0)
                        return true;
                }
            }
            return false;
        };
        struct MoveWatch : QObject {
            std::function<void(const QMoveEvent&)> moved;
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() == QEvent::Move)
                    moved(*static_cast<QMoveEvent*>(event));
                return false;
            }
        } watch;
        int overThePanel = 0;
        int emptyOver = 0;
        TransitionStage* stage = nullptr;
        watch.moved = [&](const QMoveEvent& move) {
            if (!screen.contains(move.pos()))
                return;
            ++overThePanel;
            emptyOver += holdsAPicture(stage) ? 0 : 1;
        };
        for (int change = 0; change < 3; ++change) {
            window->toggleExpanded();
            if (!stage) {
                stage = stageOf(window);
                QVERIFY(stage);
                stage->installEventFilter(&watch);
            }
            QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
            // Once the app has painted what it had posted, the stage, beyond the screen, still
            // holds the last frame.
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents();
            QVERIFY(!stage->geometry().intersects(screen));
            QVERIFY2(holdsAPicture(stage), qPrintable(QStringLiteral("change %1").arg(change)));
        }
        QCOMPARE(overThePanel, 3);
        QCOMPARE(emptyOver, 0);
    }

    void closingAPanelUnderWayTakesItsStage_data() { addStagesOfTheWay(); }
    void closingAPanelUnderWayTakesItsStage() {
        QFETCH(bool, midWay);
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Closed"), {200, 200});
        QPointer<FloatingKippetWindow> window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        QVERIFY(expandUnderWay(window, midWay));
        const QPointer<TransitionStage> stage = stageOf(window);

        app.registry().closeWindow(kippet);
        QVERIFY(!stage || !stage->isVisible());
        QVERIFY(stageStaysAway(window));
        QVERIFY(!stage || !stage->isVisible());
    }

    // Another change of mode, or the same key again, ends the transition under way: the stage
    // shows the new one, and goes once the panel stands at its last frame.
    void aModeChangeUnderWayEndsTheTransition() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Changed"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        QVERIFY(expandUnderWay(window));
        window->enterMiniView();
        QVERIFY(!kippet->isExpanded());
        QVERIFY(kippet->isMiniView());
        QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(window->size(), QSize(80, 80));

        QVERIFY(expandUnderWay(window));
        window->toggleExpanded();
        QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(window->size(), QSize(80, 80));
    }

    // A compositor takes up what changed one window at a time and repaints each changed place
    // with what every window holds by then. The panel leaves the screen in the same instant the
    // stage shows a frame, right after it, and once the stage shows no frame beyond the panel's
    // place any more: growing, the panel stays beneath the stage to the last frame. No part of
    // the panel's place ever shows a frame ahead of the rest.
    void thePanelLeavesRightAfterTheStagesFrame() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        const Composited composited;
        Kippet* kippet = app.addKippet(QStringLiteral("Ordered"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        // A frame with an alpha channel shows nothing of its own where it does not grow ahead of
        // the panel: shrinking, it is left as it is, since a compositor that fades windows would
        // fade it back in.
        const bool frameHasAlpha = X11::depthOf(X11::frameOf(X11::idOf(window))) == 32;
        const std::pair<std::function<void()>, bool> changes[] = {
            {[&] { window->toggleExpanded(); }, true},
            {[&] { window->toggleExpanded(); }, false},
            {[&] { window->enterMiniView(); }, false}};
        for (const auto& [change, grows] : changes) {
            PaintOrder order(window);
            change();
            order.watch(stageOf(window));
            // Out of the panel's sight goes the window manager's frame round it too, which the
            // window manager may paint as it gives it the panel's new size.
            bool frameOutOfSight = false;
            QVERIFY(framesUntil([&] {
                if (order.panelLeft() && stageShows(window))
                    frameOutOfSight = frameOutOfSight || frameOpacity(window) == 0u;
                return !window->isAnimating() && !stageShows(window);
            }));
            QVERIFY(order.panelLeft());
            QVERIFY(order.stageWentFirst());
            QCOMPARE(order.framesBeyondThePanel(), QStringList());
            QCOMPARE(frameOutOfSight, grows || !frameHasAlpha);
            QCOMPARE(frameOpacity(window), std::nullopt);
        }
    }

    // A change started while the stage's word that the previous one's picture is on the screen is
    // on its way waits for a picture of its own: the panel never leaves the screen for a stage
    // that shows nothing yet.
    void aLateWordFromTheStageStartsNoLaterChange() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Twice"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        window->toggleExpanded();
        TransitionStage* stage = stageOf(window);
        QVERIFY(stage);
        StageWatch watch(window, stage);
        bool secondStarted = false;
        // Queued ahead of the stage's word that its first picture is on the screen.
        watch.atFirstPaint = [&] {
            QMetaObject::invokeMethod(
                window,
                [&] {
                    window->toggleExpanded();
                    secondStarted = true;
                },
                Qt::QueuedConnection);
        };
        QVERIFY2(framesUntil([&] {
                     return secondStarted && !window->isAnimating() && !stageShows(window);
                 }),
                 "the second change never ended");
        QVERIFY(!kippet->isExpanded());
        QVERIFY(!watch.leftBeforeTheStageShowed());
        QVERIFY(watch.leavings() >= 1);
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(window->size(), QSize(220, 200));
    }

    // A move that keeps the size, as when the panels gather at one of them, is drawn frame by
    // frame on the way like a change of form, not held and then jumped.
    void aMoveThatKeepsTheSizeIsDrawnFrameByFrame() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Moved"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        const RectD from = window->frame();
        const RectD to(from.origin() + QPointF(400, 0), from.size());
        window->setFrame(to, true);
        TransitionStage* stage = stageOf(window);
        QVERIFY2(stage, "the move had no stage");
        StageWatch watch(window, stage);
        QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(window->frame(), to);
        // A frame or so for each of the 200 ms, at places all along the way.
        QStringList places;
        for (const QRect& place : watch.places())
            places.append(QDebug::toString(place));
        QVERIFY2(watch.places().size() >= 8, qPrintable(places.join(QStringLiteral("; "))));
    }

    // Beside a compositor that repaints what one window says changed with what every window holds
    // by then, panels that change at once each on a stage of its own show whole in every frame:
    // as one stage shows its next frame, every other stage that shows a change is painted again,
    // whole, in the same instant. Else the compositor, repainting the one stage, would take in
    // half of another's next frame beneath it -- a panel torn in two, or with a side open.
    void stagesChangingAtOnceArePaintedTogether() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        const Composited composited;
        Kippet* upper = app.addKippet(QStringLiteral("Upper"), {200, 500});
        Kippet* lower = app.addKippet(QStringLiteral("Lower"), {200, 150});
        FloatingKippetWindow* first = shownPanel(app, upper);
        FloatingKippetWindow* second = shownPanel(app, lower);
        QVERIFY2(first && second, "the panels never reached the screen");
        // The clock stands still while each stage comes over its panel: the frames start as it
        // shows, the second change's half a frame after the first's, so that the two changes'
        // frames come at moments of their own.
        const auto startedWhenShown = [](FloatingKippetWindow* window) {
            window->setFrame(
                RectD(window->frame().origin() + QPointF(400, 0), window->frame().size()), true);
            const TransitionStage* stage = stageOf(window);
            return stage && QTest::qWaitFor([&] { return stage->isReady(); }, 20000) &&
                   QTest::qWaitFor([&] { return window->isAnimating(); }, 20000);
        };
        // Each stage stands by from the moment its panel shows.
        QVERIFY(QTest::qWaitFor([&] { return stageOf(first) && stageOf(second); }, 20000));
        StagePaints paints(stageOf(first), stageOf(second));
        QVERIFY(startedWhenShown(first));
        QTest::qWait(20);
        testClock().advance(8ms);
        QVERIFY(startedWhenShown(second));
        QTest::qWait(20);
        const QDeadlineTimer guard(20000);
        while ((first->isAnimating() || second->isAnimating() || stageShows(first) ||
                stageShows(second)) &&
               !guard.hasExpired()) {
            testClock().advance(8ms);
            QTest::qWait(2);
        }
        verifyAtRest(first);
        verifyAtRest(second);
        QVERIFY2(paints.framesSideBySide() >= 8,
                 qPrintable(QString::number(paints.framesSideBySide())));
        // The second stage came over its panel while the first showed its frames.
        QCOMPARE(paints.comings(), 1);
        QVERIFY2(paints.comingOverBesideAStaleStage().isEmpty(),
                 qPrintable(paints.comingOverBesideAStaleStage().join(QStringLiteral("; "))));
        const QStringList stale = paints.framesBesideAStaleStage();
        QVERIFY2(stale.isEmpty(), qPrintable(QStringLiteral("%1 of %2 frames: ")
                                                 .arg(stale.size())
                                                 .arg(paints.framesSideBySide()) +
                                             stale.mid(0, 6).join(QStringLiteral("; "))));
    }

    // Panels that start changing together -- as an arrangement moves them all -- show the same
    // point of their ways in every frame, however late one of their stages reaches the screen
    // (the others wait for it) and however long one of their frames takes to draw (all take
    // their steps from one reading of the clock). Ahead of each other, neighbours whose ways run
    // close ran into one another.
    void panelsChangingTogetherGoTheirWaysInStep_data() {
        QTest::addColumn<bool>("lateStage");
        QTest::newRow("a stage late to the screen") << true;
        QTest::newRow("a frame slow to draw") << false;
    }
    void panelsChangingTogetherGoTheirWaysInStep() {
        QFETCH(bool, lateStage);
        AppHarness app;
        app.start();
        AnimationsOn animations;
        const QList<FloatingKippetWindow*> panels =
            threeTilesStandingBy(app, QStringLiteral("Together"));
        QVERIFY2(!panels.isEmpty(), "a panel or its stage never reached the screen");
        // The last stage's paints are held back for a few frames, as a busy server or app holds
        // them: its change cannot start until its picture shows. Or each frame of the first
        // stage takes a while to draw, as on a busy machine: the clock moves on meanwhile.
        class Paints : public QObject {
        public:
            bool held = false;
            bool slow = false;

        protected:
            bool eventFilter(QObject*, QEvent* event) override {
                if (event->type() != QEvent::Paint)
                    return false;
                if (slow)
                    testClock().setNow(testClock().now().addMSecs(5));
                return held;
            }
        } paints;
        TransitionStage* late = stageOf(panels.last());
        if (lateStage) {
            paints.held = true;
            late->installEventFilter(&paints);
        } else {
            paints.slow = true;
            stageOf(panels.first())->installEventFilter(&paints);
        }
        // A stage counts from its word that its picture shows, as its panel takes it: between
        // its paint and that word, it still waits with one pixel of the picture.
        QSet<const TransitionStage*> shown;
        QObject words;
        for (FloatingKippetWindow* panel : panels) {
            const TransitionStage* stage = stageOf(panel);
            QObject::connect(stage, &TransitionStage::ready, &words,
                             [&shown, stage] { shown.insert(stage); });
        }
        QList<QPoint> starts;
        for (FloatingKippetWindow* panel : panels) {
            starts.append(panel->geometry().topLeft());
            panel->setFrame(RectD(panel->frame().origin() + QPointF(400, 0), panel->frame().size()),
                            true);
        }
        // How far along its way each stage shows its panel, while every one of them shows.
        const auto travelled = [&] {
            QList<int> ways;
            for (int i = 0; i < int(panels.size()); ++i) {
                const TransitionStage* stage = stageOf(panels[i]);
                if (!stage->isReady() || !shown.contains(stage))
                    return QList<int>();
                ways.append(stage->mask().boundingRect().translated(stage->pos()).left() -
                            starts[i].x());
            }
            return ways;
        };
        QStringList apart;
        int compared = 0;
        std::chrono::milliseconds run{0};
        const bool ended = framesUntil([&] {
            run += 16ms;
            if (paints.held && run >= 100ms) {
                paints.held = false;
                late->update();
            }
            const QList<int> ways = travelled();
            if (!ways.isEmpty()) {
                ++compared;
                if (std::any_of(ways.cbegin(), ways.cend(),
                                [&](int way) { return way != ways[0]; }))
                    apart.append(QDebug::toString(ways));
            }
            return !paints.held && std::none_of(panels.cbegin(), panels.cend(),
                                                [](const FloatingKippetWindow* panel) {
                                                    return panel->isAnimating() ||
                                                           stageShows(panel);
                                                });
        });
        QVERIFY2(ended, "the changes never ended");
        for (int i = 0; i < int(panels.size()); ++i) {
            verifyAtRest(panels[i]);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(panels[i]->geometry().topLeft(), starts[i] + QPoint(400, 0));
        }
        // A frame or so for each of the 200 ms, every one of them compared.
        QVERIFY2(compared >= 8, qPrintable(QString::number(compared)));
        QVERIFY2(apart.isEmpty(),
                 qPrintable(QStringLiteral("%1 of %2 frames: ").arg(apart.size()).arg(compared) +
                            apart.mid(0, 6).join(QStringLiteral("; "))));
    }

    // Beside a compositor that repaints the place of a window it heard changed with what every
    // window holds by then, panels that change together show whole in every frame however the
    // compositor takes their frames up: each of their stages covers the ways of all of them, so
    // that repainting one stage's place repaints every panel whole. Over its own way alone, a
    // stage's place held part of a neighbour's next frame, repainted, beside the rest of its last.
    void stagesOfPanelsChangingTogetherCoverAllTheirWays() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        const Composited composited;
        // Three tiles one above the other come into a row further right and half way down, as an
        // arrangement takes them: the lower ways pass through the upper ones' areas.
        const QList<FloatingKippetWindow*> panels =
            threeTilesStandingBy(app, QStringLiteral("Covered"));
        QVERIFY2(!panels.isEmpty(), "a panel or its stage never reached the screen");
        QList<QRect> ways;
        for (int i = 0; i < int(panels.size()); ++i) {
            FloatingKippetWindow* panel = panels[i];
            ways.append(panel->geometry());
            panel->setFrame(RectD(QPointF(600, 300 + 40 * i), panel->frame().size()), true);
        }
        // Where each stage stands while every one of them shows its panel's frames.
        QList<QRect> stages;
        int together = 0;
        const bool ended = framesUntil([&] {
            const bool allShow =
                std::all_of(panels.cbegin(), panels.cend(), [](const FloatingKippetWindow* panel) {
                    return panel->isAnimating() && stageOf(panel)->isReady();
                });
            if (allShow) {
                ++together;
                stages.clear();
                for (const FloatingKippetWindow* panel : std::as_const(panels))
                    stages.append(stageOf(panel)->geometry());
            }
            return std::none_of(panels.cbegin(), panels.cend(),
                                [](const FloatingKippetWindow* panel) {
                                    return panel->isAnimating() || stageShows(panel);
                                });
        });
        QVERIFY2(ended, "the changes never ended");
        for (int i = 0; i < int(panels.size()); ++i) {
            verifyAtRest(panels[i]);
            if (QTest::currentTestFailed())
                return;
            ways[i] |= panels[i]->geometry();
        }
        QVERIFY2(together >= 8, qPrintable(QString::number(together)));
        // The ways do pass through each other's areas.
        QVERIFY(ways[0].intersects(ways[1]) && ways[1].intersects(ways[2]));
        for (int stage = 0; stage < int(stages.size()); ++stage) {
            for (int way = 0; way < int(ways.size()); ++way)
                QVERIFY2(stages[stage].contains(ways[way]),
                         qPrintable(QStringLiteral("stage %1 at %2 leaves out way %3, %4")
                                        .arg(stage)
                                        .arg(QDebug::toString(stages[stage]))
                                        .arg(way)
                                        .arg(QDebug::toString(ways[way]))));
        }
    }

    // Hidden while it changes its form, the panel comes back where the change took it, whatever
    // the window system did with it while it was off the screen, and nothing but that frame is
    // ever stored or collapsed from.
    void aPanelHiddenUnderWayComesBackAtItsNewFrame() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Hidden away"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        const QPointF tile = window->frame().origin();
        AppMenus menus;
        QVERIFY(expandUnderWay(window, true));
        const RectD target = window->frame();
        menus.hideApplication();
        QVERIFY(!window->isVisible());
        QCOMPARE(kippet->position(), target.origin());

        // The window manager lets go of the panel, and the window system moves it meanwhile.
        xcb_connection_t* connection = X11::connection();
        const auto id = static_cast<xcb_window_t>(window->winId());
        const auto parent = [&] {
            xcb_query_tree_reply_t* tree =
                xcb_query_tree_reply(connection, xcb_query_tree(connection, id), nullptr);
            const xcb_window_t found = tree && tree->parent == tree->root ? tree->root : 0;
            free(tree);
            return found;
        };
        QVERIFY2(QTest::qWaitFor([&] { return parent() != 0; }, 20000),
                 "the window manager never let go of the hidden panel");
        const uint32_t corner[] = {0, 0};
        xcb_configure_window(connection, id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, corner);
        xcb_flush(connection);
        QVERIFY2(
            QTest::qWaitFor([&] { return window->geometry().topLeft() == QPoint(0, 0); }, 20000),
            "the app never heard of the move");

        QVERIFY(menus.unhideApplication());
        QVERIFY2(QTest::qWaitFor([&] { return window->testAttribute(Qt::WA_Mapped); }, 20000),
                 "the panel never came back on the screen");
        QVERIFY2(window->frame() == target,
                 qPrintable(window->frame().toString() + QStringLiteral(" instead of ") +
                            target.toString()));
        QCOMPARE(kippet->position(), target.origin());
        window->toggleExpanded();
        QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
        QCOMPARE(window->frame().origin(), tile);
        QCOMPARE(kippet->position(), tile);
    }

    // A window manager tells a panel of places it only passes through (a frame it maps the panel
    // in before it has put that frame in place): the panel's frame, the kippet's stored place and
    // the corner it collapses to stay where the panel stands, and the app hears again where that
    // is, so that a drag by its background starts from there.
    void aPlaceTheWindowManagerPassesThroughIsNeverThePanels() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Passed through"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        const QPointF tile = window->frame().origin();
        window->toggleExpanded();
        QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
        const RectD target = window->frame();
        const QRect placed = window->geometry();
        QCOMPARE(kippet->position(), target.origin());

        xcb_connection_t* connection = X11::connection();
        const auto id = static_cast<xcb_window_t>(window->winId());
        xcb_configure_notify_event_t passing{};
        passing.response_type = XCB_CONFIGURE_NOTIFY;
        passing.event = id;
        passing.window = id;
        passing.width = static_cast<uint16_t>(placed.width());
        passing.height = static_cast<uint16_t>(placed.height());
        char bytes[32] = {};
        std::memcpy(bytes, &passing, sizeof passing);
        xcb_send_event(connection, 0, id, XCB_EVENT_MASK_STRUCTURE_NOTIFY, bytes);
        xcb_flush(connection);
        QVERIFY2(
            QTest::qWaitFor([&] { return window->geometry().topLeft() == QPoint(0, 0); }, 20000),
            "the app never heard of the place");
        QCOMPARE(window->frame(), target);
        // Long past the moment a move by the window manager counts as settled.
        int frames = 0;
        QVERIFY(framesUntil([&] { return ++frames > 60; }));
        QCOMPARE(window->frame(), target);
        QCOMPARE(kippet->position(), target.origin());
        QVERIFY2(QTest::qWaitFor([&] { return window->geometry() == placed; }, 20000),
                 qPrintable(QDebug::toString(window->geometry())));

        window->toggleExpanded();
        QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
        QCOMPARE(window->frame().origin(), tile);
        QCOMPARE(kippet->position(), tile);
    }

    // A press on the stage that ends a change takes the stage off the screen with that change, so
    // that the pointer and the release leave it at once -- once the panel stands at its new frame,
    // until which the stage shows the last one. The release comes to the panel, which took the
    // pointer over; the changes after that keep their stage standing by.
    void aPressOnTheStageTakesItOffTheScreenForItsChangeAlone() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Pressed"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        QVERIFY(expandUnderWay(window, true));
        QPointer<TransitionStage> stage = stageOf(window);
        const QPoint on = onThePicture(stage);
        const QPoint global = stage->mapToGlobal(on);
        QTest::mousePress(stage, Qt::LeftButton, {}, on);
        QVERIFY(!window->isAnimating());
        QVERIFY(framesUntil([&] { return !stage->isVisible(); }));
        QTest::mouseRelease(window->windowHandle(), Qt::LeftButton, {},
                            window->windowHandle()->mapFromGlobal(global));
        QVERIFY(QTest::qWaitFor([] { return !pointerGrabbed(); }, 10000));

        for (int change = 0; change < 2; ++change) {
            window->toggleExpanded();
            QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
            QCOMPARE(stageOf(window), stage.data());
            QVERIFY2(stage->isVisible(), qPrintable(QStringLiteral("change %1").arg(change)));
        }
    }

    // Whichever button ends a change, the panel takes the pointer over for its release: were the
    // release to come outside the app, the app would go on taking moves and releases elsewhere
    // for that press's.
    void everyButtonThatEndsAChangeFollowsItsRelease() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Middle"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        for (const Qt::MouseButton button : {Qt::MiddleButton, Qt::BackButton}) {
            QVERIFY(expandUnderWay(window, true));
            TransitionStage* stage = stageOf(window);
            const QPoint on = onThePicture(stage);
            const QPoint global = stage->mapToGlobal(on);
            QTest::mousePress(stage, button, {}, on);
            QVERIFY(!window->isAnimating());
            QVERIFY2(pointerGrabbed(), "the panel did not take the pointer for the release");
            // Released while the stage still shows the last frame: the release is the panel's
            // as it shows again, and the pointer with it.
            QTest::mouseRelease(window->windowHandle(), button, {},
                                window->windowHandle()->mapFromGlobal(global));
            QVERIFY(framesUntil([&] { return !pointerGrabbed() && !stageShows(window); }));
        }
    }

    // A change holds the panel's picture by turning its updates off, and gives them back as they
    // were: off, when whoever turned them off has not turned them on again.
    void aChangeLeavesThePanelsUpdatesAsItFoundThem() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Held"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        window->setUpdatesEnabled(false);
        window->toggleExpanded();
        QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
        QVERIFY(!window->updatesEnabled());
        window->setUpdatesEnabled(true);
        window->toggleExpanded();
        QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
        verifyAtRest(window);
    }

    // The server never tells a window's background: the window manager's frame round a panel keeps
    // the one its window manager gave it, through every change. Grown beyond the panel, the frame
    // shows it there.
    void theWindowManagersFrameKeepsItsBackground() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        const Composited composited;
        Kippet* kippet = app.addKippet(QStringLiteral("Framed"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        const X11::WindowId frame = X11::frameOf(X11::idOf(window));
        QVERIFY2(frame != X11::noWindow && X11::depthOf(frame) == 32,
                 "the window manager gave the panel no frame with an alpha channel");
        xcb_connection_t* other = xcb_connect(nullptr, nullptr);
        QVERIFY(!xcb_connection_has_error(other));
        const std::uint32_t green = 0xFF00FF00u;
        xcb_change_window_attributes(other, frame, XCB_CW_BACK_PIXEL, &green);
        xcb_flush(other);
        window->toggleExpanded();
        QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));

        // Grown to the right as the window manager would, the frame paints its background there.
        const auto place = X11::ask(xcb_get_geometry, xcb_get_geometry_reply, frame);
        QVERIFY(place);
        const auto configure = [&](std::uint16_t width) {
            const std::uint32_t on = 1;
            const std::uint32_t off = 0;
            const std::uint32_t size = width;
            xcb_change_window_attributes(other, frame, XCB_CW_OVERRIDE_REDIRECT, &on);
            xcb_configure_window(other, frame, XCB_CONFIG_WINDOW_WIDTH, &size);
            xcb_change_window_attributes(other, frame, XCB_CW_OVERRIDE_REDIRECT, &off);
        };
        configure(place->width + 40);
        xcb_clear_area(other, 0, frame, 0, 0, 0, 0);
        const auto root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
        xcb_get_image_reply_t* image = xcb_get_image_reply(
            other,
            xcb_get_image(other, XCB_IMAGE_FORMAT_Z_PIXMAP, root, place->x + place->width + 20,
                          place->y + 10, 1, 1, 0xFFFFFFFFu),
            nullptr);
        configure(place->width);
        xcb_flush(other);
        QVERIFY(image);
        std::uint32_t pixel = 0;
        std::memcpy(&pixel, xcb_get_image_data(image), sizeof pixel);
        free(image);
        xcb_disconnect(other);
        QCOMPARE(QString::number(pixel & 0xFFFFFFu, 16), QStringLiteral("ff00"));
    }

    // Growing back out of a mini tile, every frame shows the whole tile: its layout is drawn at
    // the tile's own size and scaled down, never squeezed into a smaller one.
    void growingOutOfAMiniTileShowsTheWholeTile() {
        AppHarness app;
        app.start();
        AnimationsOn animations;
        Kippet* kippet = app.addKippet(QStringLiteral("Grown"), {200, 200});
        FloatingKippetWindow* window = shownPanel(app, kippet);
        QVERIFY2(window, "the panel never reached the screen");
        window->toggleMiniView();
        QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
        QCOMPARE(window->size(), QSize(80, 80));

        window->toggleMiniView();
        TransitionStage* stage = stageOf(window);
        QVERIFY(stage);
        StageWatch watch(window, stage);
        QVERIFY(framesUntil([&] { return !window->isAnimating() && !stageShows(window); }));
        verifyAtRest(window);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(window->size(), QSize(220, 200));
        QVERIFY(!watch.layouts().isEmpty());
        QStringList squeezed;
        for (const QSize& size : watch.layouts()) {
            if (size.width() < 220 || size.height() < 200)
                squeezed.append(QDebug::toString(size));
        }
        QVERIFY2(squeezed.isEmpty(), qPrintable(squeezed.join(QStringLiteral("; "))));
    }

    // Steps that end early, by an exception, still let the server go: a held server freezes
    // every other program's windows.
    void theServerIsReleasedOnEveryRoad() {
        QVERIFY(TransitionStage::isAvailable());
        bool thrown = false;
        try {
            TransitionStage::atOnce(
                [] { TransitionStage::atOnce([] { throw std::runtime_error("a step failed"); }); });
        } catch (const std::runtime_error&) {
            thrown = true;
        }
        QVERIFY(thrown);
        // Whatever the app sends next reaches the server.
        xcb_flush(X11::connection());
        QVERIFY(serverAnswersOthers());
        // And a hold that ends normally after that still holds and releases as it should.
        int ran = 0;
        TransitionStage::atOnce([&] { ++ran; });
        QCOMPARE(ran, 1);
        QVERIFY(serverAnswersOthers());
    }
};

QTEST_MAIN(TransitionStageTest)
#include "TransitionStageTest.moc"
