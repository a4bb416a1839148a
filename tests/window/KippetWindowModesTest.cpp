#include "analysis/IsolatedImageDecoder.h"
#include "analysis/KippetIntake.h"
#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "platform/Animations.h"
#include "platform/Clock.h"
#include "platform/NotificationNames.h"
#include "support/AppHarness.h"
#include "support/FakeScreenProvider.h"
#include "support/GeometryPrinting.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"
#include "ui/ResizeGrip.h"
#include "window/FloatingKippetWindow.h"
#include "window/ItemsArea.h"
#include "window/PanelDriver.h"
#include "window/ThumbnailCache.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QMimeData>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <csignal>

using namespace PanelDriver;
using namespace std::chrono_literals;

namespace {
ResizeGrip* grip(FloatingKippetWindow* window, Qt::Edges edges) {
    for (ResizeGrip* candidate : window->findChildren<ResizeGrip*>()) {
        if (candidate->edges() == edges)
            return candidate;
    }
    return nullptr;
}

// Drags with the left button from `from` by `by`, in the widget's own coordinates.
void drag(QWidget* widget, QPoint from, QPoint by) {
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(widget, from + by);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, from + by);
    AppHarness::settle();
}

QByteArray pngOf(QColor color) {
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Decoders that take every request and never answer, one at a time: every other request waits
// for that one. Ended, each refuses the picture it held. Put back to the app's own as it goes.
class StalledDecoders {
public:
    explicit StalledDecoders(std::chrono::milliseconds hold) {
        const QString program = folder_.filePath(QStringLiteral("stalled-decoder"));
        QFile file(program);
        if (file.open(QIODevice::WriteOnly))
            file.write("#!/bin/sh\nexec sleep 600\n");
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            QFileDevice::ExeOwner);
        IsolatedImageDecoder::Settings settings;
        settings.program = program;
        settings.maxProcesses = 1;
        settings.limits.cpu = hold;
        settings.limits.wall = hold;
        decoder_ = std::make_shared<IsolatedImageDecoder>(settings);
        IsolatedImageDecoder::install(decoder_);
    }
    ~StalledDecoders() { IsolatedImageDecoder::install(nullptr); }

    bool isHolding() const { return !decoder_->busyDecoders().isEmpty(); }
    // Ends the ones holding a request now (this test's own children).
    void end() const {
        for (const qint64 pid : decoder_->busyDecoders()) {
            if (pid > 0)
                ::kill(pid_t(pid), SIGKILL);
        }
    }

private:
    QTemporaryDir folder_;
    std::shared_ptr<IsolatedImageDecoder> decoder_;
};

// Animations on for one test: the harness switches them off.
struct AnimationsOn {
    AnimationsOn() { Animations::setEnabled(true); }
    ~AnimationsOn() { Animations::setEnabled(false); }
};
} // namespace

class KippetWindowModesTest : public QObject {
    Q_OBJECT
private slots:
    void expandingKeepsTheBottomLeftCorner() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        QVERIFY(!window->isResizable());
        QCOMPARE(window->minimumSize(), QSize(220, 200));
        QCOMPARE(window->maximumSize(), QSize(220, 200));

        window->toggleExpanded();
        QVERIFY(kippet->isExpanded());
        QCOMPARE(window->frame(), RectD(100, 100, 600, 500));
        QCOMPARE(window->lastCollapsedPosition(), std::optional<QPointF>(QPointF(100, 100)));
        QVERIFY(window->isResizable());
        QCOMPARE(window->minimumSize(), QSize(420, 360));
        QCOMPARE(window->maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
        QVERIFY(grip(window, Qt::TopEdge | Qt::RightEdge)->isVisible());

        // Near the top right the clamp moves the panel onto the screen.
        Kippet* corner = app.addKippet(QStringLiteral("Corner"), {1200, 600});
        FloatingKippetWindow* cornerWindow = showActive(app, corner);
        cornerWindow->toggleExpanded();
        QCOMPARE(cornerWindow->frame(), RectD(840, 375, 600, 500));
        QCOMPARE(corner->position(), QPointF(840, 375));
        cornerWindow->toggleExpanded();
        QCOMPARE(cornerWindow->frame(), RectD(1200, 600, 220, 200));
        QVERIFY(!grip(cornerWindow, Qt::TopEdge | Qt::RightEdge)->isVisible());

        Kippet* stored = PanelDriver::stored(app, QStringLiteral("Inbox"));
        QVERIFY(stored->isExpanded());
        QCOMPARE(stored->position(), QPointF(100, 100));
    }

    void aResizedPanelExpandsToItsSizeAndCollapsesToItsTile() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        window->toggleExpanded();
        QCOMPARE(window->frame(), RectD(100, 100, 600, 500));

