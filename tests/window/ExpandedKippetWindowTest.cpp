#include "analysis/LocalModelServer.h"
#include "app/DailyKippet.h"
#include "editors/KippetNoteCard.h"
#include "editors/KippetTodoCard.h"
#include "editors/SharedTodoRow.h"
#include "model/Kippet.h"
#include "model/KippetColor.h"
#include "platform/Animations.h"
#include "platform/Clock.h"
#include "platform/ClockAnimation.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "support/Compressed.h"
#include "support/RecordedDrag.h"
#include "support/TestEnvironment.h"
#include "support/TestFiles.h"
#include "window/ActionButton.h"
#include "window/CardHoverButton.h"
#include "window/CategorySection.h"
#include "window/ExpandedKippetLayout.h"
#include "window/FloatingKippetView.h"
#include "window/FloatingKippetWindow.h"
#include "window/GridColumns.h"
#include "window/ItemCard.h"
#include "window/ItemsArea.h"
#include "window/ItemsEmptyStateView.h"
#include "window/KippetIconBadge.h"
#include "window/LayoutSwitchButton.h"
#include "window/PanelDriver.h"
#include "window/ShimmerSymbol.h"
#include "window/StatusCard.h"
#include "window/ThumbnailCache.h"

#include <QBuffer>
#include <QClipboard>
#include <QCursor>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <functional>

using namespace PanelDriver;
using namespace std::chrono_literals;

// A real expanded kippet window under the test clock: its sections and cards, the grid and list
// switch shared by every window, the debounced columns, the status cards and the empty state,
// and drops and pastes onto its items.
namespace {
ExpandedKippetLayout* layoutOf(FloatingKippetWindow* window) {
    return qobject_cast<ExpandedKippetLayout*>(viewOf(window)->currentLayout());
}

ItemsArea* itemsOf(FloatingKippetWindow* window) {
    return layoutOf(window)->itemsArea();
}

FloatingKippetWindow* expanded(AppHarness& app, Kippet* kippet) {
    FloatingKippetWindow* window = showActive(app, kippet);
    if (!kippet->isExpanded())
        window->toggleExpanded();
    AppHarness::settle();
    return window;
}

KippetItem textItem(const QString& name, ItemCategory category,
                    std::optional<QString> customCategory = std::nullopt,
                    bool isProcessing = false) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = KippetItemType::text;
    item.content = name.toUtf8();
    item.metadata.name = name;
    item.category = category;
    item.customCategory = std::move(customCategory);
    item.isProcessing = isProcessing;
    item.addedDate = QDateTime::currentDateTimeUtc();
    return item;
}

// Where a widget lies in the panel, less `inset` all round.
QRect frameIn(const FloatingKippetWindow* window, const QWidget* widget, int inset = 0) {
    return QRect(widget->mapTo(window, QPoint(inset, inset)),
                 widget->size() - QSize(2 * inset, 2 * inset));
}

// The expanded layout of one frame: its header at the panel's top and its toolbar at the bottom,
// every control inside the panel and apart from the others.
void checkExpandedFrame(FloatingKippetWindow* window, const QString& at) {
    ExpandedKippetLayout* layout = layoutOf(window);
    QVERIFY2(layout, qPrintable(at));
    const auto* close = layout->findChild<ActionButton*>(QStringLiteral("CloseKippetButton"));
    auto* name = layout->findChild<QLabel*>(QStringLiteral("KippetName"));
    QVERIFY2(close && name, qPrintable(at));
    const QRect header = frameIn(window, close->parentWidget());
    QVERIFY2(header.top() == 0 && window->rect().contains(header),
             qPrintable(at + QStringLiteral(": header at %1, %2").arg(header.x()).arg(header.y())));
    const QRect toolbar = frameIn(window, layout->findChild<QWidget*>(QStringLiteral("Toolbar")));
    QVERIFY2(toolbar.bottom() == window->height() - 1 && window->rect().contains(toolbar),
             qPrintable(at));
    QList<QRect> controls{
        // The badge's circle, without the room for its glow.
        frameIn(window, layout->findChild<KippetIconBadge*>(), KippetIconBadge::glowMargin),
        frameIn(window, name)};
    for (const ActionButton* button : layout->findChildren<ActionButton*>())
        controls.append(frameIn(window, button));
    QCOMPARE(controls.size(), 9);
    for (qsizetype a = 0; a < controls.size(); ++a) {
        QVERIFY2(!controls[a].isEmpty() && window->rect().contains(controls[a]), qPrintable(at));
        for (qsizetype b = a + 1; b < controls.size(); ++b)
            QVERIFY2(!controls[a].intersects(controls[b]),
                     qPrintable(at + QStringLiteral(": %1 and %2 overlap").arg(a).arg(b)));
    }
    // The header keeps its height, the name one line under the badge.
    QCOMPARE(name->height(), name->sizeHint().height());
}

