#include "app/StatusMenu.h"
#include "dashboard/DashboardHarness.h"
#include "dashboard/EmptyStateView.h"
#include "dashboard/SearchField.h"
#include "tuck/TrayFixture.h"
#include "tuck/TuckAwayKippetRow.h"
#include "ui/Theme.h"
#include "window/ElidedLabel.h"
#include "window/FloatingKippetWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QWindow>
#include <memory>

namespace {
// What a user may well type: it reads as markup to anything that guesses the format.
const QString marked("<i>zz</i> & <b>Co</b>");

// The label draws every character of its text: markup would have been drawn narrower, as the
// text between the tags alone.
void verifyDrawnAsTyped(QLabel* label, const QString& typed) {
    QVERIFY(label);
    QVERIFY2(label->text().contains(typed), qPrintable(label->text()));
    const int typedWidth = QFontMetrics(label->font()).horizontalAdvance(label->text());
    QVERIFY2(label->sizeHint().width() >= typedWidth,
             qPrintable(QString("%1 < %2").arg(label->sizeHint().width()).arg(typedWidth)));
}

// Along the line of pixels where two pictures of the same size differ most widely: the
// distance from the first differing pixel to the last, in points.
int widestDifference(const QImage& a, const QImage& b) {
    int widest = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y) {
        int first = -1;
        int last = -1;
        for (int x = 0; x < std::min(a.width(), b.width()); ++x) {
            if (a.pixel(x, y) != b.pixel(x, y)) {
                first = first < 0 ? x : first;
                last = x;
            }
        }
        if (first >= 0)
            widest = std::max(widest, last - first + 1);
    }
    return int(widest / a.devicePixelRatio());
}
} // namespace

// A name, a search or a message with markup in it is shown as the characters typed, wherever
// the app shows it.
class NamesAsTypedTest : public QObject {
    Q_OBJECT
private slots:
    // The card and the row of "<i>zz</i>" differ from those of "zz" by the width of the tags
    // drawn as text; drawn as markup they would differ only by the slant of "zz".
    void dashboardCardAndRow_data() {
        QTest::addColumn<bool>("asList");
        QTest::newRow("card") << false;
        QTest::newRow("row") << true;
    }
    void dashboardCardAndRow() {
        QFETCH(bool, asList);
        DashboardHarness h;
        h.closedKippet("<i>zz</i>");
        h.closedKippet("zz");
        h.open()->setDisplayMode(asList ? DisplayMode::list : DisplayMode::grid);
        KippetTile* withTags = h.tileOf("<i>zz</i>");
        KippetTile* plain = h.tileOf("zz");
        QVERIFY(withTags && plain);
        QCOMPARE(withTags->size(), plain->size());
        const QFontMetrics metrics(Theme::font(Theme::TextStyle::headline));
        const int difference =
            widestDifference(withTags->grab().toImage(), plain->grab().toImage());
        QVERIFY2(difference > 2 * metrics.horizontalAdvance("zz"),
                 qPrintable(QString::number(difference)));
    }

    void dashboardSearchWithoutResults() {
        DashboardHarness h;
        h.createKippet("Desk");
        DashboardView* view = h.open();
        QTest::keyClicks(view->searchField()->lineEdit(), "<i>zz");
        h.settle();
        QVERIFY(view->emptyState()->isVisible());
        QCOMPARE(view->emptyState()->titleLabel()->text(), QString("No Results for “<i>zz”"));
        verifyDrawnAsTyped(view->emptyState()->titleLabel(), "<i>zz");
    }

    void trayRow() {
        TrayFixture tray;
        tray.app.addKippet(marked);
        TuckAwayWindow* window = tray.tuck();
        QVERIFY(window);
        const QList<TuckAwayKippetRow*> rows = window->view()->panel()->rows();
        QCOMPARE(rows.size(), 1);
        auto* name = rows.first()->findChild<ElidedLabel*>();
        QVERIFY(name);
        QCOMPARE(name->fullText(), marked);
        verifyDrawnAsTyped(name, "<i>zz</i>");
    }

    void statusMenus() {
        AppHarness app;
        app.start();
        app.addKippet(marked);
        QMenu menu;
        StatusMenu::fill(&menu, app.registry());
        // The menu draws "&&" as one "&"; a single one would underline the next letter.
        const QString shown("<i>zz</i> && <b>Co</b>");
        QVERIFY(TrayFixture::action(&menu, shown + " (0 items)"));
        QVERIFY(TrayFixture::action(&menu, shown));
    }

    void panelAndWindowTitle() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(marked);
        FloatingKippetWindow* window = app.registry().showWindow(kippet);
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), marked);
        QCOMPARE(window->windowHandle()->title(), marked);
        window->toggleExpanded();
        AppHarness::settle();
        ElidedLabel* name = nullptr;
        for (ElidedLabel* label : window->findChildren<ElidedLabel*>())
            if (label->fullText() == marked && label->isVisible())
                name = label;
        QVERIFY(name);
        verifyDrawnAsTyped(name, marked);
    }

    void errorMessage() {
        AppHarness app;
        app.start();
        app.dialogs().setRecordingOnly(false);
        QWidget owner;
        app.dialogs().showError("Could not read <b>report</b>.txt", &owner);
        auto* box = owner.findChild<QMessageBox*>();
        QVERIFY(box);
        verifyDrawnAsTyped(box->findChild<QLabel*>("qt_msgbox_label"),
                           "Could not read <b>report</b>.txt");
        box->close();
    }
};

QTEST_MAIN(NamesAsTypedTest)
#include "NamesAsTypedTest.moc"
