#include "app/AppDelegate.h"
#include "app/AppMenus.h"
#include "app/DashboardWindow.h"
#include "app/MenuBarManager.h"
#include "app/StatusMenu.h"
#include "model/Kippet.h"
#include "platform/Preferences.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"
#include "ui/X11.h"
#include "window/FloatingKippetWindow.h"

#include <QApplication>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>
#include <QTest>
#include <cstdlib>

namespace {
QStringList titles(const QMenu& menu) {
    QStringList result;
    for (QAction* action : menu.actions())
        result.append(action->isSeparator() ? QStringLiteral("---") : action->text());
    return result;
}

// The window Qt embeds in the tray for the icon: a top-level widget of the app like any other.
QWidget* iconWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("QSystemTrayIconSys"))
            return widget;
    }
    return nullptr;
}

// What the X server shows of the icon: its size while it is mapped, an empty size otherwise.
QSize shownSize(const QWidget* icon) {
    const X11::WindowId id = X11::idOf(icon);
    const auto attributes =
        X11::ask(xcb_get_window_attributes, xcb_get_window_attributes_reply, id);
    const auto geometry = X11::ask(xcb_get_geometry, xcb_get_geometry_reply, id);
    if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return {};
    return QSize(geometry->width, geometry->height);
}
} // namespace

// Runs on an X server with a tray (see scripts/with-tray), the way a desktop shows the icon.
class TrayIconTest : public QObject {
    Q_OBJECT
private slots:
    void theIconShowsWithTheMenu() {
        // The tray starts beside the test; it claims its place a moment later.
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
        AppHarness app;
        app.start();
        app.addKippet(QStringLiteral("Work"));
        LogCapture log;
        app.registry().setupMenuBar();
        QCOMPARE(log.lines(), QStringList{QStringLiteral("✅ Menu bar icon set up")});
        QVERIFY(app.registry().hasStatusItemButton());
        QSystemTrayIcon* icon = app.registry().statusItem();
        QVERIFY(icon->isVisible());
        QCOMPARE(icon->toolTip(), QStringLiteral("Kippets"));
        QVERIFY(!icon->icon().isNull());

        QMenu* menu = icon->contextMenu();
        QVERIFY(menu);
        QVERIFY(menu->actions().isEmpty());
        menu->popup(QPoint(1300, 30));
        QMenu model;
        StatusMenu::fill(&model, app.registry());
        QCOMPARE(titles(*menu), titles(model));
        QVERIFY(titles(*menu).contains(QStringLiteral("Work (0 items)")));
        menu->hide();
    }

    void theLaunchReportsTheButtonWithItsImageAndTitle() {
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
        AppHarness app;
        LogCapture log;
        app.launch();
        QVERIFY(app.registry().hasStatusItemButton());
        const QStringList lines = log.lines();
        const qsizetype created = lines.indexOf(QStringLiteral("✅ Menu bar button created"));
        QVERIFY(created >= 0);
        QCOMPARE(lines.mid(created, 3), (QStringList{QStringLiteral("✅ Menu bar button created"),
                                                     QStringLiteral("   - Has image: true"),
                                                     QStringLiteral("   - Has title: ''")}));
        QVERIFY(!lines.contains(QStringLiteral("❌ Menu bar button NOT created!")));
    }

    // "Hide Kippets" (Ctrl+H) hides the app's windows; the status item is the way back to them
    // and stays, also over the reopen of a second start.
    void hidingEveryWindowLeavesTheIconInTheTray() {
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
        AppHarness app;
        app.preferences().setBool(QStringLiteral("onboarding_completed"), true);
        app.start();
        app.addKippet(QStringLiteral("Work"), QPointF(300, 300));
        app.stop();
        app.launch();
        QTRY_VERIFY_WITH_TIMEOUT(iconWindow(), 10000);
        QWidget* icon = iconWindow();
        // The tray embeds the icon and gives it its size in its own time.
        QTRY_VERIFY_WITH_TIMEOUT(shownSize(icon).width() > 1 && shownSize(icon).height() > 1,
                                 10000);
        const QSize embedded = shownSize(icon);
        FloatingKippetWindow* panel = app.windowOf(QStringLiteral("Work"));
        QVERIFY(panel->isVisible());

        QAction* hide = app.delegate().mainMenu()->action(QStringLiteral("hide"));
        QCOMPARE(hide->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
        hide->trigger();
        QVERIFY(!panel->isVisible());
        QVERIFY(!app.registry().dashboardWindow()->isVisible());
        QVERIFY(icon->isVisible());
        // Asked after the hide went out: the server has taken it.
        QCOMPARE(shownSize(icon), embedded);

        app.delegate().handleReopenRequest();
        QVERIFY(panel->isVisible());
        QVERIFY(app.registry().dashboardWindow()->isVisible());
        QCOMPARE(iconWindow(), icon);
        QCOMPARE(shownSize(icon), embedded);
        QVERIFY(app.registry().statusItem()->isVisible());
    }

    void theIconReadsOnDarkAndOnLightPanels() {
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
        // The app's palette says nothing about the panel the tray sits on.
        QPalette dark = QApplication::palette();
        dark.setColor(QPalette::WindowText, QColor(0xf0, 0xf0, 0xf0));
        QApplication::setPalette(dark);
        AppHarness app;
        app.start();
        app.registry().setupMenuBar();
        const QImage shown = app.registry().statusItem()->icon().pixmap(22).toImage();
        QVERIFY(!shown.isNull());
        for (const QColor panel : {QColor(0x20, 0x20, 0x20), QColor(0xf0, 0xf0, 0xf0)}) {
            QImage onPanel(shown.size(), QImage::Format_RGB32);
            onPanel.fill(panel);
            QPainter painter(&onPanel);
            painter.drawImage(0, 0, shown);
            painter.end();
            int drawn = 0;
            int standingOut = 0;
            for (int y = 0; y < shown.height(); ++y) {
                for (int x = 0; x < shown.width(); ++x) {
                    if (qAlpha(shown.pixel(x, y)) < 128)
                        continue;
                    ++drawn;
                    if (std::abs(qGray(onPanel.pixel(x, y)) - qGray(panel.rgb())) > 120)
                        ++standingOut;
                }
            }
            QVERIFY2(drawn > 40, qPrintable(QString::number(drawn)));
            // At least a third of the symbol stands out from either panel.
            QVERIFY2(standingOut * 3 >= drawn, qPrintable(QStringLiteral("%1 of %2 on %3")
                                                              .arg(standingOut)
                                                              .arg(drawn)
                                                              .arg(panel.name())));
        }
        QApplication::setPalette(QPalette());
    }
};

QTEST_MAIN(TrayIconTest)
#include "TrayIconTest.moc"
