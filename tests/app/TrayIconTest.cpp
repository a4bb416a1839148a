#include "app/MenuBarManager.h"
#include "app/StatusMenu.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTest>

namespace {
QStringList titles(const QMenu& menu) {
    QStringList result;
    for (QAction* action : menu.actions())
        result.append(action->isSeparator() ? QStringLiteral("---") : action->text());
    return result;
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
};

QTEST_MAIN(TrayIconTest)
#include "TrayIconTest.moc"
