#include "editors/KippetNoteCard.h"
#include "app/AppearancePalette.h"
#include "editors/KippetTodoCard.h"
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

// How far the darkest (light) or brightest (dark) pixel of the label's text lies from the card
// behind it, as a share of the distance of the full text colour: about 1 for text in the
// primary style, about a quarter for the tertiary one.
double inkStrength(const QImage& shot, const QLabel* label, const QWidget* window) {
    const QRect area(label->mapTo(window, QPoint(0, 0)), label->size());
    // The gap left of the label is bare card.
    const int behind = qGray(shot.pixel(area.left() - 4, area.center().y()));
    const int full = qGray(window->palette().color(QPalette::WindowText).rgb());
    int strongest = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x)
            strongest = std::max(strongest, std::abs(qGray(shot.pixel(x, y)) - behind));
    }
    return double(strongest) / std::abs(full - behind);
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
        QCOMPARE(RelativeTime::abbreviated(now, now), QStringLiteral("0 sec. ago"));
        // Less than a second ahead, as a save and the clock that reads it may disagree.
        QCOMPARE(RelativeTime::abbreviated(now.addMSecs(400), now), QStringLiteral("0 sec. ago"));
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
        QCOMPARE(card->ageText(), QStringLiteral("0 sec. ago"));
        testClock().advance(120s);
        QCOMPARE(card->ageText(), QStringLiteral("0 sec. ago"));
        card->repaint();
        QCOMPARE(card->ageText(), QStringLiteral("2 min. ago"));
    }

    // The placeholders, the age and the todo count are faint in either appearance: their
    // colour's alpha reaches the screen, and not the plain text colour of the scroll area.
    void cardTextsOfTheTertiaryStyleAreFaint() {
        for (const bool dark : {false, true}) {
            const QPalette original = QApplication::palette();
            if (dark)
                QApplication::setPalette(darkAppearancePalette());
            AppHarness app;
            start(app);
            Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
            KippetNoteCard* card = noteCardOf(app, kippet);
            auto* todoCard = card->parentWidget()->findChild<KippetTodoCard*>();
            QVERIFY(todoCard);
            QWidget* window = card->window();
            const auto label = [](QWidget* root, const QString& text) {
                for (QLabel* each : root->findChildren<QLabel*>()) {
                    if (each->isVisible() && each->text() == text)
                        return each;
                }
                qWarning("no label %s", qPrintable(text));
                return static_cast<QLabel*>(nullptr);
            };
            QImage shot = window->grab().toImage();
            QVERIFY(inkStrength(shot, label(card, QStringLiteral("Note")), window) > 0.7);
            for (const QLabel* faint :
                 {label(card, QStringLiteral("Click the edit button to add notes...")),
                  label(todoCard, QStringLiteral("No todos yet. Click + to add one."))}) {
                const double strength = inkStrength(shot, faint, window);
                QVERIFY2(strength > 0.08 && strength < 0.45,
                         qPrintable(faint->text() + u' ' + QString::number(strength)));
            }

            setNoteText(kippet, QStringLiteral("milk"), testClock().now());
            QList<KippetTodo> todos;
            for (int i = 0; i < 3; ++i) {
                KippetTodo todo;
                todo.id = QUuid::createUuid();
                todo.text = QStringLiteral("todo %1").arg(i);
                todo.createdAt = testClock().now();
                todos.append(todo);
            }
            kippet->setTodos(todos);
            AppHarness::settle();
            shot = window->grab().toImage();
            for (const QLabel* faint : {label(card, QStringLiteral("0 sec. ago")),
                                        label(todoCard, QStringLiteral("3/3"))}) {
                const double strength = inkStrength(shot, faint, window);
                QVERIFY2(strength > 0.08 && strength < 0.45,
                         qPrintable(faint->text() + u' ' + QString::number(strength)));
            }
            QApplication::setPalette(original);
        }
    }

    // A new 600 x 500 window of an empty kippet says so in view, under the two cards.
    void theEmptyStateOfANewWindowIsInView() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        KippetNoteCard* card = noteCardOf(app, kippet);
        QCOMPARE(card->window()->size(), QSize(600, 500));
        auto* items = qobject_cast<ItemsArea*>(card->parentWidget()->parentWidget());
        QVERIFY(items);
        for (const QString& text : {QStringLiteral("Nothing here yet"),
                                    QStringLiteral("Import or paste in files, images, links...")}) {
            QLabel* shown = nullptr;
            for (QLabel* label : items->findChildren<QLabel*>()) {
                if (label->text() == text && label->isVisible())
                    shown = label;
            }
            QVERIFY2(shown, qPrintable(text));
            const QRect place(shown->mapTo(items->viewport(), QPoint(0, 0)), shown->size());
            QVERIFY2(items->viewport()->rect().contains(place),
                     qPrintable(QStringLiteral("%1 at y %2-%3 of a view %4 high")
                                    .arg(text)
                                    .arg(place.top())
                                    .arg(place.bottom() + 1)
                                    .arg(items->viewport()->height())));
        }
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
