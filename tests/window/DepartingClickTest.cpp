#include "window/DepartingClick.h"

#include <QTest>
#include <functional>

namespace {
const QDateTime left = QDateTime::fromMSecsSinceEpoch(1000000, Qt::UTC);
const QPoint clicked(759, 310);

QDateTime after(qint64 ms) {
    return left.addMSecs(ms);
}
} // namespace

// A click beside a panel under way gives the keyboard to the window clicked; its press, handed
// late to the panel's picture that has come there meanwhile, leaves the panel alone. Every other
// press on the picture is the panel's.
class DepartingClickTest : public QObject {
    Q_OBJECT
private slots:
    void theLatePressOfTheClickThatTookTheKeyboardIsNotThePanels() {
        DepartingClick click;
        // As the app reads them: the keyboard gone first, then the press, on the picture.
        click.keyboardLeft(clicked, Qt::NoButton, true, left);
        QCOMPARE(click.phase(), DepartingClick::Phase::awaitingPress);
        QVERIFY(click.pressedOnPanel(clicked, after(20)));
        // Only that one press: the next is the user's, on the panel.
        QCOMPARE(click.phase(), DepartingClick::Phase::idle);
        QVERIFY(!click.pressedOnPanel(clicked, after(40)));
    }

    void everyOtherPressOnThePictureIsThePanels() {
        const auto panels = [](const std::function<bool(DepartingClick&)>& press) {
            DepartingClick click;
            return !press(click) && click.phase() == DepartingClick::Phase::idle;
        };
        // The keyboard never left.
        QVERIFY(panels([](DepartingClick& click) { return click.pressedOnPanel(clicked, left); }));
        // The click's press reached the window clicked: a press after it is another click.
        QVERIFY(panels([](DepartingClick& click) {
            click.keyboardLeft(clicked, Qt::NoButton, true, left);
            click.pressedElsewhere();
            return click.pressedOnPanel(clicked, after(20));
        }));
        // The press had reached the app before the keyboard moved.
        QVERIFY(panels([](DepartingClick& click) {
            click.keyboardLeft(clicked, Qt::LeftButton, true, left);
            return click.pressedOnPanel(clicked, after(20));
        }));
        // No change under way: nothing came where the user clicked.
        QVERIFY(panels([](DepartingClick& click) {
            click.keyboardLeft(clicked, Qt::NoButton, false, left);
            return click.pressedOnPanel(clicked, after(20));
        }));
        // The panel has the keyboard again.
        QVERIFY(panels([](DepartingClick& click) {
            click.keyboardLeft(clicked, Qt::NoButton, true, left);
            click.keyboardBack();
            return click.pressedOnPanel(clicked, after(20));
        }));
        // Elsewhere than the pointer stood as the keyboard went, or long after.
        QVERIFY(panels([](DepartingClick& click) {
            click.keyboardLeft(clicked, Qt::NoButton, true, left);
            return click.pressedOnPanel(clicked + QPoint(0, 1), after(20));
        }));
        QVERIFY(panels([](DepartingClick& click) {
            click.keyboardLeft(clicked, Qt::NoButton, true, left);
            return click.pressedOnPanel(clicked, after(1001));
        }));
    }
};

QTEST_GUILESS_MAIN(DepartingClickTest)
#include "DepartingClickTest.moc"
