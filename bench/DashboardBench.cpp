// The dashboard's cost as its kippets grow from 100 to 1,000, each kippet holding five items and
// named so that every one matches the search: one character typed into the search field and
// deleted again, each until the kippets tab is laid out and painted; and the dashboard window
// opened on the kippets tab until its first paint. Both figures are medians of the GUI thread's
// CPU time, which a busy machine does not skew; wall times are printed beside them.
#include "NewLocalStore.h"
#include "app/DashboardWindow.h"
#include "dashboard/DashboardView.h"
#include "dashboard/KippetTileList.h"
#include "dashboard/SearchField.h"
#include "model/KippetModel.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"

#include <QApplication>
#include <QCoroTask>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

namespace {
constexpr int itemsPerKippet = 5;
constexpr int searchRuns = 21;
constexpr int openRuns = 9;

struct Cost {
    double cpu = 0;
    double wall = 0;
};

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

class Span {
public:
    Span() : cpu_(threadSeconds()) { wall_.start(); }
    Cost cost() const { return {threadSeconds() - cpu_, wall_.nsecsElapsed() / 1e9}; }

private:
    double cpu_;
    QElapsedTimer wall_;
};

KippetItem textItem(int index) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = KippetItemType::text;
    item.content = QByteArray("A line pasted into the kippet, number ") + QByteArray::number(index);
    item.metadata.name = QStringLiteral("Text %1").arg(index);
    item.addedDate = Clock::shared().now();
    return item;
}

// A store of `count` closed kippets and the manager over it.
struct Library {
    QTemporaryDir dir;
    StoreManager store;
    std::unique_ptr<KippetManager> manager;

    explicit Library(int count) {
        store.configure(newLocalStore(dir.path()));
        QList<KippetModel> rows;
        for (int k = 0; k < count; ++k) {
            KippetModel row =
                KippetModel::make(QUuid::createUuid(), QStringLiteral("Kippet %1").arg(k),
                                  KippetColor::standardBlue(), QStringLiteral("tray.fill"), false);
            for (int i = 0; i < itemsPerKippet; ++i)
                row.items.append(KippetItemModel::fromDomain(textItem(k * itemsPerKippet + i)));
            rows.append(row);
        }
        store.insertKippets(rows);
        manager = std::make_unique<KippetManager>(&store, dir.path());
        QCoro::waitFor(manager->waitForInitialization());
    }

    void use() {
        StoreManager::install(&store);
        KippetManager::install(manager.get());
    }
};

// Runs the event loop until `widget` has been painted; the window's whole paint is done by then.
class PaintWait : public QObject {
public:
    explicit PaintWait(QWidget* widget) : widget_(widget) { widget_->installEventFilter(this); }
    ~PaintWait() override {
        if (widget_)
            widget_->removeEventFilter(this);
    }
    void wait() {
        painted_ = false;
        while (!painted_)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        QApplication::processEvents();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && event->type() == QEvent::Paint)
            painted_ = true;
        return false;
    }

private:
    QPointer<QWidget> widget_;
    bool painted_ = false;
};

DashboardView* viewOf(DashboardWindow& window) {
    return qobject_cast<DashboardView*>(window.centralWidget());
}

Cost openOnce(Library& library) {
    library.use();
    Span span;
    auto window = std::make_unique<DashboardWindow>(DashboardTab::kippets);
    PaintWait painted(viewOf(*window)->tileList());
    window->show();
    painted.wait();
    const Cost cost = span.cost();
    window.reset();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return cost;
}

// One keystroke in the search field, until the tab is laid out again and painted.
Cost keystroke(DashboardView* view, Qt::Key key, char text) {
    QLineEdit* edit = view->searchField()->lineEdit();
    Span span;
    if (text)
        QTest::keyClick(edit, text);
    else
        QTest::keyClick(edit, key);
    QApplication::sendPostedEvents();
    view->currentWidget()->repaint();
    return span.cost();
}

struct Samples {
    std::vector<double> cpu;
    std::vector<double> wall;
    void add(const Cost& cost) {
        cpu.push_back(cost.cpu);
        wall.push_back(cost.wall);
    }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void printRatio(const char* name, const Samples& large, const Samples& small) {
    std::printf("%s: 100 kippets %.3f ms CPU (%.3f ms wall), 1000 kippets %.3f ms CPU (%.3f ms "
                "wall)\n",
                name, median(small.cpu) * 1e3, median(small.wall) * 1e3, median(large.cpu) * 1e3,
                median(large.wall) * 1e3);
    std::printf("RATIO %s %.3f 2\n", name, median(large.cpu) / median(small.cpu));
}

// Both sizes in turn, so a change of the machine's load meets both alike.
void measureOpen(Library& small, Library& large) {
    Samples smallCost;
    Samples largeCost;
    openOnce(small);
    openOnce(large);
    for (int run = 0; run < openRuns; ++run) {
        smallCost.add(openOnce(small));
        largeCost.add(openOnce(large));
    }
    printRatio("dashboard_open_growth", largeCost, smallCost);
}

void measureSearch(Library& small, Library& large) {
    small.use();
    DashboardWindow smallWindow(DashboardTab::kippets);
    {
        PaintWait painted(viewOf(smallWindow)->tileList());
        smallWindow.show();
        painted.wait();
    }
    large.use();
    DashboardWindow largeWindow(DashboardTab::kippets);
    {
        PaintWait painted(viewOf(largeWindow)->tileList());
        largeWindow.show();
        painted.wait();
    }
    // The keystrokes reach the field, every kippet matches, and cards are in view.
    for (DashboardWindow* window : {&smallWindow, &largeWindow}) {
        DashboardView* view = viewOf(*window);
        keystroke(view, Qt::Key_K, 'K');
        const bool measured = view->searchText() == QStringLiteral("K") &&
                              view->filteredKippets().size() == view->sortedKippets().size() &&
                              !view->tileList()->tiles().isEmpty();
        keystroke(view, Qt::Key_Backspace, 0);
        if (!measured || !view->searchText().isEmpty()) {
            std::fprintf(stderr, "The search field did not take the keystrokes\n");
            std::exit(1);
        }
    }
    Samples smallCost;
    Samples largeCost;
    for (int run = 0; run < searchRuns; ++run) {
        small.use();
        smallCost.add(keystroke(viewOf(smallWindow), Qt::Key_K, 'K'));
        smallCost.add(keystroke(viewOf(smallWindow), Qt::Key_Backspace, 0));
        large.use();
        largeCost.add(keystroke(viewOf(largeWindow), Qt::Key_K, 'K'));
        largeCost.add(keystroke(viewOf(largeWindow), Qt::Key_Backspace, 0));
    }
    printRatio("dashboard_search_growth", largeCost, smallCost);
}
} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Only the figures: the offscreen platform warns about every window it shows.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    Log::setSink([](const QString&) {});
    QTemporaryDir home;
    Preferences preferences(home.filePath(QStringLiteral("prefs.conf")));
    Preferences::install(&preferences);
    {
        Library small(100);
        Library large(1000);
        measureSearch(small, large);
        measureOpen(small, large);
        KippetManager::install(nullptr);
        StoreManager::install(nullptr);
    }
    Preferences::install(nullptr);
    return 0;
}
