#include "TourFixture.h"

#include "ui/PopTransition.h"

#include "app/PreviewManager.h"
#include "app/PreviewWindow.h"
#include "app/Workspace.h"
#include "onboarding/ConfettiWindow.h"
#include "onboarding/DemoTaskRow.h"
#include "onboarding/TryItOutStepView.h"
#include "platform/NotificationNames.h"
#include "store/StoreManager.h"
#include "support/PanelButtons.h"
#include "support/RecordedDrag.h"
#include "window/ExpandedKippetLayout.h"
#include "window/FloatingKippetView.h"
#include "window/FloatingKippetWindow.h"
#include "window/ItemCard.h"
#include "window/ItemsArea.h"

#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>

namespace {
TryItOutStepView* showDemoStep(OnboardingWindow* window) {
    window->state()->setCurrentStep(6);
    settle();
    return qobject_cast<TryItOutStepView*>(window->view()->stepView());
}

QList<Kippet*> demoKippets(AppHarness& app) {
    QList<Kippet*> found;
    for (Kippet* kippet : app.manager().activeKippets()) {
        if (kippet->name() == QStringLiteral("Demo Kippet 🎯")) {
            found.append(kippet);
        }
    }
    return found;
}

QStringList ticked(TryItOutStepView* step) {
    QStringList done;
    for (DemoTaskRow* row : step->rows()) {
        if (row->isDone()) {
            done.append(row->identifier());
        }
    }
    return done;
}

QList<ConfettiWindow*> confettiWindows() {
    QList<ConfettiWindow*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* confetti = qobject_cast<ConfettiWindow*>(widget);
            confetti && confetti->isVisible()) {
            found.append(confetti);
        }
    }
    return found;
}

void type(FloatingKippetWindow* panel, Qt::Key key) {
    QTest::keyClick(panel->windowHandle(), key);
    AppHarness::settle();
}

void drag(FloatingKippetWindow* panel, QPoint by) {
    const auto send = [panel](QEvent::Type type, QPoint local, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(local), panel->mapToGlobal(QPointF(local)), Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QApplication::sendEvent(panel, &event);
    };
    const QPoint start(20, 20);
    const QPoint pressedAt = panel->mapToGlobal(start);
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    send(QEvent::MouseMove, panel->mapFromGlobal(pressedAt + by), Qt::LeftButton);
    send(QEvent::MouseButtonRelease, panel->mapFromGlobal(pressedAt + by), Qt::NoButton);
    AppHarness::settle();
}

// Whether any folder of the system's temporary space or of the data folder holds items of the id.
bool itemFolderExists(AppHarness& app, const QUuid& id) {
    const QString name = QStringLiteral("KippetData/") + id.toString(QUuid::WithoutBraces);
    if (QDir(app.folder()).exists(name)) {
        return true;
    }
    const QDir temp(QDir::tempPath());
    for (const QString& entry : temp.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QDir(temp.filePath(entry)).exists(name)) {
            return true;
        }
    }
    return false;
}

ItemsArea* itemsOf(FloatingKippetWindow* panel) {
    auto* view = qobject_cast<FloatingKippetView*>(panel->contentView());
    auto* layout = qobject_cast<ExpandedKippetLayout*>(view->currentLayout());
    return layout ? layout->itemsArea() : nullptr;
}

// Scrolls the expanded window's items until the item's card is made; nullptr when it never is.
ItemCard* scrollToCard(ItemsArea* items, const QUuid& id) {
    QScrollBar* bar = items->verticalScrollBar();
    for (int value = 0;; value += items->viewport()->height() / 2) {
        bar->setValue(value);
        AppHarness::settle();
        if (ItemCard* card = items->cardFor(id)) {
            return card;
        }
        if (value >= bar->maximum()) {
            return nullptr;
        }
    }
}

// Every file under a folder, by path.
QStringList filesUnder(const QString& folder) {
    QStringList files;
    QDirIterator entries(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (entries.hasNext()) {
        files.append(entries.next());
    }
    return files;
}

void advance(int milliseconds) {
    testClock().advance(std::chrono::milliseconds(milliseconds));
}
} // namespace

class TryItOutStepTest : public QObject {
    Q_OBJECT
private slots:
    void theFirstVisitOpensOneUnstoredDemoKippetBesideTheTour() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        const int shownBefore = tour.app.notifications().count(NotificationName::demoKippetMoved);
        TryItOutStepView* step = showDemoStep(window);
        QVERIFY(step);

