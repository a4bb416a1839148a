#include "editors/NoteEditorWindow.h"
#include "EditorTestSupport.h"
#include "app/DailyKippet.h"
#include "editors/KippetNoteEditorView.h"
#include "editors/NoteFindBar.h"
#include "editors/NoteTextView.h"
#include "editors/TodoEditorWindow.h"
#include "editors/UnsavedNotice.h"
#include "model/Kippet.h"
#include "model/KippetColor.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/FullDisk.h"
#include "support/GeometryPrinting.h"
#include "support/TestEnvironment.h"
#include "support/WindowManagerDrag.h"

#include <QAbstractButton>
#include <QAction>
#include <QClipboard>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QTest>

using EditorTest::find;
using namespace std::chrono_literals;

namespace {
std::optional<KippetNote::WindowFrame> storedFrame(AppHarness& app, const QUuid& id) {
    return app.store().fetchKippet(id)->note().windowFrame;
}

QString storedText(AppHarness& app, const Kippet* kippet) {
    return app.store().fetchKippet(kippet->id())->noteText;
}

// Refuses a new note text as SQLite does on a full disk, and nothing else.
const QString fullDiskForNoteTexts =
    QStringLiteral("full BEFORE UPDATE ON kippets WHEN NEW.note_text IS NOT OLD.note_text");

KippetNote::WindowFrame windowFrame(const RectD& rect) {
    return {rect.x, rect.y, rect.width, rect.height};
}

// The clipboard as a browser leaves it after copying a sentence: plain text and styled HTML.
QMimeData* browserCopiedText() {
    QFile file(QStringLiteral(KIPPETS_EDITOR_FIXTURES "/chromium-clipboard-copy-text.json"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("the clipboard fixture is missing");
    const QJsonObject fixture = QJsonDocument::fromJson(file.readAll()).object();
    auto* data = new QMimeData;
    for (const QJsonValue& value : fixture.value(QStringLiteral("formats")).toArray()) {
        const QJsonObject format = value.toObject();
        const QString mime = format.value(QStringLiteral("mime")).toString();
        if (!mime.contains(QLatin1Char('/')))
            continue; // X11 bookkeeping targets
        const QString encoding = format.value(QStringLiteral("encoding")).toString();
        const QString payload = format.value(QStringLiteral("data")).toString();
        data->setData(mime, encoding == QStringLiteral("utf8")
                                ? payload.toUtf8()
                                : QByteArray::fromBase64(payload.toLatin1()));
    }
    return data;
}
} // namespace

class NoteEditorWindowTest : public QObject {
    Q_OBJECT
private slots:
    void opensBesideTheKippetAndStoresItsFirstFrameAtOnce() {
        AppHarness app;
        app.start();
        QCOMPARE(NoteEditorWindow::placedFrame(QPointF(0, 0)), RectD(220, 220, 480, 360));
        QCOMPARE(NoteEditorWindow::placedFrame(QPointF(0, 300)), RectD(220, 340, 480, 360));
        QCOMPARE(NoteEditorWindow::placedFrame(QPointF(100, 0)), RectD(140, 220, 480, 360));

        Kippet* corner = app.addKippet(QStringLiteral("Corner"));
        auto* panel = EditorTest::open<NoteEditorWindow>(app, corner);
        QCOMPARE(panel->frame(), RectD(220, 220, 480, 360));
        QCOMPARE(corner->note().windowFrame, std::optional(windowFrame(panel->frame())));
        QCOMPARE(storedFrame(app, corner->id()), std::optional(windowFrame(panel->frame())));

        Kippet* high = app.addKippet(QStringLiteral("High"), QPointF(0, 300));
        QCOMPARE(EditorTest::open<NoteEditorWindow>(app, high)->frame(), RectD(220, 340, 480, 360));
        // Near the top of the screen the frame is pulled down below the menu bar.
        Kippet* top = app.addKippet(QStringLiteral("Top"), QPointF(700, 700));
        QCOMPARE(EditorTest::open<NoteEditorWindow>(app, top)->frame(), RectD(740, 515, 480, 360));
        QCOMPARE(storedFrame(app, top->id()),
                 std::optional(windowFrame(RectD(740, 515, 480, 360))));
    }

    void aSavedFrameOffEveryScreenIsPulledOntoOne() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        app.manager().updateNoteWindowFrame(kippet, 4000, -900, 500, 300);
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        QCOMPARE(panel->frame(), RectD(940, 0, 500, 300));
        QCOMPARE(panel->minimumSize(), QSize(360, 260));
    }

    void theNotePanelOpensWhereItWasLeftAlsoAfterARestart() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(100, 100));
        const QUuid id = kippet->id();
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        QCOMPARE(panel->frame(), RectD(140, 140, 480, 360));

