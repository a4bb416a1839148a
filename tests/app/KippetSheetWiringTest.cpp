#include "app/KippetSheetWiring.h"
#include "dashboard/BusyButton.h"
#include "dashboard/CreateKippetSheet.h"
#include "dashboard/CustomInstructionsSheet.h"
#include "dashboard/LimitedTextEdit.h"
#include "dashboard/SheetHarness.h"
#include "support/PanelButtons.h"
#include "window/ActionButton.h"
#include "window/FloatingKippetView.h"
#include "window/FloatingKippetWindow.h"
#include "window/PanelDriver.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

using namespace std::chrono_literals;

// A kippet window as the app wires it: its "New Kippet" button and its "Custom Instructions..."
// present the real sheets, which create kippets and store instructions through the shared
// routines.
class KippetSheetWiringTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<SheetHarness> h;
    Kippet* desk = nullptr;
    QPointer<FloatingKippetWindow> window;

    FloatingKippetView* view() { return qobject_cast<FloatingKippetView*>(window->contentView()); }
    CreateKippetSheet* createSheet() { return window->findChild<CreateKippetSheet*>(); }
    CustomInstructionsSheet* instructionsSheet() {
        return window->findChild<CustomInstructionsSheet*>();
    }
    CreateKippetSheet* pressNewKippet() {
        auto* button = panelButton(view()->currentLayout(), QStringLiteral("NewKippetButton"));
        if (!button)
            return nullptr;
        QTest::mouseClick(button, Qt::LeftButton);
        return createSheet();
    }
    QList<Kippet*> made() {
        QList<Kippet*> kippets = h->manager().allKippets();
        kippets.removeAll(desk);
        return kippets;
    }
    static void settle() {
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        AppHarness::settle();
    }