        const QList<Kippet*> demos = demoKippets(tour.app);
        QCOMPARE(demos.size(), 1);
        Kippet* demo = demos[0];
        QCOMPARE(window->state()->demoKippet(), demo);
        QVERIFY(demo->isDemoMode());
        QCOMPARE(demo->icon(), QStringLiteral("target"));
        QCOMPARE(demo->items().size(), 2);
        QCOMPARE(demo->items()[0].metadata.name, QStringLiteral("Sample Document.pdf"));
        QCOMPARE(demo->items()[1].metadata.urlString, QStringLiteral("https://example.com/"));
        QVERIFY(!tour.app.manager().allKippets().contains(demo));

        // The tour is centred on 1920 × 1080: its right edge at 1410, its middle at 540.
        FloatingKippetWindow* panel = tour.app.registry().registeredWindow(demo->id());
        QVERIFY(panel && panel->isVisible());
        QCOMPARE(panel->frame().origin(), QPointF(1410, 440));
        QCOMPARE(window->geometry().right() + 1, panel->geometry().left());
        // Its first showing is no move of the user's.
        QCOMPARE(tour.app.notifications().count(NotificationName::demoKippetMoved), shownBefore);
        QVERIFY(window->state()->completedTasks().isEmpty());
        QVERIFY(!step->progressLine()->isVisible());
        QVERIFY(!step->completionMessage()->isVisible());

        AppHarness::settle();
        QVERIFY(tour.app.store().fetchAllKippets().isEmpty());
        QVERIFY(!tour.app.manager().storedActiveKippetIDs().contains(demo->id()));
        QVERIFY(!itemFolderExists(tour.app, demo->id()));

