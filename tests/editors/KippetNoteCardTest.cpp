#include "editors/KippetNoteCard.h"
#include "editors/NoteEditorWindow.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "platform/RelativeTime.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "window/ExpandedKippetLayout.h"
#include "window/FloatingKippetView.h"
#include "window/FloatingKippetWindow.h"
#include "window/ItemsArea.h"
#include "window/PanelDriver.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTimeZone>
#include <QToolButton>

using namespace PanelDriver;
using namespace std::chrono_literals;

// The note card in a real expanded window: its placeholder and age, its six lines, and the one
// note editor that every click on it asks for. With it, the wording of a note's age.
namespace {
KippetNoteCard* noteCardOf(AppHarness& app, Kippet* kippet) {
    FloatingKippetWindow* window = showActive(app, kippet);
    if (!kippet->isExpanded())
        window->toggleExpanded();
    AppHarness::settle();
    auto* layout = qobject_cast<ExpandedKippetLayout*>(viewOf(window)->currentLayout());
    return layout->itemsArea()->findChild<KippetNoteCard*>();
}

void setNoteText(Kippet* kippet, const QString& text, const QDateTime& updatedAt) {
    KippetNote note = kippet->note();
    note.text = text;
    note.updatedAt = updatedAt;
    kippet->setNote(note);
}
} // namespace

class KippetNoteCardTest : public QObject {
    Q_OBJECT
private slots:
    void init() { TestEnvironment::resetPreferences(); }

    void agesReadInTheirLargestUnit() {
        const QDateTime now(QDate(2026, 3, 10), QTime(12, 0), Qt::UTC);
        QCOMPARE(RelativeTime::abbreviated(now, now), QStringLiteral("in 0 sec."));
        QCOMPARE(RelativeTime::abbreviated(now.addSecs(-42), now), QStringLiteral("42 sec. ago"));
        QCOMPARE(RelativeTime::abbreviated(now.addSecs(-150), now), QStringLiteral("2 min. ago"));
        QCOMPARE(RelativeTime::abbreviated(now.addSecs(-3600), now), QStringLiteral("1 hr. ago"));
        QCOMPARE(RelativeTime::abbreviated(now.addDays(-1), now), QStringLiteral("1 day ago"));
        QCOMPARE(RelativeTime::abbreviated(now.addDays(-3), now), QStringLiteral("3 days ago"));
        QCOMPARE(RelativeTime::abbreviated(now.addDays(-15), now), QStringLiteral("2 wk. ago"));
        QCOMPARE(RelativeTime::abbreviated(now.addDays(-400), now), QStringLiteral("1 yr. ago"));
        QCOMPARE(RelativeTime::abbreviated(now.addSecs(300), now), QStringLiteral("in 5 min."));
    }

    void anEmptyNoteShowsThePlaceholderAndNoAge() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        setNoteText(kippet, QString(), testClock().now());
        KippetNoteCard* card = noteCardOf(app, kippet);
        QVERIFY(card && card->isVisible());
        QCOMPARE(card->findChild<QLabel*>(QStringLiteral("NoteCardTitle"))->text(),
                 QStringLiteral("Note"));
        QVERIFY(card->showsPlaceholder());
        QCOMPARE(card->findChild<QLabel*>(QStringLiteral("NoteCardPlaceholder"))->text(),
                 QStringLiteral("Click the edit button to add notes..."));
        QCOMPARE(card->ageText(), QString());
        QCOMPARE(card->toolTip(), QStringLiteral("Click to edit note"));
        QCOMPARE(card->editButton()->toolTip(), QStringLiteral("Edit Note"));

        // A space is a note: its age shows, worked out when the card is painted.
        setNoteText(kippet, QStringLiteral(" "), testClock().now());
        QVERIFY(!card->showsPlaceholder());
        QVERIFY(!card->findChild<QLabel*>(QStringLiteral("NoteCardPlaceholder"))->isVisible());
        QCOMPARE(card->ageText(), QStringLiteral("in 0 sec."));
        testClock().advance(120s);
        QCOMPARE(card->ageText(), QStringLiteral("in 0 sec."));
        card->repaint();
        QCOMPARE(card->ageText(), QStringLiteral("2 min. ago"));
    }

    void tenLinesShowSix() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        QStringList ten;
        for (int line = 1; line <= 10; ++line)
            ten.append(QStringLiteral("line %1").arg(line));
        setNoteText(kippet, ten.join(QLatin1Char('\n')), testClock().now());
        KippetNoteCard* card = noteCardOf(app, kippet);
        const QStringList lines = card->lines();
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines.mid(0, 5), ten.mid(0, 5));
        QCOMPARE(lines[5], QStringLiteral("line 6") + QChar(0x2026));

        // A short note is shown whole.
        QCOMPARE(KippetNoteCard::shownLines(QStringLiteral("a\n\nb"), card->font(), 300),
                 QStringList({QStringLiteral("a"), QString(), QStringLiteral("b")}));
    }

    void everyClickAsksForTheOneNoteEditor() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        setNoteText(kippet, QStringLiteral("milk\neggs"), testClock().now());
        KippetNoteCard* card = noteCardOf(app, kippet);
        FloatingKippetWindow* window = app.windowOf(QStringLiteral("Inbox"));
        auto* text = card->findChild<QLabel*>(QStringLiteral("NoteCardText"));

        QTest::mouseClick(card, Qt::LeftButton, {}, text->geometry().center());
        AppHarness::settle();
        NoteEditorWindow* editor = window->noteWindow();
        QVERIFY(editor);
        editor->close();
        AppHarness::settle();
        QVERIFY(!window->noteWindow());

        QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(card->width() - 40, card->height() - 8));
        AppHarness::settle();
        NoteEditorWindow* open = window->noteWindow();
        QVERIFY(open);
        QTest::mouseClick(card->editButton(), Qt::LeftButton);
        AppHarness::settle();
        // The open editor comes to the front: no second one.
        QCOMPARE(window->noteWindow(), open);
        int shown = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            shown += qobject_cast<NoteEditorWindow*>(widget) && widget->isVisible() ? 1 : 0;
        QCOMPARE(shown, 1);
    }

    void theTextTheFreeAreaAndTheButtonEachCallOnce() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        setNoteText(kippet, QStringLiteral("milk"), testClock().now());
        int taps = 0;
        KippetNoteCard card(kippet, [&taps] { ++taps; });
        card.resize(400, 160);
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        auto* text = card.findChild<QLabel*>(QStringLiteral("NoteCardText"));
        QTest::mouseClick(&card, Qt::LeftButton, {}, text->geometry().center());
        QCOMPARE(taps, 1);
        QTest::mouseClick(&card, Qt::LeftButton, {}, QPoint(200, 150));
        QCOMPARE(taps, 2);
        QTest::mouseClick(card.editButton(), Qt::LeftButton);
        QCOMPARE(taps, 3);
    }
};

QTEST_MAIN(KippetNoteCardTest)
#include "KippetNoteCardTest.moc"
