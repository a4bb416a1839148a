#include "window/KeyboardHold.h"

#include <QTest>
#include <functional>

namespace {
const QDateTime began = QDateTime::fromMSecsSinceEpoch(1000000, Qt::UTC);
const QPoint pointer(400, 300);

QDateTime after(qint64 ms) {
    return began.addMSecs(ms);
}
} // namespace

// The keyboard goes back to the panel only when its own change of form took it away, never when
// the user did.
class KeyboardHoldTest : public QObject {
    Q_OBJECT
private slots:
    void aLossTheChangeBroughtAboutIsTakenBack() {
        KeyboardHold hold;
        hold.changeBegan(pointer, began);
        QVERIFY(hold.lost(pointer, Qt::NoButton, true, false, true, after(2000)));
        QCOMPARE(hold.phase(), KeyboardHold::Phase::takingBack);
        hold.regained();
        // The crossing as the panel took its new frame comes a moment after the change ended.
        hold.frameChanged(after(3000));
        QVERIFY(hold.lost(pointer, Qt::NoButton, true, false, false, after(3900)));
        hold.regained();
        QCOMPARE(hold.phase(), KeyboardHold::Phase::holding);
    }

    void aLossOfTheUsersDoingStaysLost() {
        // Each case ends the hold: a later loss is not taken back either.
        const auto ended = [](const std::function<bool(KeyboardHold&)>& loss) {
            KeyboardHold hold;
            hold.changeBegan(pointer, began);
            const bool takenBack = loss(hold);
            return !takenBack && hold.phase() == KeyboardHold::Phase::idle &&
                   !hold.lost(pointer, Qt::NoButton, true, false, true, after(10));
        };
        // The pointer moved, to the window that now has the keyboard.
        QVERIFY(ended([](KeyboardHold& hold) {
            return hold.lost(pointer + QPoint(1, 0), Qt::NoButton, true, false, true, after(10));
        }));
        // A click on the window beneath.
        QVERIFY(ended([](KeyboardHold& hold) {
            return hold.lost(pointer, Qt::LeftButton, true, false, true, after(10));
        }));
        // The panel was hidden or tucked, or the app opened a menu or a dialog.
        QVERIFY(ended([](KeyboardHold& hold) {
            return hold.lost(pointer, Qt::NoButton, false, false, true, after(10));
        }));
        QVERIFY(ended([](KeyboardHold& hold) {
            return hold.lost(pointer, Qt::NoButton, true, true, true, after(10));
        }));
        // Long after the change: the window manager's own keys moved it.
        QVERIFY(ended([](KeyboardHold& hold) {
            return hold.lost(pointer, Qt::NoButton, true, false, false, after(1001));
        }));
        // A key or a press on the panel since.
        QVERIFY(ended([](KeyboardHold& hold) {
            hold.userActed();
            return hold.lost(pointer, Qt::NoButton, true, false, true, after(10));
        }));
    }

    // Keys that reach the window the keyboard went to, while the panel takes it back, are the
    // panel's; the user's going elsewhere ends that at once.
    void keysTypedWhileTheKeyboardComesBackAreThePanels() {
        KeyboardHold hold;
        QVERIFY(!hold.forwardsKeys(pointer, Qt::NoButton, true, false, after(0)));
        hold.changeBegan(pointer, began);
        QVERIFY(!hold.forwardsKeys(pointer, Qt::NoButton, true, false, after(5)));
        QVERIFY(hold.lost(pointer, Qt::NoButton, true, false, false, after(300)));
        QVERIFY(hold.forwardsKeys(pointer, Qt::NoButton, true, false, after(301)));
        // The key it handed on does not end it: the next one goes the same way.
        hold.userActed();
        QVERIFY(hold.forwardsKeys(pointer, Qt::NoButton, true, false, after(320)));
        // Back with the panel after keys of the user's: a later loss is the user's doing.
        hold.regained();
        QCOMPARE(hold.phase(), KeyboardHold::Phase::idle);
        QVERIFY(!hold.forwardsKeys(pointer, Qt::NoButton, true, false, after(330)));
        QVERIFY(!hold.lost(pointer, Qt::NoButton, true, false, false, after(340)));

        const auto forwardingEnds = [](const std::function<bool(KeyboardHold&)>& key) {
            KeyboardHold hold;
            hold.changeBegan(pointer, began);
            hold.lost(pointer, Qt::NoButton, true, false, true, after(10));
            return !key(hold) && hold.phase() == KeyboardHold::Phase::idle &&
                   !hold.forwardsKeys(pointer, Qt::NoButton, true, false, after(20));
        };
        QVERIFY(forwardingEnds([](KeyboardHold& hold) {
            return hold.forwardsKeys(pointer + QPoint(0, 1), Qt::NoButton, true, false, after(20));
        }));
        QVERIFY(forwardingEnds([](KeyboardHold& hold) {
            return hold.forwardsKeys(pointer, Qt::LeftButton, true, false, after(20));
        }));
        QVERIFY(forwardingEnds([](KeyboardHold& hold) {
            return hold.forwardsKeys(pointer, Qt::NoButton, false, false, after(20));
        }));
        QVERIFY(forwardingEnds([](KeyboardHold& hold) {
            return hold.forwardsKeys(pointer, Qt::NoButton, true, true, after(20));
        }));
        // A window manager that never gives it back keeps its own window's keys after a moment.
        QVERIFY(forwardingEnds([](KeyboardHold& hold) {
            return hold.forwardsKeys(pointer, Qt::NoButton, true, false, after(511));
        }));
        QVERIFY(forwardingEnds([](KeyboardHold& hold) {
            hold.pressedElsewhere();
            return hold.forwardsKeys(pointer, Qt::NoButton, true, false, after(20));
        }));
    }

    void aWindowManagerThatKeepsTakingItIsLetBe() {
        KeyboardHold hold;
        hold.changeBegan(pointer, began);
        for (int i = 0; i < 3; ++i)
            QVERIFY(hold.lost(pointer, Qt::NoButton, true, false, true, after(10 * i)));
        QVERIFY(!hold.lost(pointer, Qt::NoButton, true, false, true, after(40)));
        // A new change holds afresh.
        hold.changeBegan(pointer, after(50));
        QVERIFY(hold.lost(pointer, Qt::NoButton, true, false, true, after(60)));
    }
};

QTEST_GUILESS_MAIN(KeyboardHoldTest)
#include "KeyboardHoldTest.moc"