        // The user closes the demo with its own button: it leaves the open kippets without
        // joining the closed ones.
        NotificationCenter::shared().post(NotificationName::demoKippetExpanded);
        panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(panel));
        auto* view = qobject_cast<FloatingKippetView*>(panel->contentView());
        QWidget* close = panelButton(view->currentLayout(), QStringLiteral("CloseKippetButton"));
        QVERIFY(close);
        QTest::mouseClick(close, Qt::LeftButton);
        AppHarness::settle();
        QVERIFY(demoKippets(tour.app).isEmpty());
        QVERIFY(!tour.app.manager().allKippets().contains(demo));
        QVERIFY(tour.app.store().fetchAllKippets().isEmpty());
        QVERIFY(!tour.app.manager().storedActiveKippetIDs().contains(demo->id()));

        // Back and Next: no second kippet, no window shown again, the ticks kept.
        int windowsMade = 0;
        QObject counting;
        connect(&tour.app.registry(), &MenuBarManager::windowRegistered, &counting,
                [&windowsMade] { ++windowsMade; });
        window->state()->previousStep();
        step = showDemoStep(window);
        QCOMPARE(window->state()->demoKippet(), demo);
        QVERIFY(demoKippets(tour.app).isEmpty());
        QCOMPARE(windowsMade, 0);
        QVERIFY(!tour.app.registry().registeredWindow(demo->id()));
        QCOMPARE(ticked(step), QStringList{"expand"});
        QVERIFY(!itemFolderExists(tour.app, demo->id()));
    }

    void whatTheUserDoesToTheDemoTicksTheTasksAndTheLastOneCelebrates() {
        TourFixture tour;
        // Room for the expanded demo beside the tour: a panel pushed back onto the screen moves.
        tour.app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 2560, 1440), 0)});
        OnboardingWindow* window = tour.openTour();
        TryItOutStepView* step = showDemoStep(window);
        Kippet* demo = window->state()->demoKippet();
        FloatingKippetWindow* panel = tour.app.registry().registeredWindow(demo->id());
        panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(panel));

        type(panel, Qt::Key_E);
        QCOMPARE(ticked(step), QStringList{"expand"});
        QVERIFY(step->progressLine()->isVisible());
        QCOMPARE(step->progressText()->text(),
                 QStringLiteral("Great! You've completed 1 of 5 tasks"));
        type(panel, Qt::Key_C);
        type(panel, Qt::Key_E);
        type(panel, Qt::Key_E);
        QCOMPARE(ticked(step), QStringList({"expand", "collapse"}));
        QCOMPARE(window->state()->completedTasks().size(), 2);
        type(panel, Qt::Key_M);
        QCOMPARE(step->progressText()->text(),
                 QStringLiteral("Great! You've completed 3 of 5 tasks"));
        type(panel, Qt::Key_M);
        QGuiApplication::clipboard()->setText(QStringLiteral("Demo text"));
        type(panel, Qt::Key_V);
        QCOMPARE(ticked(step), QStringList({"expand", "mini", "paste", "collapse"}));
        QVERIFY(confettiWindows().isEmpty());
        QVERIFY(!step->completionMessage()->isVisible());

        drag(panel, QPoint(40, 30));
        QCOMPARE(ticked(step), QStringList({"expand", "mini", "paste", "drag", "collapse"}));
        QVERIFY(step->completionMessage()->isVisible());
        QCOMPARE(step->completionMessage()->text(),
                 QStringLiteral("🎉 Amazing! You've mastered the basics!"));
        QCOMPARE(step->progressText()->text(),
                 QStringLiteral("Great! You've completed 5 of 5 tasks"));
        QCOMPARE(confettiWindows().size(), 1);
        // Doing it all again changes nothing.
        drag(panel, QPoint(10, 10));
        type(panel, Qt::Key_E);
        QCOMPARE(window->state()->completedTasks().size(), 5);
        QCOMPARE(confettiWindows().size(), 1);
        advance(3500);
        settle();
        QVERIFY(confettiWindows().isEmpty());

        // Nothing of the demo reaches the disk, pasted text included, and the tour's end takes
        // the rest.
        AppHarness::settle();
        QCOMPARE(demo->items().size(), 3);
        QVERIFY(tour.app.store().fetchAllKippets().isEmpty());
        const QUuid id = demo->id();
        QPointer<OnboardingState> state = window->state();
        window->close();
        settle();
        QVERIFY(!state);
        QVERIFY(demoKippets(tour.app).isEmpty());
        QVERIFY(!itemFolderExists(tour.app, id));
        QVERIFY(!tour.app.manager().storedActiveKippetIDs().contains(id));
    }

    // A change of form that the screen's edge pushes back moves the panel, but the user dragged
    // nothing: only a drag ticks the drag.
    void onlyTheUsersMoveTicksTheDrag() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        TryItOutStepView* step = showDemoStep(window);
        Kippet* demo = window->state()->demoKippet();
        FloatingKippetWindow* panel = tour.app.registry().registeredWindow(demo->id());
        panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(panel));
        const QPoint collapsedAt = panel->pos();
        const QPointF collapsedOrigin = panel->frame().origin();

        type(panel, Qt::Key_E);
        QVERIFY(demo->isExpanded());
        // Beside the tour there is no room for the expanded panel: it was kept on the screen.
        QVERIFY(panel->frame().origin() != collapsedOrigin);
        type(panel, Qt::Key_C);
        QCOMPARE(panel->pos(), collapsedAt);
        QCOMPARE(ticked(step), QStringList({"expand", "collapse"}));

        drag(panel, QPoint(-40, 30));
        QCOMPARE(panel->pos(), collapsedAt + QPoint(-40, 30));
        QCOMPARE(ticked(step), QStringList({"expand", "drag", "collapse"}));
    }

    void aPastedItemOpenedFromTheDemoLeavesNoFileOnceTheTourCloses() {
        TourFixture tour;
        tour.app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 2560, 1440), 0)});
        Workspace workspace;
        workspace.setRecordingOnly(true);
        Workspace::install(&workspace);
        PreviewManager previews;
        PreviewManager::install(&previews);
        const QStringList dataBefore = filesUnder(tour.app.folder());
        OnboardingWindow* window = tour.openTour();
        showDemoStep(window);
        Kippet* demo = window->state()->demoKippet();
        FloatingKippetWindow* panel = tour.app.registry().registeredWindow(demo->id());
        panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(panel));

        // The picture a browser copies, pasted with the window's own key.
        const QString documents = RecordedDrag::copyDocuments(tour.app.folder() + "/source");
        QGuiApplication::clipboard()->setMimeData(
            RecordedDrag::load(QStringLiteral("firefox-clipboard-copy-image"), documents)
                .release());
        type(panel, Qt::Key_V);
        QTRY_COMPARE_WITH_TIMEOUT(demo->items().size(), 3, 20000);
        const KippetItem pasted = demo->items().last();
        QCOMPARE(pasted.type, KippetItemType::image);
        QVERIFY(window->state()->completedTasks().contains(QStringLiteral("paste")));

        // Opened from its card, and the demo's own document too: each previewed from a file.
        type(panel, Qt::Key_E);
        // Once sorted, and past the note that says so, the items show.
        QTRY_VERIFY_WITH_TIMEOUT(demo->item(pasted.id) &&
                                     demo->item(pasted.id)->category == ItemCategory::images,
                                 20000);
        AppHarness::settle();
        advance(10000);
        AppHarness::settle();
        ItemsArea* items = itemsOf(panel);
        QVERIFY(items);
        QStringList opened;
        for (const QUuid& id : {pasted.id, demo->items().first().id}) {
            ItemCard* card = scrollToCard(items, id);
            QVERIFY(card);
            QTest::mouseClick(card, Qt::LeftButton, {}, QPoint(20, card->height() / 2));
            QVERIFY(previews.window());
            const QString file = previews.window()->fileUrl().toLocalFile();
            QVERIFY(QFileInfo(file).isFile());
            QVERIFY(!file.startsWith(tour.app.folder()));
            opened.append(file);
        }
        QFile picture(opened[0]);
        QVERIFY(picture.open(QIODevice::ReadOnly));
        QCOMPARE(picture.readAll(), demo->item(pasted.id)->content);
        picture.close();
        AppHarness::settle();
        QVERIFY(tour.app.store().fetchAllKippets().isEmpty());

        const QUuid id = demo->id();
        window->close();
        settle();
        for (const QString& file : std::as_const(opened)) {
            QVERIFY2(!QFileInfo::exists(file), qPrintable(file));
            QVERIFY2(!QFileInfo::exists(QFileInfo(file).absolutePath()), qPrintable(file));
        }
        QVERIFY(!itemFolderExists(tour.app, id));
        // The data folder holds what it held, besides the copied source documents.
        QStringList dataAfter;
        for (const QString& file : filesUnder(tour.app.folder())) {
            if (!file.startsWith(tour.app.folder() + "/source/")) {
                dataAfter.append(file);
            }
        }
        QCOMPARE(dataAfter, dataBefore);
        QVERIFY(tour.app.store().fetchAllKippets().isEmpty());
        PreviewManager::install(nullptr);
        Workspace::install(nullptr);
    }

    // The message grows from nothing about its centre and fades in on the tour's step spring.
    void theCompletionMessageGrowsAndFadesIn() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        TryItOutStepView* step = showDemoStep(window);
        NotificationCenter& center = NotificationCenter::shared();
        center.post(NotificationName::demoKippetExpanded);
        center.post(NotificationName::demoKippetMiniView);
        center.post(NotificationName::demoKippetPaste);
        center.post(NotificationName::demoKippetMoved);
        QLabel* message = step->completionMessage();
        QVERIFY(!message->isVisible());
        Animations::setEnabled(true);
        center.post(NotificationName::demoKippetCollapsed);
        QVERIFY(message->isVisible());
        advance(90);
        settle();
        const qreal midWay = step->completionTransition()->progress();
        QVERIFY2(midWay > 0 && midWay < 1, qPrintable(QString::number(midWay)));
        // Drawn smaller than its place and paler than it ends.
        const QImage partly = step->grab(message->geometry()).toImage();
        advance(1000);
        settle();
        Animations::setEnabled(false);
        QCOMPARE(step->completionTransition()->progress(), 1.0);
        const QImage whole = step->grab(message->geometry()).toImage();
        const auto inked = [](const QImage& image) {
            const QColor ground = image.pixelColor(0, 0);
            int count = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x)
                    count += image.pixelColor(x, y) != ground ? 1 : 0;
            }
            return count;
        };
        QVERIFY2(inked(partly) > 0 && inked(partly) < inked(whole),
                 qPrintable(QStringLiteral("%1 of %2").arg(inked(partly)).arg(inked(whole))));
        // The celebration it set off ends as ever.
        advance(3500);
        settle();
        QVERIFY(confettiWindows().isEmpty());
    }

    void theLastTaskDoneElsewhereShowsTheMessageWithoutConfetti() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        showDemoStep(window);
        OnboardingState* state = window->state();
        NotificationCenter& center = NotificationCenter::shared();
        center.post(NotificationName::demoKippetExpanded);
        center.post(NotificationName::demoKippetMiniView);
        center.post(NotificationName::demoKippetPaste);
        center.post(NotificationName::demoKippetMoved);
        state->setCurrentStep(7);
        settle();
        // The tasks still tick while another step is shown.
        center.post(NotificationName::demoKippetCollapsed);
        QCOMPARE(state->completedTasks().size(), 5);
        QVERIFY(confettiWindows().isEmpty());
        TryItOutStepView* step = showDemoStep(window);
        QVERIFY(step->completionMessage()->isVisible());
        QVERIFY(confettiWindows().isEmpty());
        QCOMPARE(demoKippets(tour.app).size(), 1);

        // A second tour starts from nothing, and the first one's observers went with it.
        window->close();
        settle();
        OnboardingWindow* second = tour.openTour();
        center.post(NotificationName::demoKippetExpanded);
        QVERIFY(second->state()->completedTasks().isEmpty());
    }
};

QTEST_MAIN(TryItOutStepTest)
#include "TryItOutStepTest.moc"
