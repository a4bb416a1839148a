#include "TourFixture.h"

#include "app/DashboardWindow.h"
#include "editors/TodoEditorWindow.h"
#include "model/KeyboardShortcuts.h"
#include "onboarding/KeyBadge.h"
#include "onboarding/KeyCaptureField.h"
#include "onboarding/ShortcutRow.h"
#include "onboarding/ShortcutsStepView.h"
#include "platform/Preferences.h"
#include "window/FloatingKippetWindow.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMimeData>
#include <QShortcut>
#include <QSignalSpy>

namespace {
ShortcutsStepView* showShortcuts(OnboardingWindow* window) {
    window->state()->setCurrentStep(4);
    settle();
    return qobject_cast<ShortcutsStepView*>(window->view()->stepView());
}

// Puts the action's row in edit mode with "Edit"; returns its key field.
KeyCaptureField* edit(ShortcutsStepView* step, KeyboardAction action) {
    QTest::mouseClick(step->row(action)->editButton(), Qt::LeftButton);
    return step->row(action)->keyField();
}

void typeText(QWidget* widget, Qt::Key key, const QString& text) {
    QTest::sendKeyEvent(QTest::Click, widget, key, text, Qt::NoModifier);
}

void commit(QWidget* widget, const QString& text) {
    QInputMethodEvent event;
    event.setCommitString(text);
    QApplication::sendEvent(widget, &event);
}

QByteArray storedShortcuts() {
    return Preferences::shared().dataValue(KeyboardShortcuts::preferenceKey).value_or(QByteArray());
}

void advance(int milliseconds) {
    testClock().advance(std::chrono::milliseconds(milliseconds));
}

// The kippet's panel, shown and active, for keys typed on it.
FloatingKippetWindow* activePanel(AppHarness& app, Kippet* kippet) {
    FloatingKippetWindow* panel = app.registry().showWindow(kippet);
    panel->activateWindow();
    if (!QTest::qWaitForWindowActive(panel)) {
        qWarning("the panel did not become active");
    }
    return panel;
}

void typeOn(FloatingKippetWindow* panel, Qt::Key key) {
    QTest::keyClick(panel->windowHandle(), key);
    AppHarness::settle();
}
} // namespace

class ShortcutsStepTest : public QObject {
    Q_OBJECT
private slots:
    void aRowCapturesOneLowercaseKeyAndSavesItInMemory() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        ShortcutsStepView* step = showShortcuts(window);
        ShortcutRow* notes = step->row(KeyboardAction::notes);
        QCOMPARE(notes->badge()->letter(), QStringLiteral("N"));
        QVERIFY(!step->saveAllButton()->isVisible());

        KeyCaptureField* field = edit(step, KeyboardAction::notes);
        QCOMPARE(step->editingAction(), KeyboardAction::notes);
        QVERIFY(field->isVisible());
        QCOMPARE(window->focusWidget(), field);
        QCOMPARE(field->text(), QString());
        QVERIFY(!notes->saveButton()->isEnabled());

        QTest::keyClick(field, Qt::Key_A, Qt::ShiftModifier);
        QCOMPARE(field->text(), QStringLiteral("a"));
        QVERIFY(notes->saveButton()->isEnabled());
        // K then X leaves x.
        QTest::keyClick(field, Qt::Key_K);
        QTest::keyClick(field, Qt::Key_X);
        QCOMPARE(field->text(), QStringLiteral("x"));
        QTest::keyClick(field, Qt::Key_A, Qt::ShiftModifier);