        // The window system cannot resize an offscreen panel: the grip does it itself.
        ResizeGrip* corner = grip(window, Qt::TopEdge | Qt::RightEdge);
        drag(corner, QPoint(8, 8), QPoint(100, 50));
        QCOMPARE(window->frame(), RectD(100, 100, 700, 450));
        QCOMPARE(window->lastExpandedFrame(), std::optional<RectD>(RectD(100, 100, 700, 450)));
        // The limits hold while resizing.
        drag(grip(window, Qt::LeftEdge), QPoint(2, 100), QPoint(400, 0));
        QCOMPARE(window->frame(), RectD(380, 100, 420, 450));
        drag(grip(window, Qt::LeftEdge), QPoint(2, 100), QPoint(-280, 0));
        QCOMPARE(window->frame(), RectD(100, 100, 700, 450));

        // Dragged by its background elsewhere, then collapsed: back to the tile's place.
        drag(window, QPoint(300, 200), QPoint(200, -100));
        QCOMPARE(window->frame(), RectD(300, 200, 700, 450));
        QCOMPARE(kippet->position(), QPointF(300, 200));
        window->toggleExpanded();
        QCOMPARE(window->frame(), RectD(100, 100, 220, 200));
        QCOMPARE(kippet->position(), QPointF(100, 100));
        QVERIFY(!window->lastCollapsedPosition());

        window->toggleExpanded();
        QCOMPARE(window->frame(), RectD(100, 100, 700, 450));

