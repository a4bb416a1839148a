#include "app/StatusMenuOpener.h"
#include "platform/Clock.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace {
// The offscreen platform, whatever the environment names: it moves the focus only when a window
// is shown, never when one hides, so a hidden window stays Qt's focus until another is shown, as
// it does elsewhere until the window system's late focus-out lands. Elsewhere that may come at
// once, and the cases below would have nothing to wait for.
const bool offscreen = qputenv("QT_QPA_PLATFORM", "offscreen");

// A shown window that Qt names as focused, as the dashboard is when the user presses Ctrl+H.
std::unique_ptr<QWidget> focusedWindow() {
    auto window = std::make_unique<QWidget>();
    window->resize(200, 100);
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get()))
        return nullptr;
    return window;
}
} // namespace

class StatusMenuOpenerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY(offscreen);
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    }

    void aClickOpensTheMenuAtOnceWhileTheFocusIsSettled() {
        QList<QPoint> opened;
        StatusMenuOpener opener([&](QPoint at) { opened.append(at); });
        const auto window = focusedWindow();
        QVERIFY(window);
        QVERIFY(!StatusMenuOpener::focusIsStale());
        opener.clicked(QPoint(10, 5));
        QCOMPARE(opened, QList<QPoint>{QPoint(10, 5)});
        QVERIFY(!opener.isWaiting());
    }

    // Hidden, the window stays Qt's focus until the window system's focus-out lands: a menu
    // opened now would be closed by it, so the click's menu opens once the focus has moved on.
    void aClickRightAfterTheFocusedWindowHidWaitsForItsFocusToGo() {
        QList<QPoint> opened;
        StatusMenuOpener opener([&](QPoint at) { opened.append(at); });
        const auto window = focusedWindow();
        QVERIFY(window);
        window->hide();
        QCOMPARE(QGuiApplication::focusWindow(), window->windowHandle());
        QVERIFY(StatusMenuOpener::focusIsStale());
        opener.clicked(QPoint(30, 8));
        QVERIFY(opened.isEmpty());
        QVERIFY(opener.isWaiting());
        // A second click while waiting opens one menu, where the last click was made.
        opener.clicked(QPoint(31, 9));
        // The focus goes on to another window (the window manager's choice).
        const auto next = focusedWindow();
        QVERIFY(next);
        QVERIFY(QTest::qWaitFor([&] { return !opened.isEmpty(); }));
        QCOMPARE(opened, QList<QPoint>{QPoint(31, 9)});
        QVERIFY(!opener.isWaiting());
        // Nothing more opens when the guard's time passes.
        testClock().advance(StatusMenuOpener::settleGuard * 2);
        QCOMPARE(opened.size(), 1);
    }

    // Should the focus never settle, the click still opens its menu after a second.
    void aFocusThatNeverSettlesDelaysTheMenuByASecondAtMost() {
        QList<QPoint> opened;
        StatusMenuOpener opener([&](QPoint at) { opened.append(at); });
        const auto window = focusedWindow();
        QVERIFY(window);
        window->hide();
        QCOMPARE(QGuiApplication::focusWindow(), window->windowHandle());
        QVERIFY(StatusMenuOpener::focusIsStale());
        opener.clicked(QPoint(4, 4));
        // No event is processed: Qt still names the hidden window.
        testClock().advance(std::chrono::milliseconds(999));
        QVERIFY(opened.isEmpty());
        testClock().advance(std::chrono::milliseconds(1));
        QCOMPARE(opened, QList<QPoint>{QPoint(4, 4)});
        QVERIFY(!opener.isWaiting());
    }
};

QTEST_MAIN(StatusMenuOpenerTest)
#include "StatusMenuOpenerTest.moc"