// The largest difference of one channel between the two colours.
int channelDistance(const QColor& a, const QColor& b) {
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

// The active panel's border, in the middle of each side of the frame as it is drawn: nearer to
// the border's colour than to the panel's inside.
void checkBorder(FloatingKippetWindow* window, const QString& at) {
    const QImage shot = window->grab().toImage();
    const qreal ratio = shot.devicePixelRatio();
    const auto pixel = [&](QPoint point) {
        return shot.pixelColor(QPoint(qRound(point.x() * ratio), qRound(point.y() * ratio)));
    };
    const QColor border = window->borderColor();
    const int w = window->width();
    const int h = window->height();
    const QColor inside = pixel(QPoint(30, h / 2));
    for (const QPoint edge :
         {QPoint(w / 2, 1), QPoint(w - 2, h / 2), QPoint(w / 2, h - 2), QPoint(1, h / 2)}) {
        const QColor shown = pixel(edge);
        QVERIFY2(
            channelDistance(shown, border) < channelDistance(shown, inside),
            qPrintable(
                at +
                QStringLiteral(": %1 at %2, %3").arg(shown.name()).arg(edge.x()).arg(edge.y())));
    }
}

// As a drag of the panel's edge ends: the width, then the events of the moment.
void resize(FloatingKippetWindow* window, int width) {
    window->setFrame(RectD(window->frame().x, window->frame().y, width, window->frame().height));
    QTRY_COMPARE(layoutOf(window)->width(), width);
    AppHarness::settle();
}

QStringList sectionSummary(FloatingKippetWindow* window) {
    QStringList summary;
    for (const CategorySection* section : itemsOf(window)->sections())
        summary.append(QStringLiteral("%1 %2").arg(section->title()).arg(section->count()));
    return summary;
}

QByteArray png(QSize size, QColor colour = Qt::darkCyan) {
    return TestFiles::encodedImage(size, colour, "PNG");
}

quint32 crc32(const QByteArray& bytes) {
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray bigEndian(quint32 value) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char(value >> (24 - 8 * i));
    return bytes;
}

// A well-formed PNG header that declares 9000 × 9000 pixels (324 MB decoded), then nothing.
QByteArray oversizedPng() {
    QByteArray header = "IHDR" + bigEndian(9000) + bigEndian(9000);
    header.append(QByteArray::fromHex("0802000000"));
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + bigEndian(13) + header + bigEndian(crc32(header)) +
           bigEndian(0) + "IEND" + bigEndian(crc32("IEND"));
}

KippetItem imageItem(const QByteArray& content, std::optional<QByteArray> thumbnail) {
    KippetItem item =
        textItem(QUuid::createUuid().toString() + QStringLiteral(".png"), ItemCategory::images);
    item.type = KippetItemType::image;
    item.content = content;
    item.metadata.thumbnail = std::move(thumbnail);
    return item;
}

// The darkest grey drawn over the widget's area of the panel.
int darkestInk(FloatingKippetWindow* window, const QWidget* widget) {
    const QImage image = window->grab().toImage();
    const QRect area(widget->mapTo(window, QPoint(0, 0)), widget->size());
    int darkest = 255;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 255)
                darkest = std::min(darkest, qGray(pixel));
        }
    }
    return darkest;
}

