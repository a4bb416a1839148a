#include "dashboard/CreateKippetSheet.h"
#include "dashboard/BusyButton.h"
#include "dashboard/CapsuleBadge.h"
#include "dashboard/CharacterCounter.h"
#include "dashboard/ColorSwatchGrid.h"
#include "dashboard/DisclosureHeader.h"
#include "dashboard/IconGrid.h"
#include "dashboard/KippetForm.h"
#include "dashboard/KippetPreviewCard.h"
#include "dashboard/LimitedTextEdit.h"
#include "dashboard/SheetBadge.h"
#include "dashboard/SheetHarness.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

namespace {
const QColor orange(255, 149, 0);

// 600 user-perceived characters of mixed kinds: joined emoji, flags, skin tones, letters with
// combining marks, plain letters.
QStringList mixedCharacters(int count) {
    const QStringList kinds{QString::fromUtf8("👩‍💻"),
                            QString::fromUtf8("e\u0301"),
                            QStringLiteral("a"),
                            QString::fromUtf8("🇩🇪"),
                            QString::fromUtf8("👍🏽"),
                            QString::fromUtf8("n\u0303\u0323"),
                            QStringLiteral("Z"),
                            QString::fromUtf8("한")};
    QStringList characters;
    for (int index = 0; index < count; ++index)
        characters.append(kinds.at(index % kinds.size()));
    return characters;
}

void paste(QWidget* editor, const QString& text) {
    QApplication::clipboard()->setText(text);
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_V, Qt::ControlModifier);
}
} // namespace

class CreateKippetSheetTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<SheetHarness> h;
    std::unique_ptr<KippetForm> form;
    std::unique_ptr<CreateKippetSheet> sheet;
    int cancels = 0;
    int saves = 0;

    CreateKippetSheet* open(const Kippet* kippet = nullptr) {
        sheet = std::make_unique<CreateKippetSheet>(
            *form, kippet, [this] { ++cancels; }, [this] { ++saves; });
        sheet->show();
        return sheet.get();
    }

