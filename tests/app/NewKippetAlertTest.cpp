#include "app/Dialogs.h"
#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "model/KippetColor.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "window/FloatingKippetWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace {
struct FieldSeen {
    QString placeholder;
    int width = 0;
    bool focused = false;
};

// Answers the real dialog once it is up, as the user would, with the keys given.
void answerWhenShown(const QString& typed, Qt::Key key, FieldSeen& seen) {
    QTimer::singleShot(0, [typed, key, &seen] {
        QWidget* dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("TextQuestionField"));
        QVERIFY(field);
        seen = FieldSeen{field->placeholderText(), field->width(), dialog->focusWidget() == field};
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, key);
    });
}
} // namespace

class NewKippetAlertTest : public QObject {
    Q_OBJECT
private slots:
    void aBlankNameBecomesNewKippet() {
        AppHarness app;
        app.start();
        app.dialogs().queueTextAnswer(QStringLiteral("   \n"));
        app.registry().createNewKippet();
        QCOMPARE(app.dialogs().shown().size(), 1);
        QCOMPARE(app.dialogs().shown().first().title, QStringLiteral("Create New Kippet"));
        QCOMPARE(app.dialogs().shown().first().text,
                 QStringLiteral("Enter a name for your new kippet:"));
        QCOMPARE(app.dialogs().shown().first().buttons,
                 (QStringList{QStringLiteral("Create"), QStringLiteral("Cancel")}));
        Kippet* made = app.byName(QStringLiteral("New Kippet"));
        QVERIFY(made);
        QCOMPARE(made->color(), KippetColor::standardBlue());
        QCOMPARE(made->icon(), QStringLiteral("tray.fill"));
        QVERIFY(!made->isDailyKippet());
        QVERIFY(app.windowOf(QStringLiteral("New Kippet"))->isVisible());

        app.dialogs().queueTextAnswer(QStringLiteral("  Receipts "));
        app.registry().createNewKippet();
        QVERIFY(app.byName(QStringLiteral("Receipts")));
    }

    void cancellingCreatesNothing() {
        AppHarness app;
        app.start();
        app.dialogs().queueTextAnswer(std::nullopt);
        app.registry().createNewKippet();
        QCOMPARE(app.manager().allKippets().size(), 0);
        QCOMPARE(app.registry().floatingWindows().size(), 0);
    }

    void aRefusedCreationShowsTheError() {
        AppHarness app;
        app.start();
        QVERIFY(app.failStore(QStringLiteral("CREATE TRIGGER no_kippets BEFORE INSERT ON kippets "
                                             "BEGIN SELECT RAISE(ABORT, 'disk full'); END")));
        app.dialogs().queueTextAnswer(QStringLiteral("Receipts"));
        app.registry().createNewKippet();
        QCOMPARE(app.manager().allKippets().size(), 0);
        QCOMPARE(app.dialogs().shown().size(), 2);
        const Dialogs::Shown error = app.dialogs().shown().last();
        QCOMPARE(error.title, QStringLiteral("Error"));
        QVERIFY2(error.text.startsWith(QStringLiteral("Failed to save: ")), qPrintable(error.text));
        QCOMPARE(error.buttons, QStringList{QStringLiteral("OK")});
    }

    void theRealDialogTakesReturnAndEscape() {
        AppHarness app;
        app.start();
        app.dialogs().setRecordingOnly(false);
        FieldSeen seen;
        answerWhenShown(QString(), Qt::Key_Return, seen);
        app.registry().createNewKippet();
        QCOMPARE(seen.placeholder, QStringLiteral("Kippet name"));
        QCOMPARE(seen.width, 300);
        QVERIFY(seen.focused);
        QVERIFY(app.byName(QStringLiteral("New Kippet")));

        answerWhenShown(QStringLiteral("Travel"), Qt::Key_Escape, seen);
        app.registry().createNewKippet();
        QVERIFY(!app.byName(QStringLiteral("Travel")));
        QCOMPARE(app.manager().allKippets().size(), 1);
    }
};

QTEST_MAIN(NewKippetAlertTest)
#include "NewKippetAlertTest.moc"
