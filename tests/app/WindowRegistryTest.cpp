#include "app/DashboardWindow.h"
#include "app/MenuBarManager.h"
#include "dashboard/DashboardView.h"
#include "model/Kippet.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "support/GeometryPrinting.h"
#include "support/TaskRunner.h"
#include "window/FloatingKippetWindow.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {
void deleteClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
} // namespace

class WindowRegistryTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<FloatingKippetWindow*>(); }

    void cleanup() {
        DashboardWindow::setViewFactory(
            [](DashboardTab tab) -> QWidget* { return new DashboardView(tab); });
    }

    void eachKippetHasOneWindowKeptWhileHidden() {
        AppHarness app;
        app.start();
        Kippet* inbox = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        QSignalSpy registered(&app.registry(), &MenuBarManager::windowRegistered);

        FloatingKippetWindow* hidden = app.registry().windowForKippet(inbox);
        QVERIFY(!hidden->isVisible());
        QCOMPARE(app.registry().windowForKippet(inbox), hidden);
        QCOMPARE(app.registry().showWindow(inbox), hidden);
        QVERIFY(hidden->isVisible());
        hidden->hide(); // as a tuck orders it out
        QCOMPARE(app.registry().showWindow(inbox), hidden);
        QVERIFY(hidden->isVisible());
        QCOMPARE(registered.count(), 1);
        QCOMPARE(app.registry().floatingWindows(), QList<FloatingKippetWindow*>{hidden});
        QVERIFY(app.registry().otherWindowFrames(inbox->id()).isEmpty());
        QCOMPARE(app.registry().otherWindowFrames(QUuid::createUuid()),
                 QList<RectD>{RectD(80, 80, 220, 200)});
    }

    void closingAHiddenWindowEndsItSoItHearsNothingMore() {
        AppHarness app;
        app.start();
        Kippet* inbox = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        QPointer<FloatingKippetWindow> old = app.registry().showWindow(inbox);
        old->hide();
        QSignalSpy willClose(old.data(), &FloatingKippetWindow::windowWillClose);

        app.registry().closeWindow(inbox);
        QCOMPARE(willClose.count(), 1);
        QVERIFY(!app.registry().registeredWindow(inbox->id()));
        deleteClosedWindows();
        QVERIFY(old.isNull());

        // Only the new panel answers the kippet's paste request: one item, not two.
        FloatingKippetWindow* fresh = app.registry().showWindow(inbox);
        QVERIFY(fresh);
        QGuiApplication::clipboard()->setText(QStringLiteral("pasted once"));
        NotificationCenter::shared().post(NotificationName::kippetWindowPasteRequested, {},
                                          {{QStringLiteral("kippetId"), inbox->id()}});
        QVERIFY(TaskRunner::waitUntil([inbox] { return !inbox->items().isEmpty(); }));
        AppHarness::settle();
        QCOMPARE(inbox->items().size(), 1);
        QCOMPARE(inbox->items().first().content, QByteArray("pasted once"));
        app.registry().closeWindow(inbox); // no entry left afterwards: nothing more happens
        app.registry().closeWindow(inbox);
    }

    void closingAWindowItselfForgetsIt() {
        AppHarness app;
        app.start();
        Kippet* inbox = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        QPointer<FloatingKippetWindow> window = app.registry().showWindow(inbox);
        QVERIFY(window->close());
        QVERIFY(!app.registry().registeredWindow(inbox->id()));
        deleteClosedWindows();
        QVERIFY(window.isNull());

        // Closing the kippet closes its window through the registry.
        window = app.registry().showWindow(inbox);
        app.manager().closeKippet(inbox);
        deleteClosedWindows();
        QVERIFY(window.isNull());
    }

    void aMenuActionShowsTheKippetItCarries() {
        AppHarness app;
        app.start();
        Kippet* inbox = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        QAction other;
        other.setData(QStringLiteral("Inbox"));
        app.registry().showKippet(&other);
        app.registry().showKippet(nullptr);
        QVERIFY(app.registry().floatingWindows().isEmpty());

        QAction action;
        action.setData(QVariant::fromValue(inbox));
        app.registry().showKippet(&action);
        FloatingKippetWindow* window = app.registry().registeredWindow(inbox->id());
        QVERIFY(window && window->isVisible());
    }

    void theVisibleDashboardIsReusedAndAClosedOneRebuilt() {
        AppHarness app;
        app.start();
        app.registry().showDashboard();
        QPointer<DashboardWindow> first = app.registry().dashboardWindow();
        QCOMPARE(first->windowTitle(), QStringLiteral("Kippets Dashboard"));
        QCOMPARE(first->size(), QSize(1200, 800));
        const QPointF centre = app.screens().space().fromQt(QRectF(first->geometry())).center();
        QVERIFY(std::abs(centre.x() - 720) <= 1 && std::abs(centre.y() - 437.5) <= 1);
        QCOMPARE(app.notifications().count(NotificationName::dashboardSwitchToKippets), 0);

        app.registry().showSettings();
        QCOMPARE(app.registry().dashboardWindow(), first.data());
        QCOMPARE(app.notifications().count(NotificationName::dashboardSwitchToSettings), 1);
        auto* view = qobject_cast<DashboardView*>(first->centralWidget());
        QCOMPARE(view->selectedTab(), DashboardTab::settings);
        app.registry().showDashboard();
        QCOMPARE(app.notifications().count(NotificationName::dashboardSwitchToKippets), 1);
        QCOMPARE(view->selectedTab(), DashboardTab::kippets);

        first->close();
        app.registry().showSettings();
        DashboardWindow* second = app.registry().dashboardWindow();
        QVERIFY(second != nullptr && second->isVisible());
        QVERIFY(first.isNull()); // the closed one is released when replaced
        QCOMPARE(qobject_cast<DashboardView*>(second->centralWidget())->selectedTab(),
                 DashboardTab::settings);
        QCOMPARE(app.notifications().count(NotificationName::dashboardSwitchToSettings), 1);
    }

    void editKeysReachTheFocusWidgetWhateverTheModifiers() {
        QLineEdit* field = nullptr;
        DashboardWindow::setViewFactory([&field](DashboardTab) -> QWidget* {
            auto* view = new QWidget;
            auto* layout = new QVBoxLayout(view);
            field = new QLineEdit(view);
            layout->addWidget(field);
            return view;
        });
        AppHarness app;
        app.start();
        app.registry().showDashboard();
        DashboardWindow* dashboard = app.registry().dashboardWindow();
        QVERIFY(QTest::qWaitForWindowActive(dashboard));
        field->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral("receipts 2026"));

        QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(field->text(), QStringLiteral("receipts 2026"));
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(field->selectedText(), QStringLiteral("receipts 2026"));
        QTest::keyClick(field, Qt::Key_X, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(field->text(), QString());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("receipts 2026"));
        QTest::keyClick(field, Qt::Key_V, Qt::ShiftModifier); // no control key: a plain "V"
        QCOMPARE(field->text().toLower(), QStringLiteral("v"));
    }

    void theTrayEdgeIsReadFromItsPreference() {
        AppHarness app;
        QCOMPARE(MenuBarManager::storedGroupTuckedAwayEdge(), ScreenEdge::right);
        app.preferences().setString(QStringLiteral("kippets_group_tucked_away_edge"),
                                    QStringLiteral("top"));
        QCOMPARE(MenuBarManager::storedGroupTuckedAwayEdge(), ScreenEdge::right);
        app.preferences().setString(QStringLiteral("kippets_group_tucked_away_edge"),
                                    QStringLiteral("Left"));
        app.preferences().setBool(QStringLiteral("kippets_group_tucked_away"), true);
        app.start();
        QCOMPARE(app.registry().groupTuckedAwayEdge(), ScreenEdge::left);
        QVERIFY(app.registry().isTuckedAway());
        app.registry().setGroupTuckedAwayEdge(ScreenEdge::bottom);
        QCOMPARE(app.preferences().stringValue(QStringLiteral("kippets_group_tucked_away_edge")),
                 std::optional<QString>(QStringLiteral("Bottom")));
    }
};

QTEST_MAIN(WindowRegistryTest)
#include "WindowRegistryTest.moc"