        const QByteArray before = storedShortcuts();
        QTest::mouseClick(notes->saveButton(), Qt::LeftButton);
        QCOMPARE(step->editingAction(), std::nullopt);
        QVERIFY(!notes->isEditing());
        QCOMPARE(notes->badge()->letter(), QStringLiteral("A"));
        QCOMPARE(window->state()->customShortcuts().notes, QStringLiteral("a"));
        QVERIFY(window->state()->shortcutsModified());
        QVERIFY(step->saveAllButton()->isVisible());
        // A row's save stays in the tour.
        QCOMPARE(storedShortcuts(), before);
        QCOMPARE(tour.app.notifications().count(QStringLiteral("KeyboardShortcutsUpdated")), 0);
    }

    void theCaptureRuleTakesLettersAndDigitsOfAnyScriptAndSwallowsTheRest() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        ShortcutsStepView* step = showShortcuts(window);
        KeyCaptureField* field = edit(step, KeyboardAction::import);

        QTest::keyClick(field, Qt::Key_7);
        QCOMPARE(field->text(), QStringLiteral("7"));
        typeText(field, Qt::Key_Eacute, QStringLiteral("é"));
        QCOMPARE(field->text(), QStringLiteral("é"));
        QTest::keyClick(field, Qt::Key_7);
        commit(field, QStringLiteral("é"));
        QCOMPARE(field->text(), QStringLiteral("é"));
        // É with a combining accent is still one character.
        commit(field, QStringLiteral("E\u0301"));
        QCOMPARE(field->text(), QStringLiteral("e\u0301"));
        commit(field, QStringLiteral("é"));

        const QList<Qt::Key> refused{Qt::Key_Space,  Qt::Key_Minus,    Qt::Key_Return,
                                     Qt::Key_Escape, Qt::Key_Tab,      Qt::Key_Backtab,
                                     Qt::Key_Left,   Qt::Key_Right,    Qt::Key_Up,
                                     Qt::Key_Down,   Qt::Key_Backspace};
        for (const Qt::Key key : refused) {
            QTest::keyClick(field, key);
            settle();
            const QString name = QKeySequence(key).toString();
            QVERIFY2(window->isVisible(), qPrintable(name));
            QCOMPARE(window->state()->currentStep(), 4);
            QCOMPARE(field->text(), QStringLiteral("é"));
            QCOMPARE(window->focusWidget(), field);
            QCOMPARE(step->editingAction(), KeyboardAction::import);
        }
        // Texts of more than one character, or of none that counts, are refused too.
        commit(field, QStringLiteral("ab"));
        commit(field, QStringLiteral("!"));
        typeText(field, Qt::Key_unknown, QStringLiteral("🙂"));
        QCOMPARE(field->text(), QStringLiteral("é"));
        QCOMPARE(KeyCaptureField::capture(QStringLiteral("Ж")), QStringLiteral("ж"));
        QCOMPARE(KeyCaptureField::capture(QStringLiteral("٣")), QStringLiteral("٣"));

        // No shortcut of the application fires while the field has the key.
        auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Q), window);
        QSignalSpy fired(shortcut, &QShortcut::activated);
        QTest::keyClick(field, Qt::Key_Q);
        QCOMPARE(fired.count(), 0);
        QCOMPARE(field->text(), QStringLiteral("q"));

        // Nothing reaches it but keys: no paste, drop, middle click or context menu.
        QGuiApplication::clipboard()->setText(QStringLiteral("z"));
        // Control with V types the control character SYN, as the X server delivers it.
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_V, QString(QChar(0x16)),
                            Qt::ControlModifier);
        QTest::mouseClick(field, Qt::MiddleButton);
        QMimeData dragged;
        dragged.setText(QStringLiteral("z"));
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dragged, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(field, &drop);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5),
                               field->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(field, &menu);
        QVERIFY(!QApplication::activePopupWidget());
        QCOMPARE(field->text(), QStringLiteral("q"));
        QCOMPARE(step->row(KeyboardAction::import)->newKey(), QStringLiteral("q"));
    }

    void editOnAnotherRowDropsTheFirstCapture() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        ShortcutsStepView* step = showShortcuts(window);
        KeyCaptureField* notes = edit(step, KeyboardAction::notes);
        QTest::keyClick(notes, Qt::Key_K);

        KeyCaptureField* import = edit(step, KeyboardAction::import);
        QCOMPARE(step->editingAction(), KeyboardAction::import);
        QVERIFY(!step->row(KeyboardAction::notes)->isEditing());
        QCOMPARE(step->row(KeyboardAction::notes)->newKey(), QString());
        QCOMPARE(step->row(KeyboardAction::notes)->badge()->letter(), QStringLiteral("N"));
        QCOMPARE(window->state()->customShortcuts().notes, QStringLiteral("n"));
        QCOMPARE(import->text(), QString());
        QCOMPARE(window->focusWidget(), import);

        // Cancel leaves the key as it was.
        QTest::keyClick(import, Qt::Key_J);
        QTest::mouseClick(step->row(KeyboardAction::import)->cancelButton(), Qt::LeftButton);
        QCOMPARE(step->editingAction(), std::nullopt);
        QCOMPARE(window->state()->customShortcuts().import, QStringLiteral("i"));
        QVERIFY(!window->state()->shortcutsModified());
    }

    void resetAndSaveStoreThePostedKeysThatOpenWindowsThenAnswer() {
        TourFixture tour;
        Kippet* kippet = tour.app.addKippet(QStringLiteral("Inbox"), {100, 100});
        OnboardingWindow* window = tour.openTour();
        ShortcutsStepView* step = showShortcuts(window);

        // Reset on keys already at their defaults still offers to save them.
        QTest::mouseClick(step->resetButton(), Qt::LeftButton);
        QVERIFY(window->state()->shortcutsModified());
        QVERIFY(step->saveAllButton()->isVisible());
        QTest::mouseClick(step->saveAllButton(), Qt::LeftButton);
        QCOMPARE(tour.app.notifications().count(QStringLiteral("KeyboardShortcutsUpdated")), 1);
        QVERIFY(!step->saveAllButton()->isVisible());
        const QJsonObject stored = QJsonDocument::fromJson(storedShortcuts()).object();
        QCOMPARE(stored, QJsonObject({{"todos", "t"},
                                      {"notes", "n"},
                                      {"import", "i"},
                                      {"paste", "v"},
                                      {"expand", "e"},
                                      {"mini", "m"},
                                      {"dashboard", "d"}}));

        // Two actions on one key: both rows show it; the first action in order wins in a window.
        KeyCaptureField* field = edit(step, KeyboardAction::dashboard);
        QTest::keyClick(field, Qt::Key_T);
        QTest::mouseClick(step->row(KeyboardAction::dashboard)->saveButton(), Qt::LeftButton);
        field = edit(step, KeyboardAction::expand);
        QTest::keyClick(field, Qt::Key_X);
        QTest::mouseClick(step->row(KeyboardAction::expand)->saveButton(), Qt::LeftButton);
        QCOMPARE(step->row(KeyboardAction::todos)->badge()->letter(), QStringLiteral("T"));
        QCOMPARE(step->row(KeyboardAction::dashboard)->badge()->letter(), QStringLiteral("T"));
        QTest::mouseClick(step->saveAllButton(), Qt::LeftButton);
        QCOMPARE(tour.app.notifications().count(QStringLiteral("KeyboardShortcutsUpdated")), 2);
        QCOMPARE(QJsonDocument::fromJson(storedShortcuts()).object().value("dashboard").toString(),
                 QStringLiteral("t"));

        FloatingKippetWindow* panel = activePanel(tour.app, kippet);
        typeOn(panel, Qt::Key_T);
        QVERIFY(panel->todoWindow());
        QVERIFY(!tour.app.registry().dashboardWindow());
        typeOn(panel, Qt::Key_E);
        QVERIFY(!kippet->isExpanded());
        typeOn(panel, Qt::Key_X);
        QVERIFY(kippet->isExpanded());
    }

    void theTestFieldPraisesAKeyForTwoSecondsAfterTheLast() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        ShortcutsStepView* step = showShortcuts(window);
        KeyCaptureField* field = step->testField();
        QCOMPARE(field->placeholder(), QStringLiteral("Click here and press a shortcut..."));
        QTest::mouseClick(field, Qt::LeftButton);
        QCOMPARE(window->focusWidget(), field);
        QVERIFY(!step->testMessage()->isVisible());

        QTest::keyClick(field, Qt::Key_Q);
        QCOMPARE(field->text(), QStringLiteral("q"));
        QVERIFY(step->testMessage()->isVisible());
        QCOMPARE(step->testMessage()->text(), QStringLiteral("✓ Good job! You pressed 'Q'"));
        advance(1999);
        QVERIFY(step->testMessage()->isVisible());
        advance(1);
        QVERIFY(!step->testMessage()->isVisible());
        QCOMPARE(field->text(), QString());

        QTest::keyClick(field, Qt::Key_A);
        advance(1500);
        QTest::keyClick(field, Qt::Key_B);
        QCOMPARE(step->testMessage()->text(), QStringLiteral("✓ Good job! You pressed 'B'"));
        // Where A's own clearing would have fallen.
        advance(500);
        QVERIFY(step->testMessage()->isVisible());
        QCOMPARE(step->testInput(), QStringLiteral("b"));
        // A refused key neither shows nor extends anything.
        QTest::keyClick(field, Qt::Key_Space);
        advance(1499);
        QCOMPARE(step->testMessage()->text(), QStringLiteral("✓ Good job! You pressed 'B'"));
        advance(1);
        QVERIFY(!step->testMessage()->isVisible());
        QVERIFY(window->isVisible());
    }
};

QTEST_MAIN(ShortcutsStepTest)
#include "ShortcutsStepTest.moc"