// The pointer goes where the events say: hover is also read from where it stands.
void hover(QWidget* widget) {
    QCursor::setPos(widget->mapToGlobal(QPoint(5, 5)));
    QEnterEvent enter(QPointF(5, 5), widget->mapTo(widget->window(), QPointF(5, 5)),
                      widget->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(widget, &enter);
}

void leave(QWidget* widget) {
    QCursor::setPos(widget->window()->geometry().bottomRight() + QPoint(40, 40));
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

// How red the card's left edge is drawn on the row of `global`: its outline in a red kippet's
// colour shows there, else only the card's grey glass.
int redness(FloatingKippetWindow* window, const QWidget* card, QPoint global) {
    const QImage shot = window->grab().toImage();
    const qreal ratio = shot.devicePixelRatio();
    const QPoint at = card->mapTo(window, QPoint(1, card->mapFromGlobal(global).y()));
    const QColor shown = shot.pixelColor(QPoint(qRound(at.x() * ratio), qRound(at.y() * ratio)));
    return shown.red() - shown.green();
}

// A drag that ends over `point` of the panel, dispatched as the window system delivers it: to
// the widget under the point, or the nearest one above it that takes drops.
bool dropAt(FloatingKippetWindow* window, QPoint point, const QMimeData& data) {
    QDragEnterEvent enter(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->windowHandle(), &enter);
    QDragMoveEvent move(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->windowHandle(), &move);
    if (!move.isAccepted())
        return false;
    QDropEvent drop(point, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window->windowHandle(), &drop);
    return drop.isAccepted();
}
} // namespace

class ExpandedKippetWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        TestEnvironment::resetPreferences();
        // The items alone: the note and todo cards are tested on their own.
        ExpandedKippetLayout::setNoteCardFactory({});
        ExpandedKippetLayout::setTodoCardFactory({});
        // Hover follows the pointer: it starts away from every panel.
        QCursor::setPos(0, 0);
    }

    void sectionsStandInOrderWithTheirCounts() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        kippet->addItem(
            textItem(QStringLiteral("soup"), ItemCategory::documents, QStringLiteral("Recipes")));
        kippet->addItem(textItem(QStringLiteral("site"), ItemCategory::links));
        kippet->addItem(
            textItem(QStringLiteral("pie"), ItemCategory::notes, QStringLiteral("Recipes")));
        kippet->addItem(textItem(QStringLiteral("later"), ItemCategory::waitingForAnalysis));
        kippet->addItem(
            textItem(QStringLiteral("busy"), ItemCategory::uncategorized, std::nullopt, true));
        Preferences::shared().setBool(QStringLiteral("ai_enabled"), false);
        FloatingKippetWindow* window = expanded(app, kippet);
        QCOMPARE(layoutOf(window)->content(), ExpandedContent::items);
        QCOMPARE(sectionSummary(window),
                 QStringList({QStringLiteral("Links 1"), QStringLiteral("Recipes 2"),
                              QStringLiteral("Waiting for Analysis 1")}));
        QVERIFY(!itemsOf(window)->emptyState());
        // The item in analysis has no card.
        for (const ItemCard* card : itemsOf(window)->cards())
            QVERIFY(!card->item().isProcessing);
        const CategorySection* recipes = itemsOf(window)->sections()[1];
        const QList<ItemCard*> cards = recipes->findChildren<ItemCard*>();
        QCOMPARE(cards.size(), 2);
        QCOMPARE(layoutOf(window)->shownName(), QStringLiteral("Inbox"));

        // Three columns in 600 points: the cards of a section stand side by side.
        const ItemCard* soup = itemsOf(window)->cardFor(kippet->items()[0].id);
        const ItemCard* pie = itemsOf(window)->cardFor(kippet->items()[2].id);
        QCOMPARE(soup->y(), pie->y());
        QCOMPARE(pie->x() - soup->x(), soup->width() + 12);
        QCOMPARE(soup->height(), 220);
        QVERIFY(soup->width() >= 160 && soup->width() <= 260);
    }

    // Every frame of expanding and collapsing is a whole layout: the header (badge, name, close)
    // stands inside the panel at its top and the toolbar at its bottom, the panel's border shows
    // all round, and the controls never run into each other, however small the panel still is.
    void everyFrameOfTheTransitionsShowsTheWholeLayout() {
        AppHarness app;
        start(app);
        Kippet* kippet =
            app.addKippet(QStringLiteral("A kippet with a rather long name"), {100, 100});
        FloatingKippetWindow* window = showActive(app, kippet);
        AppHarness::settle();
        QVERIFY(window->isBorderVisible());
        Animations::setEnabled(true);
        window->toggleExpanded();
        Animations::setEnabled(false);
        int frames = 0;
        while (window->isAnimating()) {
            QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            const QString at = QStringLiteral("frame %1, %2 x %3")
                                   .arg(frames)
                                   .arg(window->width())
                                   .arg(window->height());
            checkExpandedFrame(window, at);
            checkBorder(window, at);
            if (QTest::currentTestFailed())
                return;
            testClock().advance(ClockAnimation::frame);
            ++frames;
        }
        QVERIFY(frames >= 10);
        QCOMPARE(window->size(), QSize(600, 500));

        Animations::setEnabled(true);
        window->toggleExpanded();
        Animations::setEnabled(false);
        for (frames = 0; window->isAnimating(); ++frames) {
            QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            const QString at =
                QStringLiteral("collapsing, %1 x %2").arg(window->width()).arg(window->height());
            QCOMPARE(viewOf(window)->currentLayout()->geometry(), window->rect());
            checkBorder(window, at);
            if (QTest::currentTestFailed())
                return;
            testClock().advance(ClockAnimation::frame);
        }
        QVERIFY(frames >= 10);
        QCOMPARE(window->size(), QSize(220, 200));
    }

    // A mini tile grows into the expanded panel from the collapsed tile's size on: no frame
    // squeezes the header and the toolbar into the 80 x 80 tile.
    void expandingAMiniTileShowsTheWholeLayoutInEveryFrame() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Tiny"), {100, 100});
        kippet->setIsMiniView(true);
        FloatingKippetWindow* window = showActive(app, kippet);
        AppHarness::settle();
        QCOMPARE(window->size(), QSize(80, 80));
        const QPoint bottomLeft = window->geometry().bottomLeft();
        Animations::setEnabled(true);
        window->toggleExpanded();
        Animations::setEnabled(false);
        int frames = 0;
        for (; window->isAnimating(); ++frames) {
            QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            const QString at = QStringLiteral("frame %1, %2 x %3")
                                   .arg(frames)
                                   .arg(window->width())
                                   .arg(window->height());
            QVERIFY2(window->width() >= 220 && window->height() >= 200, qPrintable(at));
            QCOMPARE(window->geometry().bottomLeft(), bottomLeft);
            checkExpandedFrame(window, at);
            if (QTest::currentTestFailed())
                return;
            testClock().advance(ClockAnimation::frame);
        }
        QVERIFY(frames >= 10);
        QCOMPARE(window->size(), QSize(600, 500));
    }

    // The wheel moves the cards under a pointer that stands still: the card that scrolled away
    // loses its hover and the one now under the pointer has it, as if the pointer had moved.
    void hoverFollowsThePointerThroughAScroll() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        for (int i = 0; i < 30; ++i)
            kippet->addItem(textItem(QStringLiteral("item %1").arg(i), ItemCategory::notes));
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemsArea* area = itemsOf(window);
        const QRect shown(area->viewport()->mapToGlobal(QPoint(0, 0)), area->viewport()->size());
        const auto cardUnder = [&](QPoint global) -> ItemCard* {
            for (ItemCard* card : area->cards()) {
                if (card->isVisible() && shown.contains(global) &&
                    QRect(card->mapToGlobal(QPoint(0, 0)), card->size()).contains(global))
                    return card;
            }
            return nullptr;
        };
        QList<ItemCard*> inView;
        for (ItemCard* card : area->cards()) {
            if (shown.contains(QRect(card->mapToGlobal(QPoint(0, 0)), card->size())))
                inView.append(card);
        }
        QVERIFY(!inView.isEmpty());
        const QPoint pointer = inView.first()->mapToGlobal(inView.first()->rect().center());
        QCursor::setPos(pointer);
        QTest::mouseMove(window->windowHandle(), window->mapFromGlobal(pointer));
        ItemCard* const before = cardUnder(pointer);
        QVERIFY(before);
        QTRY_VERIFY(before->isHovering());
        const QPointer<ItemCard> scrolled(before);

        const auto scrolling = [&] {
            ItemCard* under = cardUnder(pointer);
            return !under || under == before;
        };
        for (int notch = 0; notch < 10 && scrolling(); ++notch) {
            const QPoint local = area->viewport()->mapFromGlobal(pointer);
            QWheelEvent wheel(local, pointer, QPoint(), QPoint(0, -ItemsArea::wheelStep),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(area->viewport(), &wheel);
        }
        QVERIFY(area->verticalScrollBar()->value() > 0);
        ItemCard* after = cardUnder(pointer);
        QVERIFY(after && after != before);
        QVERIFY(after->isHovering());
        QVERIFY(!scrolled || !scrolled->isHovering());
        for (ItemCard* card : area->cards())
            QVERIFY2(card == after || !card->isHovering(), qPrintable(card->item().id.toString()));
    }

    // The note and todo cards scroll with the items: under a pointer that stands still, the card
    // that scrolled away loses its outline and the one now under the pointer shows it, and the
    // todo row under the pointer is lit.
    void theNoteAndTodoCardsFollowThePointerThroughAScroll() {
        ExpandedKippetLayout::setNoteCardFactory([](FloatingKippetView* view) -> QWidget* {
            return new KippetNoteCard(view->kippet(), [] {});
        });
        ExpandedKippetLayout::setTodoCardFactory([](FloatingKippetView* view) -> QWidget* {
            return new KippetTodoCard(view->kippet(), [] {});
        });
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        kippet->setColor(KippetColor::fromQColor(QColor(Qt::red)));
        app.manager().updateNote(QStringLiteral("Bread\nMilk\nEggs"), kippet);
        for (int i = 0; i < 4; ++i)
            app.manager().addTodo(QStringLiteral("todo %1").arg(i), kippet);
        for (int i = 0; i < 30; ++i)
            kippet->addItem(textItem(QStringLiteral("item %1").arg(i), ItemCategory::notes));
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemsArea* area = itemsOf(window);
        auto* note = area->findChild<KippetNoteCard*>();
        auto* todos = area->findChild<KippetTodoCard*>();
        QVERIFY(note && todos);
        const QRect shown(area->viewport()->mapToGlobal(QPoint(0, 0)), area->viewport()->size());
        const auto under = [&](const QWidget* widget, QPoint global) {
            return widget->isVisible() && shown.contains(global) &&
                   QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()).contains(global);
        };
        // A touchpad's small steps, so that no row is scrolled past unseen.
        const auto scrollUntil = [&](QPoint global, const std::function<bool()>& done) {
            for (int step = 0; step < 100 && !done(); ++step) {
                QWheelEvent wheel(area->viewport()->mapFromGlobal(global), global, QPoint(),
                                  QPoint(0, -ItemsArea::wheelStep / 10), Qt::NoButton,
                                  Qt::NoModifier, Qt::NoScrollPhase, false);
                QApplication::sendEvent(area->viewport(), &wheel);
            }
            return done();
        };
        const QPoint pointer = note->mapToGlobal(QPoint(note->width() / 2, note->height() / 2));
        QCursor::setPos(pointer);
        QTest::mouseMove(window->windowHandle(), window->mapFromGlobal(pointer));
        QTRY_VERIFY(note->isHovering());
        QVERIFY(!todos->isHovering());
        QVERIFY(redness(window, note, pointer) > 60);

        // The todo card comes under the pointer, and one of its rows.
        const auto rowUnderPointer = [&] {
            for (const SharedTodoRow* row : todos->findChildren<SharedTodoRow*>()) {
                if (under(row, pointer))
                    return true;
            }
            return false;
        };
        QVERIFY(scrollUntil(pointer, rowUnderPointer));
        QVERIFY(!note->isHovering());
        QVERIFY(todos->isHovering());
        QVERIFY(redness(window, todos, pointer) > 60);
        for (const SharedTodoRow* row : todos->findChildren<SharedTodoRow*>())
            QCOMPARE(row->isHovering(), under(row, pointer));

        // Scrolled on, the todo card and its rows go dark as they leave.
        QVERIFY(scrollUntil(pointer, [&] { return !under(todos, pointer); }));
        QVERIFY(!todos->isHovering());
        for (const SharedTodoRow* row : todos->findChildren<SharedTodoRow*>())
            QVERIFY(!row->isHovering());
        // Just above the pointer, where the card still shows, no outline is drawn.
        const QPoint bottomOfTodos = todos->mapToGlobal(QPoint(0, todos->height() - 20));
        QVERIFY(shown.contains(bottomOfTodos));
        QVERIFY(redness(window, todos, bottomOfTodos) < 20);

        // And back: the note card scrolls under the pointer again and lights up.
        QVERIFY(area->verticalScrollBar()->value() > 0);
        area->verticalScrollBar()->setValue(0);
        QVERIFY(note->isHovering());
        QVERIFY(!todos->isHovering());
    }

    void anEmptyKippetShowsTheEmptyStateUnderTheLayoutRow() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemsArea* items = itemsOf(window);
        ItemsEmptyStateView* empty = items->emptyState();
        QVERIFY(empty && empty->isVisible());
        QCOMPARE(empty->texts(), QStringList({QStringLiteral("Nothing here yet"),
                                              QStringLiteral("Import or paste in files, images, "
                                                             "links...")}));
        const QWidget* row = items->layoutSwitch()->parentWidget();
        QCOMPARE(empty->y(), row->geometry().bottom() + 1 + 16);
        // The texts are drawn in the secondary colour, not in a view's black text.
        QVERIFY(darkestInk(window, empty) > 60);
        QVERIFY(darkestInk(window, row->findChild<QLabel*>()) > 60);
        QVERIFY(items->sections().isEmpty());

        // Every item in analysis: not empty, and no section either.
        Preferences::shared().setBool(QStringLiteral("ai_enabled"), false);
        kippet->addItem(
            textItem(QStringLiteral("busy"), ItemCategory::uncategorized, std::nullopt, true));
        QVERIFY(!items->emptyState());
        QVERIFY(items->sections().isEmpty());
        QCOMPARE(layoutOf(window)->content(), ExpandedContent::items);
    }

    void theLayoutSwitchChangesEveryOpenWindow() {
        AppHarness app;
        start(app);
        Kippet* first = app.addKippet(QStringLiteral("First"), {100, 100});
        Kippet* second = app.addKippet(QStringLiteral("Second"), {100, 300});
        first->addItem(textItem(QStringLiteral("a"), ItemCategory::notes));
        second->addItem(textItem(QStringLiteral("b"), ItemCategory::notes));
        FloatingKippetWindow* one = expanded(app, first);
        FloatingKippetWindow* two = expanded(app, second);
        LayoutSwitchButton* toggle = itemsOf(one)->layoutSwitch();
        QCOMPARE(toggle->systemName(), QStringLiteral("list.bullet"));
        QCOMPARE(toggle->toolTip(), QStringLiteral("Switch to list view"));

        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(Preferences::shared().stringValue(QStringLiteral("floatingKippetItemLayoutMode")),
                 std::optional<QString>(QStringLiteral("list")));
        QCOMPARE(itemsOf(two)->layoutMode(), ItemLayoutMode::list);
        QCOMPARE(itemsOf(two)->layoutSwitch()->systemName(), QStringLiteral("square.grid.2x2"));
        QCOMPARE(itemsOf(two)->layoutSwitch()->toolTip(), QStringLiteral("Switch to grid view"));
        // A list row spans the section's width.
        const ItemCard* row = itemsOf(two)->cards().first();
        QCOMPARE(row->layoutMode(), ItemLayoutMode::list);
        QCOMPARE(row->width(), row->parentWidget()->width());
        QCOMPARE(row->height(), 120);

        QTest::mouseClick(itemsOf(two)->layoutSwitch(), Qt::LeftButton);
        QCOMPARE(Preferences::shared().stringValue(QStringLiteral("floatingKippetItemLayoutMode")),
                 std::optional<QString>(QStringLiteral("grid")));
        QCOMPARE(itemsOf(one)->layoutMode(), ItemLayoutMode::grid);
    }

    void anUnknownStoredLayoutShowsTheGrid() {
        Preferences::shared().setString(QStringLiteral("floatingKippetItemLayoutMode"),
                                        QStringLiteral("tiles"));
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = expanded(app, kippet);
        QCOMPARE(itemsOf(window)->layoutMode(), ItemLayoutMode::grid);
        QTest::mouseClick(itemsOf(window)->layoutSwitch(), Qt::LeftButton);
        QCOMPARE(Preferences::shared().stringValue(QStringLiteral("floatingKippetItemLayoutMode")),
                 std::optional<QString>(QStringLiteral("list")));
        QCOMPARE(itemsOf(window)->layoutMode(), ItemLayoutMode::list);
    }

    void columnsFollowTheWidthOnceTheResizeSettles() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        for (int i = 0; i < 8; ++i)
            kippet->addItem(textItem(QStringLiteral("item %1").arg(i), ItemCategory::notes));
        FloatingKippetWindow* window = expanded(app, kippet);
        GridColumns& grid = viewOf(window)->gridColumns();
        QCOMPARE(window->frame().width, 600.0);
        QCOMPARE(grid.count(), 3);
        QCOMPARE(itemsOf(window)->columnCount(), 3);

        resize(window, 700);
        QVERIFY(!grid.isResizePending());

        resize(window, 800);
        QVERIFY(grid.isResizePending());
        testClock().advance(199ms);
        QCOMPARE(itemsOf(window)->columnCount(), 3);
        testClock().advance(1ms);
        QCOMPARE(itemsOf(window)->columnCount(), 4);
        const QList<ItemCard*> cards =
            itemsOf(window)->sections().first()->findChildren<ItemCard*>();
        QSet<int> columns;
        for (const ItemCard* card : cards)
            columns.insert(card->x());
        QCOMPARE(columns.size(), 4);

        // Narrower and back within the wait: nothing changes.
        resize(window, 600);
        QVERIFY(grid.isResizePending());
        testClock().advance(100ms);
        resize(window, 820);
        QVERIFY(!grid.isResizePending());
        testClock().advance(1s);
        QCOMPARE(itemsOf(window)->columnCount(), 4);

        // Collapsed within the wait: the change is dropped, and the return starts from 4.
        resize(window, 600);
        QVERIFY(grid.isResizePending());
        window->toggleExpanded();
        QVERIFY(!grid.isResizePending());
        testClock().advance(1s);
        QCOMPARE(grid.count(), 4);
    }

    void theStatusCardsTakeTheContentArea() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = expanded(app, kippet);
        ExpandedKippetLayout* layout = layoutOf(window);
        QCOMPARE(layout->content(), ExpandedContent::items);

        KippetItem item =
            textItem(QStringLiteral("a"), ItemCategory::uncategorized, std::nullopt, true);
        kippet->addItem(item);
        QCOMPARE(layout->content(), ExpandedContent::analyzing);
        QVERIFY(layout->statusCard()->isVisible());
        QCOMPARE(layout->statusCard()->title(), QStringLiteral("Analyzing Content..."));
        QCOMPARE(layout->statusCard()->subtitle(), QStringLiteral("AI is categorizing your items"));
        QVERIFY(!itemsOf(window)->isVisible());

        // Analysis switched off: the items come back at once.
        Preferences::shared().setBool(QStringLiteral("ai_enabled"), false);
        QCOMPARE(layout->content(), ExpandedContent::items);
        QVERIFY(itemsOf(window)->isVisible());
        Preferences::shared().setBool(QStringLiteral("ai_enabled"), true);
        QCOMPARE(layout->content(), ExpandedContent::analyzing);

        item.category = ItemCategory::waitingForAnalysis;
        item.isProcessing = false;
        kippet->replaceItem(item);
        QCOMPARE(layout->content(), ExpandedContent::analysisFailed);
        QCOMPARE(layout->statusCard()->title(), QStringLiteral("AI Analysis Failed"));
        QCOMPARE(layout->statusCard()->subtitle(), QStringLiteral("Will continue when available"));
        // Off, a failure is not shown; on again within its time, it is.
        Preferences::shared().setBool(QStringLiteral("ai_enabled"), false);
        QCOMPARE(layout->content(), ExpandedContent::items);
        testClock().advance(11s);
        Preferences::shared().setBool(QStringLiteral("ai_enabled"), true);
        QCOMPARE(layout->content(), ExpandedContent::analysisFailed);
        testClock().advance(1s);
        QCOMPARE(layout->content(), ExpandedContent::items);
        QCOMPARE(sectionSummary(window), QStringList({QStringLiteral("Waiting for Analysis 1")}));
    }

    void eachImportKeepsTheImportingCardForTwoSeconds() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = expanded(app, kippet);
        ExpandedKippetLayout* layout = layoutOf(window);
        kippet->addItem(textItem(QStringLiteral("a"), ItemCategory::links));
        QCOMPARE(layout->content(), ExpandedContent::importing);
        QCOMPARE(layout->statusCard()->symbol()->sizeHint(), QSize(53, 53));
        testClock().advance(1500ms);
        kippet->addItem(textItem(QStringLiteral("b"), ItemCategory::notes));
        testClock().advance(1999ms);
        QCOMPARE(layout->content(), ExpandedContent::importing);
        testClock().advance(1ms);
        QCOMPARE(layout->content(), ExpandedContent::items);
        QCOMPARE(sectionSummary(window),
                 QStringList({QStringLiteral("Links 1"), QStringLiteral("Notes 1")}));
    }

    void cardsShowTheirPictureOrThePlaceholder() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        const KippetItem good = imageItem(png(QSize(640, 480)), std::nullopt);
        const KippetItem fallback = imageItem("not an image", png(QSize(64, 48)));
        const KippetItem neither = imageItem("not an image", QByteArray("nor this"));
        const KippetItem huge = imageItem(oversizedPng(), std::nullopt);
        // Drawings, plain and compressed, and an icon, as files from the web come.
        const QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"24\" "
                               "height=\"24\"><circle cx=\"12\" cy=\"12\" r=\"12\" "
                               "fill=\"#ff8000\"/></svg>";
        const KippetItem drawing = imageItem(svg, std::nullopt);
        const KippetItem compressed = imageItem(Compressed::gzipped(svg), std::nullopt);
        const KippetItem icon = imageItem(
            TestFiles::encodedImage(QSize(32, 32), QColor(0, 160, 0), "ICO"), std::nullopt);
        const QList<KippetItem> all{good, fallback, neither, huge, drawing, compressed, icon};
        for (const KippetItem& item : all)
            kippet->addItem(item);
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemsArea* items = itemsOf(window);
        ThumbnailCache& cache = items->thumbnails();
        for (const KippetItem& item : all)
            QTRY_VERIFY(cache.isSettled(item.id));
        QVERIFY(items->cardFor(good.id)->showsPicture());
        QVERIFY(items->cardFor(fallback.id)->showsPicture());
        QVERIFY(!items->cardFor(neither.id)->showsPicture());
        QVERIFY(!items->cardFor(huge.id)->showsPicture());
        for (const KippetItem& item : {drawing, compressed}) {
            QVERIFY(items->cardFor(item.id)->showsPicture());
            const QImage picture = cache.picture(item);
            // Drawn at the card's size, not enlarged from 24 pixels.
            QVERIFY(picture.width() >= 260);
            const QPoint centre(picture.width() / 2, picture.height() / 2);
            QCOMPARE(picture.pixelColor(centre), QColor(255, 128, 0));
        }
        QVERIFY(items->cardFor(icon.id)->showsPicture());
        QCOMPARE(cache.picture(icon).pixelColor(10, 10), QColor(0, 160, 0));
        // Decoded small: no larger than what covers a card.
        const QImage picture = cache.picture(good);
        QVERIFY(picture.width() <= 2 * 260 && picture.height() <= 2 * 196);
        QVERIFY(picture.height() >= 96);
    }

    void hoveringShowsTheButtonsAndTheKippetsBorder() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Daily"), {100, 100});
        kippet->setColor(KippetColor::fromQColor(QColor(Qt::red)));
        kippet->setIsDailyKippet(true);
        kippet->addItem(textItem(QStringLiteral("a"), ItemCategory::notes));
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemCard* card = itemsOf(window)->cards().first();
        QCOMPARE(card->borderColor().alpha(), 0);
        QVERIFY(card->hoverButtons().isEmpty());

        hover(card);
        QVERIFY(card->isHovering());
        QColor expected = dailyKippetColor();
        expected.setAlphaF(0.5f);
        QCOMPARE(card->borderColor(), expected);
        QStringList symbols;
        for (const CardHoverButton* button : card->hoverButtons()) {
            QVERIFY(button->isVisible());
            symbols.append(button->systemName());
        }
        QCOMPARE(symbols, QStringList({QStringLiteral("folder"), QStringLiteral("doc.on.doc"),
                                       QStringLiteral("xmark.circle.fill")}));
        // In the grid the buttons stand in a row at the card's top-trailing corner.
        const QList<CardHoverButton*> buttons = card->hoverButtons();
        QCOMPARE(buttons[0]->y(), 8);
        QCOMPARE(buttons[2]->geometry().right(), card->width() - 1 - 8);

        leave(card);
        QVERIFY(!card->isHovering());
        QCOMPARE(card->borderColor().alpha(), 0);
        QVERIFY(!buttons[0]->isVisible());
    }

    void longTextsAreCutToTheirLines() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        KippetItem item = textItem(QStringLiteral("long"), ItemCategory::notes);
        item.metadata.aiTitle =
            QStringLiteral("  ") + QStringLiteral("A title that goes on ").repeated(8);
        item.metadata.aiDescription = QStringLiteral("one\ntwo\nthree\nfour\nfive");
        kippet->addItem(item);
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemCard* card = itemsOf(window)->cardFor(item.id);
        QCOMPARE(card->titleLines().size(), 2);
        QVERIFY(card->titleLines()[0].startsWith(QStringLiteral("A title that")));
        QVERIFY(card->titleLines()[1].endsWith(QChar(0x2026)));
        QCOMPARE(card->descriptionLines().size(), 3);
        QCOMPARE(card->descriptionLines()[0], QStringLiteral("one"));
        QVERIFY(card->descriptionLines()[2].startsWith(QStringLiteral("three")));
        QVERIFY(card->descriptionLines()[2].endsWith(QChar(0x2026)));

        QTest::mouseClick(itemsOf(window)->layoutSwitch(), Qt::LeftButton);
        QCOMPARE(card->layoutMode(), ItemLayoutMode::list);
        QCOMPARE(card->descriptionLines().size(), 2);
        QCOMPARE(card->titleLines().size(), 2);
    }

    void cardsKeepTheirIdentityWhenTheSectionsRegroup() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        KippetItem moving = textItem(QStringLiteral("moving"), ItemCategory::links);
        const KippetItem staying = textItem(QStringLiteral("staying"), ItemCategory::notes);
        const KippetItem other = textItem(QStringLiteral("other"), ItemCategory::notes);
        for (const KippetItem& item : {moving, staying, other})
            kippet->addItem(item);
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemsArea* items = itemsOf(window);
        QCOMPARE(sectionSummary(window),
                 QStringList({QStringLiteral("Links 1"), QStringLiteral("Notes 2")}));
        const QPointer<ItemCard> stayingCard = items->cardFor(staying.id);
        const QPointer<ItemCard> otherCard = items->cardFor(other.id);
        const QPointer<ItemCard> movingCard = items->cardFor(moving.id);
        QVERIFY(stayingCard && otherCard && movingCard);
        hover(stayingCard);

        // The Links section goes; its card moves into Notes.
        moving.category = ItemCategory::notes;
        kippet->replaceItem(moving);
        AppHarness::settle();
        QCOMPARE(sectionSummary(window), QStringList({QStringLiteral("Notes 3")}));
        QVERIFY(stayingCard && otherCard && movingCard);
        QCOMPARE(items->cardFor(staying.id), stayingCard.data());
        QCOMPARE(items->cardFor(other.id), otherCard.data());
        QCOMPARE(items->cardFor(moving.id), movingCard.data());
        QCOMPARE(movingCard->parentWidget(), items->sections().first());
        QCOMPARE(movingCard->item().category, ItemCategory::notes);
        QVERIFY(movingCard->isVisible());
        // The card moved up, away from under the pointer, which now points below the one row.
        QVERIFY(!stayingCard->isHovering());
        for (const ItemCard* card : items->cards())
            QVERIFY(!card->isHovering());
        // Kippet order: the moved item comes first in its new section.
        QCOMPARE(movingCard->pos(), items->sections().first()->cardRect(0).topLeft());
        QCOMPARE(stayingCard->pos(), items->sections().first()->cardRect(1).topLeft());
    }

    void onlyTheCardsInViewAreMade() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        QList<KippetItem> many;
        for (int i = 0; i < 300; ++i)
            many.append(textItem(QStringLiteral("item %1").arg(i), ItemCategory::notes));
        kippet->setItems(many);
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemsArea* items = itemsOf(window);
        const int made = int(items->cards().size());
        QVERIFY2(made > 0 && made <= 24, qPrintable(QString::number(made)));
        QVERIFY(items->cardFor(many.first().id));
        QVERIFY(!items->cardFor(many.last().id));

        // Scrolled to the end: the last cards exist, the first are gone.
        QScrollBar* bar = items->verticalScrollBar();
        bar->setValue(bar->maximum());
        QVERIFY(items->cardFor(many.last().id));
        QVERIFY(items->cardFor(many.last().id)->isVisible());
        QVERIFY(!items->cardFor(many.first().id));
        QVERIFY(items->cards().size() <= 24);
        QCOMPARE(items->contentHeight(),
                 12 + 26 + 16 + items->sections().first()->contentHeight() + 12);
    }

    void dropsAndPastesOverTheItemsReachTheIntake() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        kippet->addItem(textItem(QStringLiteral("first"), ItemCategory::notes));
        FloatingKippetWindow* window = expanded(app, kippet);
        ItemCard* card = itemsOf(window)->cards().first();
        const QPoint overCard = card->mapTo(window, QPoint(20, 20));
        QCOMPARE(window->childAt(overCard), card);

        const QString documents = RecordedDrag::copyDocuments(app.folder());
        const auto data = RecordedDrag::load(QStringLiteral("thunar-three-files"), documents);
        QVERIFY(dropAt(window, overCard, *data));
        QTRY_COMPARE(kippet->items().size(), 4);

        QApplication::clipboard()->setText(QStringLiteral("Pasted words"));
        const auto paste =
            layoutOf(window)->findChild<ActionButton*>(QStringLiteral("PasteButton"));
        QTest::mouseClick(paste, Qt::LeftButton);
        QTRY_COMPARE(kippet->items().size(), 5);
        QCOMPARE(kippet->items().last().metadata.name, QStringLiteral("Pasted words"));
    }

    void theToolbarAndHeaderButtonsAct() {
        AppHarness app;
        start(app);
        Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
        FloatingKippetWindow* window = expanded(app, kippet);
        ExpandedKippetLayout* layout = layoutOf(window);
        QStringList names;
        for (const ActionButton* button : layout->buttons())
            names.append(button->objectName());
        QCOMPARE(names,
                 QStringList({"NewKippetButton", "CloseKippetButton", "PasteButton", "NotesButton",
                              "ImportButton", "TodosButton", "CollapseButton"}));
        // The collapse button sits at the toolbar's trailing end, 16 points in.
        const auto collapse = layout->findChild<ActionButton*>(QStringLiteral("CollapseButton"));
        QCOMPARE(collapse->mapTo(layout, QPoint(collapse->width(), 0)).x(), layout->width() - 16);

        LogCapture log;
        QTest::mouseClick(layout->notesButton(), Qt::LeftButton);
        QVERIFY(log.contains(QStringLiteral("📝 Notes button clicked (expanded)")));
        QTRY_VERIFY(window->noteWindow());
        QTRY_COMPARE(layoutOf(window)->notesButton()->helpText(), QStringLiteral("Close Notes"));
        QTest::mouseClick(layout->todosButton(), Qt::LeftButton);
        QVERIFY(log.contains(QStringLiteral("✅ Todos button clicked (expanded)")));
        QTRY_VERIFY(window->todoWindow());

        QTest::mouseClick(collapse, Qt::LeftButton);
        QTRY_VERIFY(!kippet->isExpanded());
    }
};

QTEST_MAIN(ExpandedKippetWindowTest)
#include "ExpandedKippetWindowTest.moc"
