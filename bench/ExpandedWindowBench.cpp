// An expanded kippet panel of a thousand items against a plain list view of their thousand
// titles, in windows of the same size: the time from making the window until it has painted with
// the pictures of the cards in view (decoded on a worker), and the time of one wheel step of
// scrolling, sent as a wheel event, with its repaint.
#include "model/Kippet.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "window/FloatingKippetWindow.h"
#include "window/ItemCard.h"
#include "window/ItemsArea.h"
#include "window/ThumbnailCache.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QListView>
#include <QScrollBar>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {
constexpr int itemCount = 1000;
constexpr int imageEvery = 10;
constexpr int scrollSteps = 200;
const QSize windowSize(600, 500);

const ItemCategory categories[] = {ItemCategory::notes,        ItemCategory::links,
                                   ItemCategory::images,       ItemCategory::pdfs,
                                   ItemCategory::code,         ItemCategory::documents,
                                   ItemCategory::spreadsheets, ItemCategory::media,
                                   ItemCategory::archives,     ItemCategory::references};

QByteArray png(int index) {
    QImage image(320, 240, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((index * 37) % 360, 160, 200));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QList<KippetItem> mixedItems() {
    QList<KippetItem> items;
    for (int i = 0; i < itemCount; ++i) {
        KippetItem item;
        item.id = QUuid::createUuid();
        item.category = categories[i % 10];
        item.metadata.name = QStringLiteral("Item number %1 with a longer title").arg(i);
        item.metadata.aiDescription =
            QStringLiteral("A description of item %1 that runs over a few lines of the card so "
                           "that it has to be cut and end in an ellipsis.")
                .arg(i);
        switch (i % 4) {
        case 0:
            item.type = KippetItemType::text;
            item.content = QByteArray("Some pasted words of text number ") + QByteArray::number(i);
            break;
        case 1:
            item.type = KippetItemType::url;
            item.content = "https://example.com/page/" + QByteArray::number(i);
            break;
        case 2:
            // A document with its preview: every section has pictures in view.
            item.type = KippetItemType::file;
            item.content = QByteArray(2048, 'x');
            item.metadata.fileExtension = QStringLiteral("pdf");
            item.metadata.thumbnail = png(i);
            break;
        default:
            item.type = KippetItemType::code;
            item.content = "int main() { return " + QByteArray::number(i) + "; }";
            break;
        }
        if (i % imageEvery == 0) {
            item.type = KippetItemType::image;
            item.content = png(i);
            item.metadata.fileExtension.reset();
        }
        items.append(item);
    }
    return items;
}

// Spins the event loop until `widget` has painted once; the paint pass that delivered it has
// then completed.
void waitForFirstPaint(QWidget* widget) {
    struct PaintWatch : QObject {
        bool painted = false;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint)
                painted = true;
            return false;
        }
    } watch;
    widget->installEventFilter(&watch);
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    widget->removeEventFilter(&watch);
}

QAbstractScrollArea* scrollerOf(QWidget* widget) {
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget))
        return area;
    return widget->findChild<ItemsArea*>();
}

// Whether every card in view that can show a picture has its picture decoded (or known to have
// none).
bool visiblePicturesSettled(QWidget* window) {
    auto* area = window->findChild<ItemsArea*>();
    if (!area)
        return true;
    const QRect visible = area->viewport()->rect();
    for (ItemCard* card : area->viewport()->findChildren<ItemCard*>()) {
        if (!card->isVisible() || !ThumbnailCache::mayHavePicture(card->item()))
            continue;
        const QRect shown(card->mapTo(area->viewport(), QPoint(0, 0)), card->size());
        if (shown.intersects(visible) && !area->thumbnails().isSettled(card->item().id))
            return false;
    }
    return true;
}

