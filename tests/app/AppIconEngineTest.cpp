#include "app/AppIconEngine.h"
#include "app/AppDelegate.h"
#include "app/DashboardWindow.h"
#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "onboarding/OnboardingWindow.h"
#include "platform/Clock.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"
#include "window/FloatingKippetWindow.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTest>

using namespace std::chrono_literals;

class AppIconEngineTest : public QObject {
    Q_OBJECT
private slots:
    // Each size a desktop asks for is drawn for that size: the blue tile with rounded corners
    // and the white tray symbol.
    void theIconIsDrawnAtEverySizeADesktopAsksFor() {
        const QIcon icon = AppIconEngine::icon();
        QCOMPARE(icon.availableSizes().first(), QSize(16, 16));
        QCOMPARE(icon.availableSizes().last(), QSize(256, 256));
        for (int side : {16, 32, 48, 256}) {
            const QImage image = icon.pixmap(QSize(side, side), 1.0).toImage();
            QCOMPARE(image.size(), QSize(side, side));
            QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
            QCOMPARE(image.pixelColor(side / 16, side / 2), QColor(0, 122, 255));
            int white = 0;
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; ++x)
                    white += image.pixelColor(x, y).lightness() > 230;
            QVERIFY2(white > side * side / 10, qPrintable(QString::number(side)));
        }
        const QPixmap sharp = icon.pixmap(QSize(32, 32), 2.0);
        QCOMPARE(sharp.size(), QSize(64, 64));
        QCOMPARE(sharp.devicePixelRatio(), 2.0);
    }

    void everyWindowOfALaunchCarriesTheAppIcon() {
        AppHarness app;
        app.start();
        app.addKippet(QStringLiteral("Open"), QPointF(100, 100));
        app.registry().tuckSingleKippet(app.addKippet(QStringLiteral("Tucked"), QPointF(400, 100)));
        app.stop();
        app.launch();
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral("kippets"));
        const QIcon own = QApplication::windowIcon();
        QVERIFY(!own.isNull());
        QCOMPARE(own.pixmap(QSize(48, 48)).toImage(),
                 AppIconEngine::icon().pixmap(QSize(48, 48)).toImage());

        testClock().advance(1s); // the first launch's tour
        QVERIFY(app.delegate().onboardingWindow());
        QVERIFY(app.registry().dashboardWindow()->isVisible());
        QVERIFY(app.windowOf(QStringLiteral("Open"))->isVisible());
        int windows = 0;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (!window->isVisible())
                continue;
            ++windows;
            QVERIFY2(window->windowIcon().cacheKey() == own.cacheKey(),
                     window->metaObject()->className());
        }
        // The dashboard, the panel, the pull tab and the tour at least.
        QVERIFY2(windows >= 4, qPrintable(QString::number(windows)));
    }
};

QTEST_MAIN(AppIconEngineTest)
#include "AppIconEngineTest.moc"