        // Dragged by its background (left of the close button), it moves; only the end of the
        // drag stores the frame.
        const QPoint pressedAt = panel->mapToGlobal(QPoint(40, 24));
        EditorTest::sendMouse(panel, QEvent::MouseButtonPress, QPoint(40, 24), Qt::LeftButton);
        EditorTest::sendMouse(panel, QEvent::MouseMove,
                              panel->mapFromGlobal(pressedAt + QPoint(60, -50)), Qt::LeftButton);
        QCOMPARE(panel->frame(), RectD(200, 190, 480, 360));
        QCOMPARE(storedFrame(app, id), std::optional(windowFrame(RectD(140, 140, 480, 360))));
        EditorTest::sendMouse(panel, QEvent::MouseButtonRelease,
                              panel->mapFromGlobal(pressedAt + QPoint(60, -50)), Qt::NoButton);
        QCOMPARE(storedFrame(app, id), std::optional(windowFrame(RectD(200, 190, 480, 360))));

        // Resized at its bottom-right corner: the top-left stays, the frame is stored at the end.
        auto* corner = panel->childAt(panel->width() - 2, panel->height() - 2);
        QVERIFY(corner);
        EditorTest::drag(corner, QPoint(2, 2), QPoint(40, 30));
        QCOMPARE(panel->frame(), RectD(200, 160, 520, 390));
        QCOMPARE(storedFrame(app, id), std::optional(windowFrame(RectD(200, 160, 520, 390))));
        // Never below the minimum size.
        EditorTest::drag(panel->childAt(panel->width() - 2, panel->height() - 2), QPoint(2, 2),
                         QPoint(-400, -400));
        QCOMPARE(panel->frame().size(), QSizeF(360, 260));