// Spins the event loop until the pictures of the cards in view have arrived, then once more so
// they are painted.
void waitForVisiblePictures(QWidget* window) {
    while (!visiblePicturesSettled(window))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

// One notch of a mouse wheel over the scrolling part, down or up.
void wheelNotch(QAbstractScrollArea* scroller, bool down) {
    QWidget* viewport = scroller->viewport();
    const QPointF local = QRectF(viewport->rect()).center();
    QWheelEvent event(local, viewport->mapToGlobal(local), QPoint(), QPoint(0, down ? -120 : 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(viewport, &event);
}

struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<Kippet> kippet;
    QStringListModel titles;

    Fixture() {
        Log::setSink([](const QString&) {});
        preferences = std::make_unique<Preferences>(dir.filePath(QStringLiteral("prefs.conf")));
        Preferences::install(preferences.get());
        kippet = std::make_unique<Kippet>(QUuid::createUuid(), QStringLiteral("Bench"),
                                          KippetColor::standardBlue(), QStringLiteral("tray.fill"),
                                          QDateTime::currentDateTimeUtc());
        const QList<KippetItem> items = mixedItems();
        kippet->setItems(items);
        kippet->setIsExpanded(true);
        QStringList names;
        for (const KippetItem& item : items)
            names.append(item.displayTitle());
        titles.setStringList(names);
    }
};

Fixture* fixture = nullptr;

// The panel as the app shows it: the window with its tile, content view and expanded layout.
std::unique_ptr<QWidget> makeExpanded() {
    auto window = std::make_unique<FloatingKippetWindow>(fixture->kippet.get(),
                                                         [] { return QList<RectD>(); });
    window->resize(windowSize);
    return window;
}

std::unique_ptr<QWidget> makeList() {
    auto list = std::make_unique<QListView>();
    list->setModel(&fixture->titles);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->resize(windowSize);
    return list;
}

double firstPaintSeconds(const std::function<std::unique_ptr<QWidget>()>& make) {
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<QWidget> window = make();
    window->show();
    waitForFirstPaint(window.get());
    waitForVisiblePictures(window.get());
    const double seconds = timer.nsecsElapsed() / 1e9;
    window.reset();
    QCoreApplication::processEvents();
    return seconds;
}

// Per step: one wheel notch, painted as the window system would have it painted; down to the
// end, then back up. The pictures that scrolled into view are waited for at the end.
double scrollStepSeconds(const std::function<std::unique_ptr<QWidget>()>& make) {
    std::unique_ptr<QWidget> window = make();
    window->show();
    waitForFirstPaint(window.get());
    waitForVisiblePictures(window.get());
    QAbstractScrollArea* scroller = scrollerOf(window.get());
    QScrollBar* bar = scroller->verticalScrollBar();
    bool down = true;
    QElapsedTimer timer;
    timer.start();
    for (int step = 0; step < scrollSteps; ++step) {
        if (down ? bar->value() >= bar->maximum() : bar->value() <= bar->minimum())
            down = !down;
        wheelNotch(scroller, down);
        // The repaint the scroll asked for: the moved content and the part that came into view.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    waitForVisiblePictures(window.get());
    const double seconds = timer.nsecsElapsed() / 1e9 / scrollSteps;
    window.reset();
    QCoreApplication::processEvents();
    return seconds;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BM_ExpandedFirstPaint(benchmark::State& state) {
    for (auto _ : state)
        state.SetIterationTime(firstPaintSeconds(makeExpanded));
}
BENCHMARK(BM_ExpandedFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ListViewFirstPaint(benchmark::State& state) {
    for (auto _ : state)
        state.SetIterationTime(firstPaintSeconds(makeList));
}
BENCHMARK(BM_ListViewFirstPaint)->UseManualTime()->Unit(benchmark::kMillisecond);

void printRatios() {
    // Warm both once: the first window of a process loads fonts and styles for everyone.
    firstPaintSeconds(makeList);
    firstPaintSeconds(makeExpanded);
    std::vector<double> expanded;
    std::vector<double> list;
    for (int run = 0; run < 11; ++run) {
        expanded.push_back(firstPaintSeconds(makeExpanded));
        list.push_back(firstPaintSeconds(makeList));
    }
    std::printf("RATIO expanded_first_paint_vs_listview %.3f 6\n", median(expanded) / median(list));
    std::vector<double> expandedScroll;
    std::vector<double> listScroll;
    for (int run = 0; run < 5; ++run) {
        expandedScroll.push_back(scrollStepSeconds(makeExpanded));
        listScroll.push_back(scrollStepSeconds(makeList));
    }
    std::printf("RATIO expanded_scroll_frame_vs_listview %.3f 4\n",
                median(expandedScroll) / median(listScroll));
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Fixture env;
    fixture = &env;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printRatios();
    return 0;
}