private slots:
    void init() {
        h = std::make_unique<SheetHarness>();
        KippetSheetWiring::install();
        desk = h->createKippet("Desk");
        window = PanelDriver::showActive(h->app, desk);
    }
    void cleanup() {
        KippetSheetWiring::uninstall();
        h.reset();
    }

    void newKippetCreatesOpensAndEndsTheSheet() {
        CreateKippetSheet* sheet = pressNewKippet();
        QVERIFY(sheet && sheet->isVisible());
        QVERIFY(view()->showNewKippetSheet());
        QTest::keyClicks(sheet->nameField(), "Invoices");
        QTest::keyClicks(sheet->instructionsEditor(), "By client");
        QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
        settle();
        QCOMPARE(made().size(), 1);
        Kippet* invoices = made().first();
        QCOMPARE(invoices->name(), QString("Invoices"));
        QCOMPARE(invoices->customInstructions(), std::optional<QString>("By client"));
        QCOMPARE(h->row(invoices->id())->sanitizedInstructions,
                 std::optional<QString>("Sort items by client name."));
        FloatingKippetWindow* opened = h->registry().registeredWindow(invoices->id());
        QVERIFY(opened && opened->isVisible());
        QTRY_VERIFY(opened->isActiveWindow());
        QVERIFY(!createSheet());
        QVERIFY(!view()->showNewKippetSheet());
        // The next opening is a fresh, empty form.
        sheet = pressNewKippet();
        QVERIFY(sheet);
        QCOMPARE(sheet->nameField()->text(), QString(""));
        QTest::keyClick(sheet, Qt::Key_Escape);
        settle();
        QVERIFY(!createSheet());
        QVERIFY(!view()->showNewKippetSheet());
        QCOMPARE(made().size(), 1);
    }

    void cancelDuringSlowScreeningCreatesNothingAndDoubleSaveCreatesOne() {
        h->slowScreening(4s);
        CreateKippetSheet* sheet = pressNewKippet();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->nameField(), "Invoices");
        QTest::keyClicks(sheet->instructionsEditor(), "By client");
        QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
        QVERIFY(sheet->confirmButton()->isBusy());
        QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
        settle();
        QVERIFY(!view()->showNewKippetSheet());
        h->finishScreening(4s);
        settle();
        QVERIFY(made().isEmpty());

        sheet = pressNewKippet();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->nameField(), "Invoices");
        QTest::keyClicks(sheet->instructionsEditor(), "By client");
        QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
        QTest::keyClick(sheet->nameField(), Qt::Key_Return);
        QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
        h->finishScreening(4s);
        settle();
        QCOMPARE(made().size(), 1);
        QCOMPARE(h->screener->screenedTexts.size(), 2);
    }

    void aRejectionKeepsTheFieldsAndTheNextSaveScreensAgain() {
        h->rejectScreening();
        CreateKippetSheet* sheet = pressNewKippet();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->nameField(), "Invoices");
        QTest::keyClicks(sheet->instructionsEditor(), "Insult the client");
        QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
        settle();
        QVERIFY(made().isEmpty());
        QCOMPARE(h->alerts().size(), 1);
        QCOMPARE(h->alerts().first().title, QString("Error"));
        QCOMPARE(h->alerts().first().text,
                 QString("Custom instructions were rejected - please revise and try again"));
        QCOMPARE(createSheet(), sheet);
        QVERIFY(view()->showNewKippetSheet());
        QCOMPARE(sheet->nameField()->text(), QString("Invoices"));
        QCOMPARE(sheet->instructionsEditor()->toPlainText(), QString("Insult the client"));

        h->screener->setScreening(QStringLiteral("Sort items by client name."));
        QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
        settle();
        QCOMPARE(h->screener->screenedTexts.size(), 2);
        QCOMPARE(made().size(), 1);
    }

    void blankAndUnscreenedInstructions() {
        // Only spaces and line breaks: no screening, no instructions.
        CreateKippetSheet* sheet = pressNewKippet();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->nameField(), "Blank");
        QTest::keyClicks(sheet->instructionsEditor(), "  ");
        QTest::keyClick(sheet->instructionsEditor(), Qt::Key_Return);
        QTest::keyClicks(sheet->instructionsEditor(), " ");
        QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
        settle();
        QVERIFY(h->screener->screenedTexts.isEmpty());
        Kippet* blank = h->app.byName("Blank");
        QVERIFY(blank);
        QCOMPARE(blank->customInstructions(), std::nullopt);

        // Nothing left that can screen: kept trimmed, with no screened form.
        h->useClassifierOnly();
        sheet = pressNewKippet();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->nameField(), "Plain");
        QTest::keyClicks(sheet->instructionsEditor(), "  By client  ");
        QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
        settle();
        Kippet* plain = h->app.byName("Plain");
        QVERIFY(plain);
        QCOMPARE(plain->customInstructions(), std::optional<QString>("By client"));
        QCOMPARE(plain->sanitizedInstructions(), std::nullopt);
        QCOMPARE(h->row(plain->id())->sanitizedInstructions, std::nullopt);
        QVERIFY(h->alerts().isEmpty());
    }

    void aStoreFailureShowsItsMessageAndKeepsTheFields() {
        h->failStore("INSERT", "kippets");
        CreateKippetSheet* sheet = pressNewKippet();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->nameField(), "Invoices");
        QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
        settle();
        QVERIFY(made().isEmpty());
        QCOMPARE(h->alerts().size(), 1);
        QCOMPARE(h->alerts().first().title, QString("Error"));
        QVERIFY2(h->alerts().first().text.contains("refused"),
                 qPrintable(h->alerts().first().text));
        QCOMPARE(createSheet(), sheet);
        QCOMPARE(sheet->nameField()->text(), QString("Invoices"));
        QVERIFY(!sheet->confirmButton()->isBusy());
    }

    void aWindowClosedDuringTheScreeningIsLeftAlone() {
        h->slowScreening(4s);
        CreateKippetSheet* sheet = pressNewKippet();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->nameField(), "Invoices");
        QTest::keyClicks(sheet->instructionsEditor(), "By client");
        QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
        h->registry().closeWindow(desk);
        QTRY_VERIFY(!window);
        h->finishScreening(4s);
        settle();
        // The confirmed kippet is still made and shown; nobody is left to tell anything.
        QCOMPARE(made().size(), 1);
        QVERIFY(h->registry().registeredWindow(made().first()->id()));
        QVERIFY(h->alerts().isEmpty());
    }

    void customInstructionsAreScreenedAndStored() {
        view()->setShowCustomInstructionsSheet(true);
        CustomInstructionsSheet* sheet = instructionsSheet();
        QVERIFY(sheet && sheet->isVisible());
        QTest::keyClicks(sheet->editor(), "  By client ");
        QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
        settle();
        QCOMPARE(h->screener->screenedTexts, QStringList{"By client"});
        QCOMPARE(desk->customInstructions(), std::optional<QString>("By client"));
        QCOMPARE(h->row(desk->id())->sanitizedInstructions,
                 std::optional<QString>("Sort items by client name."));
        QVERIFY(!instructionsSheet());
        QVERIFY(!view()->showCustomInstructionsSheet());

        // Reopened, it shows what is stored; Cancel ends it and changes nothing.
        view()->setShowCustomInstructionsSheet(true);
        sheet = instructionsSheet();
        QVERIFY(sheet);
        QCOMPARE(sheet->editor()->toPlainText(), QString("By client"));
        QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
        settle();
        QVERIFY(!view()->showCustomInstructionsSheet());
        QCOMPARE(desk->customInstructions(), std::optional<QString>("By client"));
    }

    // The kippet shows what the store holds: instructions that were not written are not shown
    // as if they had been, to vanish at the next start.
    void aFailedWriteIsShownAndTheKippetKeepsWhatIsStored() {
        h->failStore("UPDATE", "kippets");
        view()->setShowCustomInstructionsSheet(true);
        CustomInstructionsSheet* sheet = instructionsSheet();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->editor(), "By client");
        QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
        settle();
        QCOMPARE(desk->customInstructions(), std::nullopt);
        QCOMPARE(h->alerts().size(), 1);
        QCOMPARE(h->alerts().first().title, QString("Error"));
        QVERIFY2(h->alerts().first().text.contains("refused"),
                 qPrintable(h->alerts().first().text));
        h->healStore();
        QCOMPARE(h->row(desk->id())->customInstructions, std::nullopt);
    }

    void closingTheWindowDuringScreeningStillStoresThePair() {
        h->slowScreening(4s);
        view()->setShowCustomInstructionsSheet(true);
        CustomInstructionsSheet* sheet = instructionsSheet();
        QVERIFY(sheet);
        QTest::keyClicks(sheet->editor(), "By client");
        QTest::mouseClick(sheet->saveButton(), Qt::LeftButton);
        QVERIFY(sheet->isSanitizing());
        h->registry().closeWindow(desk);
        QTRY_VERIFY(!window);
        h->finishScreening(4s);
        settle();
        QCOMPARE(desk->customInstructions(), std::optional<QString>("By client"));
        QCOMPARE(h->row(desk->id())->customInstructions, std::optional<QString>("By client"));
        QVERIFY(h->alerts().isEmpty());
    }
};

QTEST_MAIN(KippetSheetWiringTest)
#include "KippetSheetWiringTest.moc"