        // A remembered frame under the minimum is raised to it.
        window->setFrame(RectD(100, 100, 300, 200));
        window->toggleExpanded();
        QCOMPARE(window->frame(), RectD(100, 100, 220, 200));
        window->toggleExpanded();
        QCOMPARE(window->frame(), RectD(100, 100, 420, 360));
    }

    void panelsBuiltExpandedAndMiniTilesKeepTheirCorner() {
        AppHarness app;
        app.start();
        Kippet* wide = app.addKippet(QStringLiteral("Wide"), {300, 200});
        wide->setIsExpanded(true);
        FloatingKippetWindow* wideWindow = showActive(app, wide);
        QCOMPARE(wideWindow->frame(), RectD(300, 200, 600, 500));
        QVERIFY(!wideWindow->lastCollapsedPosition());
        wideWindow->toggleExpanded();
        QCOMPARE(wideWindow->frame(), RectD(300, 200, 220, 200));

        Kippet* mini = app.addKippet(QStringLiteral("Mini"), {1000, 100});
        mini->setIsMiniView(true);
        FloatingKippetWindow* miniWindow = showActive(app, mini);
        QCOMPARE(miniWindow->frame(), RectD(1000, 100, 80, 80));
        miniWindow->toggleExpanded();
        QVERIFY(mini->isExpanded());
        QVERIFY(mini->isMiniView());
        QCOMPARE(miniWindow->frame(), RectD(840, 100, 600, 500));
        // Mini view cannot be switched while expanded.
        miniWindow->toggleMiniView();
        QVERIFY(mini->isExpanded());
        QCOMPARE(miniWindow->frame(), RectD(840, 100, 600, 500));
        miniWindow->toggleExpanded();
        QVERIFY(!mini->isExpanded());
        QCOMPARE(miniWindow->frame(), RectD(1000, 100, 80, 80));
        QCOMPARE(miniWindow->minimumSize(), QSize(80, 80));
        QCOMPARE(miniWindow->maximumSize(), QSize(80, 80));

        // Forced into mini view, an expanded panel remembers its frame and returns to its
        // tile's place.
        miniWindow->toggleExpanded();
        miniWindow->enterMiniView();
        QCOMPARE(miniWindow->frame(), RectD(1000, 100, 80, 80));
        QCOMPARE(miniWindow->lastExpandedFrame(), std::optional<RectD>(RectD(840, 100, 600, 500)));
        QVERIFY(!miniWindow->lastCollapsedPosition());
        miniWindow->toggleMiniView();
        QCOMPARE(miniWindow->frame(), RectD(1000, 100, 220, 200));
        QVERIFY(!mini->isMiniView());
    }

    void demoKippetsAnnounceTheirTransitions() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Demo"), {100, 100});
        kippet->setIsDemoMode(true);
        FloatingKippetWindow* window = showActive(app, kippet);
        window->toggleMiniView();
        window->toggleMiniView();
        window->toggleExpanded();
        window->toggleExpanded();
        window->enterMiniView();
        QCOMPARE(app.notifications().count(QStringLiteral("DemoKippetMiniView")), 1);
        QCOMPARE(app.notifications().count(QStringLiteral("DemoKippetExpanded")), 1);
        QCOMPARE(app.notifications().count(QStringLiteral("DemoKippetCollapsed")), 1);
    }

    void aClickWithoutAMoveSavesThePlace() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        AppHarness::settle();
        kippet->setName(QStringLiteral("Renamed in memory"));
        QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, QPoint(110, 100));
        QVERIFY(PanelDriver::stored(app, QStringLiteral("Renamed in memory")));
    }

    void screenChangesMoveOnlyPanelsThatMustMove() {
        AppHarness app;
        // A menu bar at the top and a dock at the bottom.
        const ScreenInfo primary{RectD(0, 0, 1440, 900), RectD(0, 25, 1440, 850)};
        const ScreenInfo second = FakeScreenProvider::screen(RectD(1440, 0, 1920, 1080));
        app.screens().setScreens({primary, second});
        app.start();
        Kippet* away = app.addKippet(QStringLiteral("Away"), {2000, 300});
        FloatingKippetWindow* awayWindow = showActive(app, away);
        Kippet* wide = app.addKippet(QStringLiteral("Wide"), {0, 25});
        wide->setIsExpanded(true);
        FloatingKippetWindow* wideWindow = showActive(app, wide);
        QCOMPARE(awayWindow->frame(), RectD(2000, 300, 220, 200));
        QCOMPARE(wideWindow->frame(), RectD(0, 25, 600, 500));
        AppHarness::settle();

        AnimationsOn animations;
        app.screens().setScreens({primary});
        QVERIFY(!awayWindow->isAnimating());
        QCOMPARE(awayWindow->frame(), RectD(1220, 300, 220, 200));
        // The clamped place is not the kippet's: a screen away for a while moves nothing for good.
        QCOMPARE(away->position(), QPointF(2000, 300));
        QCOMPARE(wideWindow->frame(), RectD(0, 25, 600, 500));

        // A taller dock would only shrink the expanded panel at the corner: it stays as it
        // is, while the tile above the new limit comes down.
        wide->setName(QStringLiteral("Wide, unsaved"));
        app.screens().setScreens({ScreenInfo{primary.frame, RectD(0, 25, 1440, 400)}});
        QCOMPARE(wideWindow->frame(), RectD(0, 25, 600, 500));
        QCOMPARE(awayWindow->frame(), RectD(1220, 225, 220, 200));

        // The screens as before: every panel is back where it was left.
        app.screens().setScreens({primary, second});
        QCOMPARE(awayWindow->frame(), RectD(2000, 300, 220, 200));
        QCOMPARE(wideWindow->frame(), RectD(0, 25, 600, 500));
        AppHarness::settle();
        Kippet* stored = PanelDriver::stored(app, QStringLiteral("Away"));
        QCOMPARE(stored->position(), QPointF(2000, 300));
        QVERIFY(app.byName(QStringLiteral("Wide")));
    }

    void aPanelLeftOnAShrunkScreenStaysWhereTheUserPutsIt() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {1200, 600});
        FloatingKippetWindow* window = showActive(app, kippet);
        // The screen shrinks to 1024 × 768: its height changes too, so the panel's top-left
        // stays in Qt's coordinates while its place counts from the bottom.
        app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 1024, 768))});
        QCOMPARE(window->frame(), RectD(804, 543, 220, 200));
        QCOMPARE(kippet->position(), QPointF(1200, 600));
        // Moved by the user meanwhile, the panel's new place is the one that counts.
        drag(window, QPoint(100, 100), QPoint(-300, 0));
        QCOMPARE(kippet->position(), QPointF(504, 543));
        app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 1440, 900))});
        QCOMPARE(window->frame(), RectD(504, 543, 220, 200));
    }

    void transitionsAnimateWhenAnimationsAreOn() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        AnimationsOn animations;
        window->toggleExpanded();
        QVERIFY(window->isAnimating());
        // The frame it moves to counts at once: for the registry and the next transition.
        QCOMPARE(window->frame(), RectD(100, 100, 600, 500));
        // On the clock: a fifth of a second.
        testClock().advance(199ms);
        QVERIFY(window->isAnimating());
        testClock().advance(1ms);
        QVERIFY(!window->isAnimating());
        QCOMPARE(window->frame(), RectD(100, 100, 600, 500));
        QCOMPARE(window->lastExpandedFrame(), std::optional<RectD>(RectD(100, 100, 600, 500)));
        QCOMPARE(window->minimumSize(), QSize(420, 360));

        // A transition started while another runs starts from where that one ends.
        window->toggleExpanded();
        window->toggleMiniView();
        QCOMPARE(window->frame(), RectD(100, 100, 80, 80));
        testClock().advance(200ms);
        QVERIFY(!window->isAnimating());
        QCOMPARE(window->geometry().size(), QSize(80, 80));
        QCOMPARE(window->lastExpandedFrame(), std::optional<RectD>(RectD(100, 100, 600, 500)));
    }

    // Pastes wait for decoders that do not answer, and the cards' thumbnails with them: the panel
    // changes its form and draws it at once, its cards with their placeholders.
    void aChangeOfFormWaitsForNoDecoder() {
        constexpr auto hold = 15s;
        StalledDecoders decoders(hold);
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        for (int index = 0; index < 6; ++index) {
            KippetItem item;
            item.id = QUuid::createUuid();
            item.type = KippetItemType::image;
            item.content = pngOf(Qt::darkCyan);
            item.metadata.name = QStringLiteral("Photo %1.png").arg(index);
            item.metadata.thumbnail = item.content;
            item.addedDate = testClock().now();
            app.manager().addItem(item, kippet);
        }
        FloatingKippetWindow* window = showActive(app, kippet);
        // More pastes than there are workers, each a picture of its own.
        QList<std::shared_ptr<TaskRunner::Settled<void>>> pastes;
        const int count = QThreadPool::globalInstance()->maxThreadCount() + 4;
        for (int index = 0; index < count; ++index) {
            QMimeData data;
            data.setData(QStringLiteral("image/png"), pngOf(QColor::fromHsv(index * 20, 200, 200)));
            pastes.append(TaskRunner::settle(viewOf(window)->intake().pasteFromPasteboard(data)));
        }
        QVERIFY(TaskRunner::waitUntil([&] { return decoders.isHolding(); }));
        // Ended, the decoders refuse what they hold, and every paste and thumbnail settles.
        const auto release = qScopeGuard([&] {
            const ThumbnailCache& thumbnails = window->findChild<ItemsArea*>()->thumbnails();
            TaskRunner::waitUntil(
                [&] {
                    decoders.end();
                    return std::all_of(pastes.begin(), pastes.end(),
                                       [](const auto& paste) { return paste->done; }) &&
                           std::all_of(kippet->items().begin(), kippet->items().end(),
                                       [&](const KippetItem& item) {
                                           return thumbnails.isSettled(item.id);
                                       });
                },
                120000);
        });

        QElapsedTimer shown;
        shown.start();
        type(window, Qt::Key_E);
        QVERIFY(kippet->isExpanded());
        QCOMPARE(window->frame(), RectD(100, 100, 600, 500));
        const QImage drawn = window->grab().toImage();
        const qint64 elapsed = shown.elapsed();
        QCOMPARE(drawn.size(), QSize(600, 500) * drawn.devicePixelRatio());
        QVERIFY2(elapsed < 5000, qPrintable(QStringLiteral("the panel showed its new form after "
                                                           "%1 ms")
                                                .arg(elapsed)));
        QVERIFY(decoders.isHolding());
    }

    void everyPanelReturnsInItsModeAndPlaceAfterARestart() {
        AppHarness app;
        app.start();
        Kippet* tile = app.addKippet(QStringLiteral("Tile"), {100, 100});
        Kippet* mini = app.addKippet(QStringLiteral("Mini"), {500, 100});
        Kippet* wide = app.addKippet(QStringLiteral("Wide"), {700, 300});
        showActive(app, tile);
        type(showActive(app, mini), Qt::Key_M);
        FloatingKippetWindow* wideWindow = showActive(app, wide);
        type(wideWindow, Qt::Key_E);
        drag(wideWindow, QPoint(300, 200), QPoint(-100, 50));
        QCOMPARE(wideWindow->frame(), RectD(600, 250, 600, 500));

        AppHarness::settle();
        app.relaunch();
        FloatingKippetWindow* tileWindow = app.windowOf(QStringLiteral("Tile"));
        FloatingKippetWindow* miniWindow = app.windowOf(QStringLiteral("Mini"));
        FloatingKippetWindow* restored = app.windowOf(QStringLiteral("Wide"));
        QVERIFY(tileWindow && miniWindow && restored);
        QVERIFY(tileWindow->isVisible() && miniWindow->isVisible() && restored->isVisible());
        QCOMPARE(tileWindow->frame(), RectD(100, 100, 220, 200));
        QCOMPARE(miniWindow->frame(), RectD(500, 100, 80, 80));
        QVERIFY(app.byName(QStringLiteral("Mini"))->isMiniView());
        QCOMPARE(restored->frame(), RectD(600, 250, 600, 500));
        QVERIFY(restored->isResizable());
        QVERIFY(app.byName(QStringLiteral("Wide"))->isExpanded());
    }
};

QTEST_MAIN(KippetWindowModesTest)
#include "KippetWindowModesTest.moc"