        // A move the panel did not see the end of is stored when it closes.
        panel->setFrame(RectD(300, 200, 400, 300));
        QPointer<NoteEditorWindow> closing(panel);
        panel->close();
        QCOMPARE(EditorTest::closes(app), 1);
        QCOMPARE(storedFrame(app, id), std::optional(windowFrame(RectD(300, 200, 400, 300))));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!closing);

        app.restart();
        auto* reopened =
            EditorTest::open<NoteEditorWindow>(app, app.byName(QStringLiteral("Inbox")));
        QCOMPARE(reopened->frame(), RectD(300, 200, 400, 300));
    }

    void aMoveOrResizeByTheWindowManagerIsStoredOnceWhenItHasSettled() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(100, 100));
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        app.countKippetWrites();

        WindowManagerDrag::move(panel, QPoint(60, 50));
        AppHarness::settle();
        QCOMPARE(app.kippetWrites(), 0);
        testClock().advance(500ms);
        QCOMPARE(app.kippetWrites(), 1);
        QCOMPARE(storedFrame(app, kippet->id()),
                 std::optional(windowFrame(RectD(200, 90, 480, 360))));

        WindowManagerDrag::resize(panel, QSize(520, 400));
        testClock().advance(500ms);
        QCOMPARE(app.kippetWrites(), 2);
        QCOMPARE(storedFrame(app, kippet->id()),
                 std::optional(windowFrame(RectD(200, 50, 520, 400))));
        testClock().advance(5s);
        AppHarness::settle();
        QCOMPARE(app.kippetWrites(), 2);
    }

    void typingGoesIntoTheNoteAndTheStoreAtOnce() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        auto* text = find<NoteTextView>(panel, QStringLiteral("NoteTextView"));
        QVERIFY(text);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(text));
        QCOMPARE(text->parentWidget(), find<QWidget>(panel, QStringLiteral("NoteTextEditor")));
        QCOMPARE(text->font().pixelSize(), 15);

        testClock().advance(std::chrono::minutes(5));
        QTest::keyClicks(text, QStringLiteral("Milk -- \"fresh\" www.example.com"));
        const QString typed = QStringLiteral("Milk -- \"fresh\" www.example.com");
        QCOMPARE(kippet->note().text, typed);
        QCOMPARE(kippet->note().updatedAt, testClock().now());
        QCOMPARE(app.store().fetchKippet(kippet->id())->noteText, typed);
        QCOMPARE(app.store().fetchKippet(kippet->id())->noteUpdatedAt, testClock().now());

        QTest::keyClick(text, Qt::Key_Return);
        QTest::keyClicks(text, QStringLiteral("eggs"));
        panel->close();
        app.restart();
        QCOMPARE(app.byName(QStringLiteral("Inbox"))->note().text,
                 typed + QStringLiteral("\neggs"));
    }

    void aNoteChangedElsewhereReplacesTheTextOnlyWhenItDiffers() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        app.manager().updateNote(QStringLiteral("first line"), kippet);
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        auto* text = find<NoteTextView>(panel, QStringLiteral("NoteTextView"));
        QCOMPARE(text->toPlainText(), QStringLiteral("first line"));

        QTextCursor caret = text->textCursor();
        caret.setPosition(5);
        text->setTextCursor(caret);
        // The same text with a new time: the editor and its caret stay as they are.
        KippetNote same = kippet->note();
        same.updatedAt = same.updatedAt.addSecs(30);
        kippet->setNote(same);
        QCOMPARE(text->textCursor().position(), 5);
        QTest::keyClicks(text, QStringLiteral("!"));
        QCOMPARE(kippet->note().text, QStringLiteral("first! line"));
        QCOMPARE(text->textCursor().position(), 6);

        app.manager().updateNote(QStringLiteral("changed elsewhere"), kippet);
        QCOMPARE(text->toPlainText(), QStringLiteral("changed elsewhere"));
        QCOMPARE(app.store().fetchKippet(kippet->id())->noteText,
                 QStringLiteral("changed elsewhere"));
    }

    // Every keystroke on a full disk fails: the text stays, the panel says it is not saved, a
    // move of the panel does not bring the old note back, a close keeps the text for the next
    // opening, and the store gets it once it takes writes again.
    void aNoteTheStoreRefusesIsShownUnsavedUntilAWriteSucceeds() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        app.manager().updateNote(QStringLiteral("list:"), kippet);
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        auto* text = find<NoteTextView>(panel, QStringLiteral("NoteTextView"));
        auto* notice = find<UnsavedNotice>(panel, QStringLiteral("NoteNotSavedNotice"));
        QVERIFY(notice->isHidden());
        QVERIFY(app.fillDiskOn(fullDiskForNoteTexts));
        LogCapture log;

        text->moveCursor(QTextCursor::End);
        QTest::keyClicks(text, QStringLiteral(" milk"));
        QVERIFY(log.contains(QStringLiteral("⚠️ [NoteEditor] Could not save the note: ")));
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QStringLiteral("This note is not saved: the disk is full. Kippets "
                                                "tries again every second."));
        QCOMPARE(text->toPlainText(), QStringLiteral("list: milk"));
        QCOMPARE(storedText(app, kippet), QStringLiteral("list:"));

        RectD moved = panel->frame();
        moved.x += 30;
        panel->setFrame(moved);
        panel->storeFrame();
        QCOMPARE(storedFrame(app, kippet->id()), std::optional(windowFrame(moved)));
        testClock().advance(1s);
        QCOMPARE(text->toPlainText(), QStringLiteral("list: milk"));
        QVERIFY(notice->isVisible());

        QTest::keyClick(panel->windowHandle(), Qt::Key_N, Qt::ControlModifier);
        AppHarness::settle();
        panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        text = find<NoteTextView>(panel, QStringLiteral("NoteTextView"));
        notice = find<UnsavedNotice>(panel, QStringLiteral("NoteNotSavedNotice"));
        QCOMPARE(text->toPlainText(), QStringLiteral("list: milk"));
        QVERIFY(notice->isVisible());

        QVERIFY(app.failStore(QStringLiteral("DROP TRIGGER full")));
        testClock().advance(1s);
        QVERIFY(notice->isHidden());
        QCOMPARE(storedText(app, kippet), QStringLiteral("list: milk"));
        QCOMPARE(kippet->note().text, QStringLiteral("list: milk"));

        // Full again: the first keystroke after the disk has room writes everything typed.
        QVERIFY(app.fillDiskOn(fullDiskForNoteTexts));
        text->moveCursor(QTextCursor::End);
        QTest::keyClicks(text, QStringLiteral(", eggs"));
        QVERIFY(notice->isVisible());
        QVERIFY(app.failStore(QStringLiteral("DROP TRIGGER full")));
        QTest::keyClicks(text, QStringLiteral("!"));
        QVERIFY(notice->isHidden());
        QCOMPARE(storedText(app, kippet), QStringLiteral("list: milk, eggs!"));

        // A refusal that only quotes the words is no full disk: the store's answer is shown.
        QVERIFY(app.failStore(QStringLiteral(
            "CREATE TEMP TRIGGER quoted BEFORE UPDATE ON kippets BEGIN SELECT RAISE(ABORT, "
            "'database or disk is full'); END")));
        QTest::keyClicks(text, QStringLiteral("?"));
        QVERIFY2(notice->text().startsWith(QStringLiteral("This note is not saved: the store "
                                                          "answered “")) &&
                     notice->text().contains(QStringLiteral("database or disk is full")),
                 qPrintable(notice->text()));
    }

    // On a disk that has no room left (a small tmpfs, filled), SQLite meets the full disk while
    // it commits: the panel says so in words, and the note is stored once there is room.
    void aNoteOnARealFullDiskIsSaidNotSavedBecauseTheDiskIsFull() {
        KIPPETS_RUN_ON_A_FULL_DISK();
        FullDisk disk;
        AppHarness app;
        QVERIFY(app.folder().startsWith(disk.folder()));
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        app.manager().updateNote(QStringLiteral("list:"), kippet);
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        auto* text = find<NoteTextView>(panel, QStringLiteral("NoteTextView"));
        auto* notice = find<UnsavedNotice>(panel, QStringLiteral("NoteNotSavedNotice"));
        QVERIFY(FullDisk::emptyStoreLog(app.store().container()->database(),
                                        app.store().container()->storePath()));
        QVERIFY(disk.fill());

        text->moveCursor(QTextCursor::End);
        QTest::keyClicks(text, QStringLiteral(" milk"));
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QStringLiteral("This note is not saved: the disk is full. Kippets "
                                                "tries again every second."));
        QCOMPARE(storedText(app, kippet), QStringLiteral("list:"));

        QVERIFY(disk.release());
        testClock().advance(1s);
        QVERIFY(notice->isHidden());
        QCOMPARE(storedText(app, kippet), QStringLiteral("list: milk"));
    }

    void theFindBarSelectsMatchesBothWaysAroundTheNoteAndEscapeReturnsToTheText() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        const QString note = QStringLiteral("Oat milk, oat bran, OATS");
        app.manager().updateNote(note, kippet);
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        auto* text = find<NoteTextView>(panel, QStringLiteral("NoteTextView"));
        auto* bar = find<NoteFindBar>(panel, QStringLiteral("NoteFindBar"));
        QVERIFY(bar->isHidden());
        text->moveCursor(QTextCursor::Start);

        QTest::keyClick(text, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(bar->isVisible());
        auto* field = find<QLineEdit>(bar, QStringLiteral("NoteFindField"));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(field));
        QCOMPARE(field->placeholderText(), QStringLiteral("Find"));
        // At the top right, left of the close button, clear of the text.
        const QRect textArea(text->mapTo(panel->view(), QPoint(0, 0)), text->size());
        QVERIFY(!textArea.intersects(bar->geometry()));
        QVERIFY(bar->geometry().right() > textArea.center().x());

        QTest::keyClicks(field, QStringLiteral("oat"));
        const auto selected = [text] {
            const QTextCursor cursor = text->textCursor();
            return std::pair(cursor.selectionStart(), cursor.selectionEnd());
        };
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(selected(), std::pair(0, 3));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(selected(), std::pair(10, 13));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(selected(), std::pair(20, 23));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(selected(), std::pair(0, 3));
        QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(selected(), std::pair(20, 23));
        QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
        QCOMPARE(selected(), std::pair(10, 13));

        // A word the note does not hold leaves the selection where it was.
        field->clear();
        QTest::keyClicks(field, QStringLiteral("rye"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(selected(), std::pair(10, 13));

        QTest::keyClick(field, Qt::Key_Escape);
        QVERIFY(bar->isHidden());
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(text));
        QVERIFY(panel->isVisible());
        QCOMPARE(kippet->note().text, note);

        // Opened again, the last search is selected, ready to be typed over.
        QTest::keyClick(text, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(bar->isVisible());
        QCOMPARE(field->selectedText(), QStringLiteral("rye"));
    }

    // The find bar takes no room from the text's lines: a match at the end of the note's first
    // line, where a bar floating over the text would stand, shows selected.
    void aMatchOnTheFirstLineShowsBesideTheFindBar() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        app.manager().updateNote(
            QStringLiteral("For the picnic on Saturday: bread, plums\nand a rug"), kippet);
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        auto* text = find<NoteTextView>(panel, QStringLiteral("NoteTextView"));
        auto* bar = find<NoteFindBar>(panel, QStringLiteral("NoteFindBar"));
        text->moveCursor(QTextCursor::Start);
        const QRect closedViewport(text->viewport()->mapTo(panel, QPoint(0, 0)),
                                   text->viewport()->size());

        QTest::keyClick(text, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(bar->isVisible());
        auto* field = find<QLineEdit>(bar, QStringLiteral("NoteFindField"));
        QTest::keyClicks(field, QStringLiteral("plums"));
        QTest::keyClick(field, Qt::Key_Return);
        AppHarness::settle();
        QTextCursor match = text->textCursor();
        QCOMPARE(match.selectedText(), QStringLiteral("plums"));
        QTextCursor start = match;
        start.setPosition(match.selectionStart());
        QTextCursor end = match;
        end.setPosition(match.selectionEnd());
        const QRect shown = text->cursorRect(start).united(text->cursorRect(end));
        // On the first line, at its end, as wide as the word.
        QTextCursor first(text->document());
        QCOMPARE(shown.top(), text->cursorRect(first).top());
        QVERIFY(shown.left() > text->viewport()->width() / 2);

        QWidget* viewport = text->viewport();
        QVERIFY(viewport->rect().contains(shown));
        const QRect barInViewport(viewport->mapFrom(panel, bar->mapTo(panel, QPoint(0, 0))),
                                  bar->size());
        QVERIFY(!barInViewport.intersects(viewport->rect()));
        // The text keeps its place: the bar has a room of its own.
        QCOMPARE(QRect(viewport->mapTo(panel, QPoint(0, 0)), viewport->size()), closedViewport);

        // And on screen the word is drawn on the selection's colour.
        const QImage shot = panel->grab().toImage();
        const qreal ratio = shot.devicePixelRatio();
        const QRect onPanel(viewport->mapTo(panel, shown.topLeft()), shown.size());
        const auto isSelection = [&](const QColor& pixel) {
            for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
                const QColor colour = text->palette().color(group, QPalette::Highlight);
                if (std::max({std::abs(pixel.red() - colour.red()),
                              std::abs(pixel.green() - colour.green()),
                              std::abs(pixel.blue() - colour.blue())}) < 24)
                    return true;
            }
            return false;
        };
        int selected = 0;
        for (int y = onPanel.top(); y <= onPanel.bottom(); ++y) {
            for (int x = onPanel.left(); x <= onPanel.right(); ++x)
                selected += isSelection(shot.pixelColor(qRound(x * ratio), qRound(y * ratio)));
        }
        const int all = onPanel.width() * onPanel.height();
        QVERIFY2(selected * 3 > all, qPrintable(QStringLiteral("%1 of %2").arg(selected).arg(all)));
    }

    void pastedStyledTextArrivesPlain() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        auto* text = find<NoteTextView>(panel, QStringLiteral("NoteTextView"));

        QApplication::clipboard()->setMimeData(browserCopiedText());
        QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(kippet->note().text,
                 QStringLiteral("The quick brown fox jumps over the lazy dog."));

        // Only HTML on offer: its text without the markup. Ctrl+Shift+V pastes as Ctrl+V does.
        auto* htmlOnly = new QMimeData;
        htmlOnly->setHtml(QStringLiteral("<b>Bold</b> and <a href=\"https://x.org\">link</a>"));
        QApplication::clipboard()->setMimeData(htmlOnly);
        text->selectAll();
        QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(kippet->note().text, QStringLiteral("Bold and link"));

        auto* markdown = new QMimeData;
        markdown->setData(QStringLiteral("text/markdown"), "**not bold**");
        markdown->setText(QStringLiteral("**not bold**"));
        QApplication::clipboard()->setMimeData(markdown);
        text->selectAll();
        QTest::keyClick(text, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(kippet->note().text, QStringLiteral("**not bold**"));
        QVERIFY(!text->document()->toHtml().contains(QStringLiteral("font-weight:700")));

        // What is copied out is plain text too.
        text->selectAll();
        QTest::keyClick(text, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->mimeData()->formats(),
                 QStringList{QStringLiteral("text/plain")});
    }

    void aDragInsideTheTextSelectsAndLeavesThePanelInPlace() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        app.manager().updateNote(QStringLiteral("select some of this text"), kippet);
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        auto* text = find<NoteTextView>(panel, QStringLiteral("NoteTextView"));
        const RectD before = panel->frame();
        QWidget* viewport = text->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(8, 10));
        QTest::mouseMove(viewport, QPoint(90, 12));
        QTest::mouseMove(viewport, QPoint(140, 60));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(140, 60));
        QCOMPARE(panel->frame(), before);
        QVERIFY(text->textCursor().hasSelection());
    }

    void ctrlNClosesTheNotePanelOnceAndAnAppShortcutNeverTakesIt() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        QWidget shortcuts;
        QAction newKippet(QStringLiteral("New Kippet"));
        newKippet.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
        newKippet.setShortcutContext(Qt::ApplicationShortcut);
        shortcuts.addAction(&newKippet);
        int triggered = 0;
        connect(&newKippet, &QAction::triggered, this, [&triggered] { ++triggered; });
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        auto* text = find<NoteTextView>(panel, QStringLiteral("NoteTextView"));
        QTest::keyClicks(text, QStringLiteral("kept"));
        QTest::keyClick(text, Qt::Key_N);
        QCOMPARE(kippet->note().text, QStringLiteral("keptn"));
        QCOMPARE(EditorTest::closes(app), 0);
        QPointer<NoteEditorWindow> closed(panel);
        QTest::keyClick(text, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(EditorTest::closes(app), 1);
        QCOMPARE(triggered, 0);
        QVERIFY(closed);
        QVERIFY(panel->isHidden());
        QCOMPARE(storedFrame(app, kippet->id()), std::optional(windowFrame(panel->frame())));
        panel->close();
        QCOMPARE(EditorTest::closes(app), 1);
        panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        QTest::keyClick(find<NoteTextView>(panel, QStringLiteral("NoteTextView")), Qt::Key_N,
                        Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(EditorTest::closes(app), 1);
        QCOMPARE(triggered, 0);

        // The todo panel's close key is not the note panel's.
        panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        QTest::keyClick(find<NoteTextView>(panel, QStringLiteral("NoteTextView")), Qt::Key_T,
                        Qt::ControlModifier);
        QCOMPARE(EditorTest::closes(app), 0);
        QVERIFY(panel->isVisible());
        // Ctrl+A reaches the text.
        auto* text2 = find<NoteTextView>(panel, QStringLiteral("NoteTextView"));
        QTest::keyClick(text2, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(text2->textCursor().selectedText(), QStringLiteral("keptn"));

        // The close button and a close by the window manager take the same road, once.
        find<QAbstractButton>(panel, QStringLiteral("CloseNotesButton"))->click();
        QCOMPARE(EditorTest::closes(app), 1);
        panel->close();
        QCOMPARE(EditorTest::closes(app), 1);
        panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        panel->setFrame(RectD(500, 100, 400, 300));
        static_cast<QWidget*>(panel)->close();
        QCOMPARE(EditorTest::closes(app), 1);
        QCOMPARE(storedFrame(app, kippet->id()),
                 std::optional(windowFrame(RectD(500, 100, 400, 300))));
    }

    void theBorderShowsTheAccentColourOnlyWhileActive() {
        AppHarness app;
        app.start();
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        auto* panel = EditorTest::open<NoteEditorWindow>(app, kippet);
        QVERIFY(panel->isBorderVisible());
        QCOMPARE(panel->currentBorderWidth(), 3.0);
        QCOMPARE(panel->borderColor().rgb(), kippet->color().toQColor().rgb());
        QCOMPARE(panel->borderColor().alpha(), 230); // 0.9 of full opacity

        const QColor red(255, 0, 0);
        panel->updateAccentColor(red);
        QCOMPARE(panel->borderColor().rgb(), kippet->color().toQColor().rgb());
        AppHarness::settle();
        QCOMPARE(panel->borderColor().rgb(), red.rgb());
        auto* close = find<QWidget>(panel, QStringLiteral("CloseNotesButton"));
        QCOMPARE(close->toolTip(), QStringLiteral("Close Notes"));

        FloatingKippetWindow* window = app.registry().registeredWindow(kippet->id());
        // Qt counts a tool window's parent as active already: wait for the focus to move.
        window->activateWindow();
        AppHarness::settle();
        QCOMPARE(QGuiApplication::focusWindow(), window->windowHandle());
        QVERIFY(!panel->isBorderVisible());
        QCOMPARE(panel->currentBorderWidth(), 0.0);
        // A colour change while inactive leaves the border hidden.
        panel->updateAccentColor(Qt::green);
        AppHarness::settle();
        QVERIFY(!panel->isBorderVisible());
        panel->activateWindow();
        AppHarness::settle();
        QVERIFY(panel->isBorderVisible());
        QCOMPARE(panel->borderColor().rgb(), QColor(Qt::green).rgb());
    }

    void aDailyKippetsPanelsStartInTheDailyColour() {
        AppHarness app;
        app.start();
        Kippet* daily = app.manager().createKippet(QStringLiteral("Thursday 15.1."),
                                                   KippetColor::standardBlue(),
                                                   QStringLiteral("calendar"), true);
        NoteEditorWindow note(daily);
        TodoEditorWindow todo(daily);
        QCOMPARE(note.accentColor(), dailyKippetColor());
        QCOMPARE(todo.accentColor(), dailyKippetColor());
        QVERIFY(dailyKippetColor() != KippetColor::standardBlue().toQColor());
    }
};

QTEST_MAIN(NoteEditorWindowTest)
#include "NoteEditorWindowTest.moc"