private slots:
    void init() {
        h = std::make_unique<SheetHarness>();
        form = std::make_unique<KippetForm>();
        cancels = saves = 0;
    }
    void cleanup() {
        sheet.reset();
        form.reset();
        h.reset();
    }

    void formStartsAtTheDefaultsAndTakesAKippetsValues() {
        QCOMPARE(form->name(), QString(""));
        QCOMPARE(form->color().toHex(), QString("007AFF"));
        QCOMPARE(form->icon(), QString("tray.fill"));
        QCOMPARE(form->customInstructions(), QString(""));
        Kippet* kippet = h->createKippet("Invoices", QString("By client"));
        kippet->setColor(*KippetColor::fromHex("FF9500"));
        form->fill(*kippet);
        QCOMPARE(form->name(), QString("Invoices"));
        QCOMPARE(form->color().toHex(), QString("FF9500"));
        QCOMPARE(form->icon(), QString("folder.fill"));
        QCOMPARE(form->customInstructions(), QString("By client"));
        form->reset();
        QCOMPARE(form->name(), QString(""));
        QCOMPARE(form->icon(), QString("tray.fill"));
    }

    void titlesAndButtonsInBothModes() {
        open();
        QCOMPARE(sheet->titleLabel()->text(), QString("Create New Kippet"));
        QCOMPARE(sheet->windowTitle(), QString("Create New Kippet"));
        QCOMPARE(sheet->confirmButton()->text(), QString("Create"));
        QCOMPARE(sheet->confirmButton()->property("symbol").toString(), QString("plus.circle"));
        QCOMPARE(sheet->cancelButton()->text(), QString("Cancel"));
        QCOMPARE(sheet->cancelButton()->property("symbol").toString(), QString("xmark.circle"));
        QCOMPARE(sheet->nameField()->placeholderText(), QString("Kippet name"));

        Kippet* kippet = h->createKippet("Work");
        form->fill(*kippet);
        open(kippet);
        QCOMPARE(sheet->titleLabel()->text(), QString("Edit Kippet"));
        QCOMPARE(sheet->confirmButton()->text(), QString("Save"));
        QCOMPARE(sheet->confirmButton()->property("symbol").toString(),
                 QString("checkmark.circle"));
        QCOMPARE(sheet->nameField()->text(), QString("Work"));
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
    }

    void blankNameCannotBeConfirmed() {
        form->setName(" \n  \t");
        open();
        QVERIFY(!sheet->confirmButton()->isEnabled());
        QCOMPARE(sheet->previewCard()->displayName(), QString("New Kippet"));
        QTest::keyClick(sheet->nameField(), Qt::Key_Return);
        QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
        QCOMPARE(saves, 0);
        // Escape cancels whatever the name.
        QTest::keyClick(sheet->nameField(), Qt::Key_Escape);
        QCOMPARE(cancels, 1);
        QVERIFY(sheet->isVisible());
    }

    void nameIsTrimmedOnlyForTheSheetsOwnTests() {
        open();
        QTest::keyClicks(sheet->nameField(), "  Word  ");
        QCOMPARE(form->name(), QString("  Word  "));
        QCOMPARE(sheet->nameField()->text(), QString("  Word  "));
        QCOMPARE(sheet->previewCard()->displayName(), QString("Word"));
        QVERIFY(sheet->confirmButton()->isEnabled());
        QTest::keyClick(sheet->nameField(), Qt::Key_Return);
        QCOMPARE(saves, 1);
        QTest::mouseClick(sheet->confirmButton(), Qt::LeftButton);
        QCOMPARE(saves, 2);
        // The host's value follows into the field.
        form->setName("Renamed");
        QCOMPARE(sheet->nameField()->text(), QString("Renamed"));
        QCOMPARE(sheet->previewCard()->displayName(), QString("Renamed"));
    }

    void clicksChangeTheHostAtOnceAndCancelKeepsThem() {
        form->setName("Travel");
        open();
        ColorSwatchGrid* colors = sheet->colorGrid();
        QTest::mouseClick(colors, Qt::LeftButton, {}, colors->cellRect(6).center());
        QCOMPARE(form->color().toHex(), QString("007AFF"));
        QTest::mouseClick(colors, Qt::LeftButton, {}, colors->cellRect(2).center());
        QCOMPARE(form->color().toHex(), QString("FF9500"));
        QCOMPARE(sheet->previewCard()->badge()->color().rgba(), QColor(255, 149, 0).rgba());
        IconGrid* icons = sheet->iconGrid();
        QTest::mouseClick(icons, Qt::LeftButton, {}, icons->cellRect(42).center());
        QCOMPARE(form->icon(), QString("airplane"));
        QCOMPARE(icons->selectedCell(), 42);
        QCOMPARE(sheet->previewCard()->badge()->icon(), QString("airplane"));
        QTest::mouseClick(sheet->cancelButton(), Qt::LeftButton);
        QCOMPARE(cancels, 1);
        QCOMPARE(saves, 0);
        QCOMPARE(form->color().toHex(), QString("FF9500"));
        QCOMPARE(form->icon(), QString("airplane"));
    }

    void paletteAndIconTables() {
        const QStringList hex{"FF453A", "FF9500", "FFCC00", "4CD964", "00C7BE", "007AFF", "5B57D6",
                              "BF5AF2", "FF9F9F", "FFCC99", "FFF199", "B2EEBB", "99EEEE", "ADD8FF",
                              "CCCCFF", "EACCFF", "930000", "996633", "999900", "006400", "008080",
                              "00428B", "4B0082", "8B4513", "333333", "666666", "999999", "CCCCCC",
                              "FFC0CB", "F08080", "D2B48C", "A0522D"};
        const QList<KippetColor>& palette = CreateKippetSheet::colorPalette();
        QCOMPARE(palette.size(), 32);
        open();
        for (int index = 0; index < hex.size(); ++index) {
            QCOMPARE(palette.at(index).toHex(), hex.at(index));
            form->setColor(*KippetColor::fromHex(hex.at(index)));
            QCOMPARE(sheet->colorGrid()->selectedCell(), index + 1);
        }
        const QStringList& icons = CreateKippetSheet::iconOptions();
        QCOMPARE(icons.size(), 48);
        QCOMPARE(QSet<QString>(icons.begin(), icons.end()).size(), 48);
        QCOMPARE(icons.first(), QString("tray.fill"));
        QCOMPARE(icons.at(22), QString("bubble.left.and.bubble.right.fill"));
        QCOMPARE(icons.last(), QString("figure.walk"));
        // Eight columns: the custom cell and colours 1 to 7 on the first row, colour 32 alone
        // on the fifth; six icons to a row.
        QCOMPARE(sheet->colorGrid()->cellRect(8).top(), sheet->colorGrid()->cellRect(1).top() + 48);
        QCOMPARE(sheet->colorGrid()->cellRect(32).left(), sheet->colorGrid()->cellRect(0).left());
        QCOMPARE(sheet->colorGrid()->cellRect(7).left() - sheet->colorGrid()->cellRect(6).left(),
                 52);
        QCOMPARE(sheet->iconGrid()->cellRect(6).top() - sheet->iconGrid()->cellRect(0).top(), 58);
        QCOMPARE(sheet->iconGrid()->cellRect(47).left() - sheet->iconGrid()->cellRect(0).left(),
                 5 * 58);
    }

    void swatchesAndIconsWorkFromTheKeyboard() {
        form->setName("Travel");
        form->setColor(*KippetColor::fromHex("FF9500"));
        open();
        QApplication::setActiveWindow(sheet.get());
        ColorSwatchGrid* colors = sheet->colorGrid();
        IconGrid* icons = sheet->iconGrid();
        // A click chooses without giving the grid the keyboard.
        QTest::mouseClick(colors, Qt::LeftButton, {}, colors->cellRect(3).center());
        QVERIFY(!colors->hasFocus());
        QCOMPARE(colors->focusedCell(), -1);
        QCOMPARE(form->color().toHex(), QString("FFCC00"));
        sheet->nameField()->setFocus();

        // Tab from the name reaches the colours, on the chosen swatch, with its ring drawn.
        const QImage unfocused = colors->grab().toImage();
        QTest::keyClick(sheet->nameField(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), colors);
        QCOMPARE(colors->focusedCell(), 3);
        QVERIFY(colors->grab().toImage() != unfocused);

        // Arrows move within the grid and stop at its edges; Space and Return choose.
        QTest::keyClick(colors, Qt::Key_Right);
        QTest::keyClick(colors, Qt::Key_Down);
        QCOMPARE(colors->focusedCell(), 12);
        QCOMPARE(form->color().toHex(), QString("FFCC00"));
        QTest::keyClick(colors, Qt::Key_Space);
        QCOMPARE(form->color().toHex(), QString("B2EEBB"));
        for (int step = 0; step < 6; ++step)
            QTest::keyClick(colors, Qt::Key_Down);
        QCOMPARE(colors->focusedCell(), 28);
        QTest::keyClick(colors, Qt::Key_Left);
        QTest::keyClick(colors, Qt::Key_Return);
        QCOMPARE(form->color().toHex(), QString("999999"));
        QCOMPARE(saves, 0);

        // The next Tab reaches the icons.
        QTest::keyClick(colors, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), icons);
        QCOMPARE(icons->focusedCell(), icons->selectedCell());
        QTest::keyClick(icons, Qt::Key_Up);
        QCOMPARE(icons->focusedCell(), icons->selectedCell());
        QTest::keyClick(icons, Qt::Key_Down);
        QTest::keyClick(icons, Qt::Key_Right);
        QTest::keyClick(icons, Qt::Key_Space);
        QCOMPARE(form->icon(), CreateKippetSheet::iconOptions().at(icons->selectedCell()));
        QCOMPARE(icons->selectedCell(), 7);
        QCOMPARE(form->icon(), QString("doc.text.fill"));
        QCOMPARE(saves, 0);
    }

    void storedColourMarksItsSwatch() {
        form->setColor(*KippetColor::fromHex("FF453A"));
        open();
        QCOMPARE(sheet->colorGrid()->selectedCell(), 1);
        // The ringed swatch shows a white ring along its edge.
        const QImage image = sheet->colorGrid()->grab().toImage();
        const QRect swatch = sheet->colorGrid()->cellRect(1);
        const qreal ratio = image.devicePixelRatio();
        const QColor ring =
            image.pixelColor(int((swatch.left() + 1.5) * ratio), int(swatch.center().y() * ratio));
        QVERIFY2(ring.red() > 240 && ring.green() > 240 && ring.blue() > 240,
                 qPrintable(ring.name()));
        const QColor unringed =
            image.pixelColor(int((sheet->colorGrid()->cellRect(2).left() + 1.5) * ratio),
                             int(swatch.center().y() * ratio));
        QVERIFY2(unringed.green() < 200, qPrintable(unringed.name()));
    }

    void chooserColourMarksTheCustomCell() {
        open();
        ColorSwatchGrid* colors = sheet->colorGrid();
        h->colors.queue(QColor(0x12, 0x34, 0x56));
        QTest::mouseClick(colors, Qt::LeftButton, {}, colors->cellRect(0).center());
        QCOMPARE(h->colors.initialColors, QList<QColor>{QColor(0, 122, 255)});
        QCOMPARE(h->colors.openedOver.size(), 1);
        QCOMPARE(h->colors.openedOver.first().data(), static_cast<QWidget*>(sheet.get()));
        QCOMPARE(form->color().toHex(), QString("123456"));
        QCOMPARE(colors->selectedCell(), 0);
        // The chooser takes clicks a little outside the gradient circle too.
        h->colors.queue(QColor(0x99, 0x99, 0x00));
        QTest::mouseClick(colors, Qt::LeftButton, {}, colors->cellRect(0).center() + QPoint(0, 26));
        QCOMPARE(colors->selectedCell(), 19);
        // A cancelled chooser changes nothing.
        h->colors.queue(std::nullopt);
        QTest::mouseClick(colors, Qt::LeftButton, {}, colors->cellRect(0).center());
        QCOMPARE(form->color().toHex(), QString("999900"));
        QCOMPARE(h->colors.openedOver.size(), 3);
    }

    void unknownIconMarksNoCell() {
        form->setIcon("no.such.symbol");
        open();
        QCOMPARE(sheet->iconGrid()->selectedCell(), -1);
        QCOMPARE(sheet->previewCard()->badge()->icon(), QString("no.such.symbol"));
    }

    void instructionsPasteIsCutToFiveHundredCharacters() {
        form->setName("Uni");
        open();
        QTest::mouseClick(sheet->instructionsHeader(), Qt::LeftButton);
        QVERIFY(sheet->instructionsEditor()->isVisible());
        const QStringList characters = mixedCharacters(600);
        paste(sheet->instructionsEditor(), characters.join(QString()));
        QCOMPARE(form->customInstructions(), characters.mid(0, 500).join(QString()));
        QCOMPARE(sheet->counter()->text(), QString("500/500"));
        QCOMPARE(sheet->counter()->palette().color(QPalette::WindowText), orange);
        // Full: typing adds nothing.
        QTest::keyClicks(sheet->instructionsEditor(), "xyz");
        QCOMPARE(form->customInstructions(), characters.mid(0, 500).join(QString()));

        form->setCustomInstructions(QString(450, QChar('a')));
        QCOMPARE(sheet->counter()->text(), QString("450/500"));
        QVERIFY(sheet->counter()->palette().color(QPalette::WindowText) != orange);
        QTest::keyClick(sheet->instructionsEditor(), Qt::Key_B);
        QCOMPARE(sheet->counter()->text(), QString("451/500"));
        QCOMPARE(sheet->counter()->palette().color(QPalette::WindowText), orange);
        // Return in the editor is a line break, not a confirmation.
        QTest::keyClick(sheet->instructionsEditor(), Qt::Key_Return);
        QCOMPARE(saves, 0);
        QVERIFY(form->customInstructions().endsWith("b\n"));
    }

    void hugePasteLeavesTheFirstFiveHundred() {
        open();
        sheet->instructionsHeader()->click();
        QString huge;
        huge.reserve(5 * 1024 * 1024);
        const QString line = QStringLiteral("Sort invoices by client and year. ");
        while (huge.size() < 5 * 1024 * 1024)
            huge += line;
        paste(sheet->instructionsEditor(), huge);
        QCOMPARE(form->customInstructions(), huge.left(500));
        QCOMPARE(sheet->counter()->text(), QString("500/500"));
    }

    void hostValueOverTheLimitIsCutOnlyWhenItChanges() {
        form->setCustomInstructions(QString(520, QChar('x')));
        open();
        QCOMPARE(form->customInstructions().size(), 520);
        QCOMPARE(sheet->counter()->text(), QString("520/500"));
        form->setCustomInstructions(QString(530, QChar('y')));
        QCOMPARE(form->customInstructions(), QString(500, QChar('y')));
    }

    void disclosureAndActiveBadge() {
        form->setCustomInstructions("  \n ");
        open();
        QVERIFY(!sheet->isInstructionsExpanded());
        QVERIFY(!sheet->instructionsContent()->isVisible());
        QVERIFY(!sheet->activeBadge()->isVisible());
        QTest::mouseClick(sheet->instructionsHeader(), Qt::LeftButton);
        QVERIFY(sheet->isInstructionsExpanded());
        QTest::keyClicks(sheet->instructionsEditor(), "By client");
        QVERIFY(sheet->activeBadge()->isVisible());
        QCOMPARE(sheet->activeBadge()->text(), QString("Active"));
        QCOMPARE(sheet->activeBadge()->color().rgba(), QColor(0, 122, 255).rgba());
        form->setColor(*KippetColor::fromHex("4CD964"));
        QCOMPARE(sheet->activeBadge()->color().rgba(), QColor(0x4C, 0xD9, 0x64).rgba());
        // Emptying the text hides the badge but leaves the section open.
        sheet->instructionsEditor()->selectAll();
        QTest::keyClick(sheet->instructionsEditor(), Qt::Key_Delete);
        QVERIFY(!sheet->activeBadge()->isVisible());
        QVERIFY(sheet->isInstructionsExpanded());
        QTest::mouseClick(sheet->instructionsHeader(), Qt::LeftButton);
        QVERIFY(!sheet->isInstructionsExpanded());

        form->setCustomInstructions("Sort by course");
        open();
        QVERIFY(sheet->isInstructionsExpanded());
        QVERIFY(sheet->instructionsContent()->isVisible());
        QVERIFY(sheet->activeBadge()->isVisible());
        QCOMPARE(sheet->instructionsEditor()->toPlainText(), QString("Sort by course"));
    }

    void escapeAndCloseCancelAndTheSheetStaysUntilDismissed() {
        open();
        QTest::keyClick(sheet.get(), Qt::Key_Escape);
        QCOMPARE(cancels, 1);
        QVERIFY(!sheet->close());
        QCOMPARE(cancels, 2);
        QVERIFY(sheet->isVisible());
        QPointer<CreateKippetSheet> dismissed(sheet.release());
        dismissed->dismiss();
        QVERIFY(!dismissed->isVisible());
        QTRY_VERIFY(!dismissed);
    }

    void workingSheetTakesNoSecondConfirmation() {
        form->setName("Work");
        open();
        sheet->setWorking(true);
        QVERIFY(sheet->confirmButton()->isBusy());
        QVERIFY(!sheet->confirmButton()->isEnabled());
        QCOMPARE(sheet->confirmButton()->text(), QString());
        QTest::keyClick(sheet->nameField(), Qt::Key_Return);
        QCOMPARE(saves, 0);
        QVERIFY(sheet->cancelButton()->isEnabled());
        sheet->setWorking(false);
        QCOMPARE(sheet->confirmButton()->text(), QString("Create"));
        QVERIFY(sheet->confirmButton()->isEnabled());
    }
};

QTEST_MAIN(CreateKippetSheetTest)
#include "CreateKippetSheetTest.moc"
