#include "TrayFixture.h"
#include "support/AppHarness.h"
#include "window/FloatingKippetWindow.h"

#include <QApplication>
#include <QTest>
#include <atomic>
#include <malloc.h>

// Objects Qt makes and destroys, counted through the hooks that debugging tools use.
extern Q_CORE_EXPORT quintptr qtHookData[];
// Live heap bytes as the address sanitizer counts them, where it is linked in.
extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

// Tucking and untucking, alone and as a group, again and again: what a cycle makes, it frees.
namespace {
std::atomic<qint64> liveObjects{0};

// The indices of qtHookData that hold the object hooks (QHooks::AddQObject, RemoveQObject).
constexpr int addObjectHook = 3;
constexpr int removeObjectHook = 4;

void objectAdded(QObject*) {
    ++liveObjects;
}
void objectRemoved(QObject*) {
    --liveObjects;
}

qint64 heapInUse() {
    if (__sanitizer_get_current_allocated_bytes)
        return qint64(__sanitizer_get_current_allocated_bytes());
    return qint64(mallinfo2().uordblks);
}

struct Census {
    qint64 objects;
    qsizetype widgets;
    qsizetype windows;
    qint64 heap;
};

Census census(TrayFixture& tray) {
    // What the harness records of the notifications is the test's, not the app's.
    tray.app.notifications().clear();
    TrayFixture::flushDeletes();
    AppHarness::settle();
    TrayFixture::flushDeletes();
    return {liveObjects.load(), QApplication::allWidgets().size(),
            QGuiApplication::allWindows().size(), heapInUse()};
}
} // namespace

class TuckCycleTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qtHookData[addObjectHook] = reinterpret_cast<quintptr>(&objectAdded);
        qtHookData[removeObjectHook] = reinterpret_cast<quintptr>(&objectRemoved);
    }
    void cleanupTestCase() {
        qtHookData[addObjectHook] = 0;
        qtHookData[removeObjectHook] = 0;
    }

    void cyclesLeaveNothingBehind() {
        TrayFixture tray;
        QList<Kippet*> kippets;
        for (int i = 0; i < 3; ++i) {
            Kippet* kippet =
                tray.app.addKippet(QStringLiteral("Kippet %1").arg(i), QPointF(100 + 300 * i, 200));
            tray.registry().showWindow(kippet);
            kippets.append(kippet);
        }
        const auto cycle = [&tray, &kippets] {
            for (Kippet* kippet : kippets)
                tray.registry().tuckSingleKippet(kippet);
            AppHarness::settle();
            for (Kippet* kippet : kippets)
                tray.registry().untuckSingleKippet(kippet);
            AppHarness::settle();
            tray.registry().tuckAwayKippets();
            AppHarness::settle();
            tray.registry().untuckKippets();
            AppHarness::settle();
        };
        // The first hundred cycles fill what is made once and kept to a bound: the store's page
        // cache, image and glyph caches. After them the heap stays where it is.
        for (int i = 0; i < 100; ++i)
            cycle();
        const Census before = census(tray);
        constexpr int cycles = 100;
        for (int i = 0; i < cycles; ++i)
            cycle();
        const Census after = census(tray);

        QCOMPARE(after.widgets, before.widgets);
        QCOMPARE(after.windows, before.windows);
        // Qt's gesture manager keeps a gesture or two of closed windows for a while.
        QVERIFY2(after.objects - before.objects <= 4,
                 qPrintable(QStringLiteral("%1 objects more").arg(after.objects - before.objects)));
        // A leak of a window's worth would show as kilobytes a cycle.
        const qint64 perCycle = (after.heap - before.heap) / cycles;
        QVERIFY2(perCycle < 512, qPrintable(QStringLiteral("%1 bytes a cycle").arg(perCycle)));
    }
};

QTEST_MAIN(TuckCycleTest)
#include "TuckCycleTest.moc"
