#include "app/AppDelegate.h"
#include "app/ContainerSetup.h"
#include "app/DashboardWindow.h"
#include "app/MenuBarManager.h"
#include "app/SingleInstance.h"
#include "model/Kippet.h"
#include "onboarding/OnboardingWindow.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "store/DataFolderLock.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/GeometryPrinting.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"
#include "window/FloatingKippetWindow.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {
const QString separator = QStringLiteral("[iCloud Sync] ") + QString(43, QChar(0x2550));

QStringList withPrefix(const QStringList& lines, const QString& prefix) {
    QStringList result;
    for (const QString& line : lines) {
        if (line.startsWith(prefix))
            result.append(line);
    }
    return result;
}

QStringList runSetup(bool useTemporaryStorage) {
    LogCapture log;
    createLaunchContainer(useTemporaryStorage);
    return log.lines();
}

void completeTour(Preferences& preferences) {
    preferences.setBool(QStringLiteral("onboarding_completed"), true);
}

// A home of its own for a child run, with the configuration and data folders named explicitly.
QProcessEnvironment homeEnvironment(const QTemporaryDir& home) {
    QProcessEnvironment environment = AppHarness::childEnvironment(home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    // The test mode's folder too, so a run leaves nothing behind.
    QDir().mkpath(home.filePath(QStringLiteral("tmp")));
    environment.insert(QStringLiteral("TMPDIR"), home.filePath(QStringLiteral("tmp")));
    return environment;
}

// Runs the app as a child until its output holds `line`, then ends it as Ctrl+C does; its output.
QString runUntil(const QProcessEnvironment& environment, const QStringList& arguments,
                 const QString& line) {
    QProcess app;
    app.setProcessEnvironment(environment);
    app.start(AppHarness::appPath(), arguments);
    QByteArray output;
    const QDeadlineTimer guard(120000);
    while (!output.contains(line.toUtf8()) && app.state() != QProcess::NotRunning &&
           !guard.hasExpired()) {
        app.waitForReadyRead(1000);
        output += app.readAllStandardOutput();
    }
    if (app.state() != QProcess::NotRunning)
        ::kill(pid_t(app.processId()), SIGINT);
    app.waitForFinished(60000);
    return QString::fromUtf8(output + app.readAllStandardOutput());
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

bool runSql(const QString& path, const QString& statement) {
    bool done = false;
    {
        QSqlDatabase database =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("launch-test"));
        database.setDatabaseName(path);
        done = database.open() && QSqlQuery(database).exec(statement);
        database.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("launch-test"));
    return done;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class LaunchTest : public QObject {
    Q_OBJECT
private slots:
    void launchRestoresOpenKippetsAndOpensTheDashboard() {
        AppHarness app;
        completeTour(app.preferences());
        app.start();
        app.addKippet(QStringLiteral("Receipts"), QPointF(200, 200));
        app.addKippet(QStringLiteral("Travel"), QPointF(1400, 300));
        app.addKippet(QStringLiteral("New"));
        app.manager().closeKippet(app.addKippet(QStringLiteral("Archive"), QPointF(500, 500)));
        app.stop();

        LogCapture log;
        app.launch();
        QCOMPARE(app.registry().floatingWindows().size(), 3);
        QCOMPARE(app.windowOf(QStringLiteral("Receipts"))->frame(), RectD(200, 200, 220, 200));
        QCOMPARE(app.windowOf(QStringLiteral("Travel"))->frame(), RectD(1220, 300, 220, 200));
        QVERIFY(app.windowOf(QStringLiteral("New"))->isVisible());
        QVERIFY(!app.windowOf(QStringLiteral("Archive")));
        QVERIFY(app.registry().dashboardWindow()->isVisible());
        QCOMPARE(app.notifications().count(NotificationName::dashboardSwitchToKippets), 0);

        const QStringList lines = log.lines();
        const QStringList expectedInOrder{
            QStringLiteral("🚀 App launching..."),
            QStringLiteral("✅ Menu bar setup complete"),
            QStringLiteral("✅ Set to .regular - full app with dock icon"),
            QStringLiteral("✅ App menus setup complete"),
            QStringLiteral("✅ Daily kippet scheduler started"),
            QStringLiteral("❌ Menu bar button NOT created!"),
            QStringLiteral("[iCloud Sync] ✅ StoreManager configured with shared container"),
            QStringLiteral("📦 KippetManager initialization complete"),
            QStringLiteral("[iCloud Sync] ── Account Status Check ──"),
            QStringLiteral("📦 Restoring 3 active kippets")};
        qsizetype at = -1;
        for (const QString& expected : expectedInOrder) {
            const qsizetype found = lines.indexOf(expected, at + 1);
            QVERIFY2(found > at, qPrintable(expected));
            at = found;
        }
        // The account status comes after the launch task's own steps.
        QVERIFY(!lines.contains(QStringLiteral("[iCloud Sync] CKAccountStatus: could not "
                                               "determine ⚠️")));
        AppHarness::settle();
        const QStringList status = log.lines().mid(log.lines().indexOf(
            QStringLiteral("[iCloud Sync] CKAccountStatus: could not determine ⚠️")));
        QCOMPARE(status,
                 (QStringList{
                     QStringLiteral("[iCloud Sync] CKAccountStatus: could not determine ⚠️"),
                     QStringLiteral("[iCloud Sync] ⚠️ WARNING: iCloud sync is enabled but "
                                    "account is not available!"),
                     QStringLiteral("[iCloud Sync]    Data will be stored locally. Sync will "
                                    "resume when iCloud becomes available."),
                     QStringLiteral("[iCloud Sync] ── End Account Status Check ──")}));
    }

    void theCascadeMovesLaterMembersOfOverlappingGroups() {
        AppHarness app;
        app.start();
        Kippet* a = app.addKippet(QStringLiteral("A"), QPointF(100, 100));
        Kippet* b = app.addKippet(QStringLiteral("B"), QPointF(105, 105));
        Kippet* far = app.addKippet(QStringLiteral("Far"), QPointF(400, 400));
        Kippet* tenAway = app.addKippet(QStringLiteral("Ten away"), QPointF(410, 400));
        Kippet* unplaced = app.addKippet(QStringLiteral("Unplaced"));
        Kippet* unplacedToo = app.addKippet(QStringLiteral("Unplaced too"));
        AppDelegate delegate(nullptr);
        LogCapture log;
        delegate.cascadeOverlappingKippets({a, b, far, tenAway, unplaced, unplacedToo});
        QCOMPARE(a->position(), QPointF(100, 100));
        QCOMPARE(b->position(), QPointF(135, 75));
        QCOMPARE(tenAway->position(), QPointF(410, 400));
        QCOMPARE(unplaced->position(), QPointF(0, 0));
        QCOMPARE(
            log.lines(),
            (QStringList{QStringLiteral("📍 Found 2 overlapping kippets, applying cascade offset"),
                         QStringLiteral("   → Adjusted 'B' to (135, 75)")}));
        AppHarness::settle();
        QCOMPARE(app.store().fetchKippet(b->id())->position(), QPointF(135, 75));
    }

    void theCascadeGroupsByTheFirstMemberAndClampsTargets() {
        AppHarness app;
        app.start();
        Kippet* a = app.addKippet(QStringLiteral("A"), QPointF(100, 100));
        Kippet* b = app.addKippet(QStringLiteral("B"), QPointF(107, 100));
        Kippet* c = app.addKippet(QStringLiteral("C"), QPointF(114.5, 100));
        Kippet* right = app.addKippet(QStringLiteral("Right"), QPointF(1100, 300));
        Kippet* right2 = app.addKippet(QStringLiteral("Right 2"), QPointF(1102.9, 300));
        Kippet* top = app.addKippet(QStringLiteral("Top"), QPointF(200, 800));
        Kippet* top2 = app.addKippet(QStringLiteral("Top 2"), QPointF(201, 801));
        Kippet* edge = app.addKippet(QStringLiteral("Edge"), QPointF(1430, 50));
        Kippet* edge2 = app.addKippet(QStringLiteral("Edge 2"), QPointF(1435, 52));
        AppDelegate delegate(nullptr);
        LogCapture log;
        delegate.cascadeOverlappingKippets({a, b, c, right, right2, top, top2, edge, edge2});
        QCOMPARE(b->position(), QPointF(137, 70));
        QCOMPARE(c->position(), QPointF(114.5, 100)); // near B, not near A: a group of its own
        QCOMPARE(right2->position(), QPointF(1080, 270));
        QCOMPARE(top2->position(), QPointF(231, 395));
        // (1465, 22) lies in no visible frame: the main screen's takes it.
        QCOMPARE(edge2->position(), QPointF(1080, 22));
        QVERIFY(log.contains(QStringLiteral("   → Adjusted 'Right 2' to (1080, 270)")));
        QCOMPARE(withPrefix(log.lines(), QStringLiteral("📍")).size(), 4);

        // Without screens the target stays as it is.
        app.screens().setScreens({});
        right2->setPosition(QPointF(1102.9, 300));
        delegate.cascadeOverlappingKippets({right, right2});
        QCOMPARE(right2->position(), QPointF(1132.9, 270));
        delegate.cascadeOverlappingKippets({a});
    }

    void theFirstLaunchOpensTheTourHalfASecondLater() {
        AppHarness app;
        app.launch();
        QVERIFY(!app.delegate().onboardingWindow());
        QCOMPARE(app.preferences().boolValue(QStringLiteral("onboarding_show_on_launch")),
                 std::optional(true));
        QCOMPARE(app.preferences().boolValue(QStringLiteral("onboarding_show_on_launch_set")),
                 std::optional(true));
        testClock().advance(std::chrono::milliseconds(499));
        QVERIFY(!app.delegate().onboardingWindow());
        testClock().advance(std::chrono::milliseconds(1));
        OnboardingWindow* tour = app.delegate().onboardingWindow();
        QVERIFY(tour && tour->isVisible());
        QCOMPARE(tour->size(), QSize(900, 700));
        // Centred on the visible frame (0, 0, 1440, 875), to the pixel.
        const RectD frame = app.screens().space().fromQt(QRectF(tour->geometry()));
        QCOMPARE(frame.x, 270.0);
        QVERIFY(std::abs(frame.y - 87.5) <= 1);

        // The tour's own "show again" asks for a fresh one.
        QPointer<OnboardingWindow> first = tour;
        NotificationCenter::shared().post(NotificationName::showOnboarding);
        QCOMPARE(app.notifications().count(NotificationName::onboardingWindowClosing), 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(first.isNull());
        QVERIFY(app.delegate().onboardingWindow() &&
                app.delegate().onboardingWindow()->isVisible());

        // A later launch shows it again while the user keeps it on and has not finished it.
        app.relaunch();
        testClock().advance(std::chrono::milliseconds(500));
        QVERIFY(app.delegate().onboardingWindow());
    }

    void aCompletedTourOrOneSwitchedOffStaysClosed() {
        AppHarness app;
        completeTour(app.preferences());
        app.launch();
        testClock().advance(std::chrono::seconds(1));
        QVERIFY(!app.delegate().onboardingWindow());
        QCOMPARE(app.preferences().boolValue(QStringLiteral("onboarding_show_on_launch_set")),
                 std::optional(true));

        app.preferences().setBool(QStringLiteral("onboarding_completed"), false);
        app.preferences().setBool(QStringLiteral("onboarding_show_on_launch"), false);
        app.relaunch();
        testClock().advance(std::chrono::seconds(1));
        QVERIFY(!app.delegate().onboardingWindow());
        QCOMPARE(app.notifications().count(NotificationName::onboardingWindowClosing), 0);
    }

    void setupLinesFollowTheSyncPreference_data() {
        QTest::addColumn<std::optional<bool>>("preference");
        QTest::addColumn<QStringList>("expected");
        const QString store =
            StoreContainer::defaultDataFolder() + QStringLiteral("/Kippets.sqlite");
        const QStringList cloudKitFallback{
            QStringLiteral("[iCloud Sync] Creating CloudKit container..."),
            QStringLiteral("[iCloud Sync] ❌ Failed to create preferred container: iCloud "
                           "synchronisation is not available on this system"),
            QStringLiteral("[iCloud Sync]    Error type: StoreError"),
            QStringLiteral("[iCloud Sync]    Falling back to local-only container..."),
            QStringLiteral("[iCloud Sync] ✅ Fallback local-only container created"),
            QStringLiteral("[iCloud Sync]   default: ") + store};
        QTest::newRow("unset") << std::optional<bool>() << cloudKitFallback;
        QTest::newRow("true") << std::optional(true) << cloudKitFallback;
        QTest::newRow("false")
            << std::optional(false)
            << QStringList{QStringLiteral("[iCloud Sync] Creating local-only container..."),
                           QStringLiteral("[iCloud Sync] ✅ Container created — mode: "
                                          "local-only"),
                           QStringLiteral("[iCloud Sync]   default: ") + store};
    }

    void setupLinesFollowTheSyncPreference() {
        QFETCH(std::optional<bool>, preference);
        QFETCH(QStringList, expected);
        TestEnvironment::resetPreferences();
        if (preference)
            Preferences::shared().setBool(QStringLiteral("icloud_sync_enabled"), *preference);
        const QStringList lines = runSetup(false);
        QCOMPARE(lines.mid(0, 3),
                 (QStringList{separator,
                              QStringLiteral("[iCloud Sync] RavorurOdu.init() — Starting "
                                             "container setup"),
                              separator}));
        const QString resolved =
            QStringLiteral("[iCloud Sync] User preference resolved: "
                           "iCloudEnabled = ") +
            (preference.value_or(true) ? QStringLiteral("true") : QStringLiteral("false"));
        QVERIFY(lines.contains(resolved));
        qsizetype at = -1;
        for (const QString& line : expected) {
            const qsizetype found = lines.indexOf(line, at + 1);
            QVERIFY2(found > at, qPrintable(line));
            at = found;
        }
        QCOMPARE(lines.last(), separator);
        QCOMPARE(lines.at(lines.size() - 3), QStringLiteral("[iCloud Sync] Container store URLs:"));
        QVERIFY(
            !lines.contains(QStringLiteral("[iCloud Sync] 🧪 TEST MODE — in-memory container "
                                           "(no iCloud)")));
    }

    void testModeSetupIsInMemory() {
        TestEnvironment::resetPreferences();
        const QStringList lines = runSetup(true);
        QVERIFY(lines.contains(
            QStringLiteral("[iCloud Sync] 🧪 TEST MODE — in-memory container (no iCloud)")));
        QVERIFY(lines.contains(QStringLiteral("[iCloud Sync]   default: :memory:")));
        QVERIFY(withPrefix(lines, QStringLiteral("[iCloud Sync] Creating")).isEmpty());
        QVERIFY(withPrefix(lines, QStringLiteral("[iCloud Sync] ✅ Container created")).isEmpty());
    }

    void aTemporaryRunLeavesTheUsersPreferencesAlone() {
        QTemporaryDir home;
        const QString conf = home.filePath(QStringLiteral("config/Kippets/Kippets.conf"));
        writeFile(conf, "[General]\nonboarding_completed=true\n");
        Kippet open(QUuid::createUuid(), QStringLiteral("Open"), KippetColor::standardBlue(),
                    QStringLiteral("tray.fill"), testClock().now());
        open.setPosition(QPointF(300, 300));
        Kippet closed(QUuid::createUuid(), QStringLiteral("Closed"), KippetColor::standardBlue(),
                      QStringLiteral("tray.fill"), testClock().now());
        const QJsonObject legacy{
            {QStringLiteral("allKippets"), QJsonArray{open.toJson(), closed.toJson()}},
            {QStringLiteral("activeKippets"), QJsonArray{open.toJson()}}};
        writeFile(home.filePath(QStringLiteral("data/Kippets/kippets.json")),
                  QJsonDocument(legacy).toJson());
        const QByteArray before = readFile(conf);

        const QString temporary =
            runUntil(homeEnvironment(home), {QStringLiteral("-useTemporaryStorage")},
                     QStringLiteral("📦 Restoring 0 active kippets"));
        QVERIFY2(temporary.contains(QStringLiteral("📦 Restoring 0 active kippets")),
                 qPrintable(temporary));
        QCOMPARE(readFile(conf), before);
        // Its own folder of data and preferences went with it.
        QCOMPARE(QDir(home.filePath(QStringLiteral("tmp")))
                     .entryList({QStringLiteral("KippetsTestData-*")},
                                QDir::AllEntries | QDir::Hidden | QDir::System),
                 QStringList());

        const QString normal =
            runUntil(homeEnvironment(home), {}, QStringLiteral("📦 Restoring 1 active kippets"));
        QVERIFY2(normal.contains(QStringLiteral("🔄 Starting store migration...")),
                 qPrintable(normal));
        QVERIFY(normal.contains(QStringLiteral("   Found 2 kippets to migrate")));
        QVERIFY(normal.contains(QStringLiteral("📦 Restoring 1 active kippets")));
        QVERIFY(!normal.contains(QStringLiteral("✅ Store migration already completed")));
    }

    void aStartWithoutAScreenKeepsEveryPlace_data() {
        QTest::addColumn<QList<ScreenInfo>>("offered");
        QTest::newRow("none") << QList<ScreenInfo>{};
        QTest::newRow("a stand-in of no size") << QList<ScreenInfo>{ScreenInfo{RectD(), RectD()}};
    }

    void aStartWithoutAScreenKeepsEveryPlace() {
        QFETCH(QList<ScreenInfo>, offered);
        AppHarness app;
        app.start();
        const QUuid near = app.addKippet(QStringLiteral("Near"), QPointF(300, 300))->id();
        const QUuid far = app.addKippet(QStringLiteral("Far"), QPointF(2500, 400))->id();
        app.stop();
        app.screens().setScreens(offered);
        app.launch();
        QCOMPARE(app.windowOf(QStringLiteral("Near"))->frame(), RectD(300, 300, 220, 200));
        QCOMPARE(app.windowOf(QStringLiteral("Far"))->frame(), RectD(2500, 400, 220, 200));
        testClock().advance(std::chrono::milliseconds(500));
        QVERIFY(app.delegate().onboardingWindow());
        AppHarness::settle();
        QCOMPARE(app.store().fetchKippet(near)->position(), QPointF(300, 300));
        QCOMPARE(app.store().fetchKippet(far)->position(), QPointF(2500, 400));

        // A monitor comes: the windows opened meanwhile are placed on it, the panels where they
        // were (the one beyond it only shown on it).
        app.screens().setScreens({FakeScreenProvider::screen(RectD(0, 0, 1920, 1080))});
        const ScreenSpace space = app.screens().space();
        const RectD dashboard = space.fromQt(QRectF(app.registry().dashboardWindow()->geometry()));
        QVERIFY(std::abs(dashboard.midX() - 960) <= 1 && std::abs(dashboard.midY() - 527.5) <= 1);
        const RectD tour = space.fromQt(QRectF(app.delegate().onboardingWindow()->geometry()));
        QVERIFY(std::abs(tour.midX() - 960) <= 1 && std::abs(tour.midY() - 527.5) <= 1);
        QCOMPARE(app.windowOf(QStringLiteral("Near"))->frame(), RectD(300, 300, 220, 200));
        QCOMPARE(app.windowOf(QStringLiteral("Far"))->frame(), RectD(1700, 400, 220, 200));
        AppHarness::settle();
        QCOMPARE(app.store().fetchKippet(near)->position(), QPointF(300, 300));
        QCOMPARE(app.store().fetchKippet(far)->position(), QPointF(2500, 400));
    }

    // What Qt offers while no monitor is active, through the real screens of a child run.
    void aStartOnAScreenOfNoSizeSavesNoPlace() {
        QTemporaryDir home;
        writeFile(home.filePath(QStringLiteral("config/Kippets/Kippets.conf")),
                  "[General]\nonboarding_completed=true\n");
        Kippet near(QUuid::createUuid(), QStringLiteral("Near"), KippetColor::standardBlue(),
                    QStringLiteral("tray.fill"), testClock().now());
        near.setPosition(QPointF(300, 300));
        const QJsonObject legacy{{QStringLiteral("allKippets"), QJsonArray{near.toJson()}},
                                 {QStringLiteral("activeKippets"), QJsonArray{near.toJson()}}};
        const QString data = home.filePath(QStringLiteral("data/Kippets"));
        writeFile(data + QStringLiteral("/kippets.json"), QJsonDocument(legacy).toJson());
        const QString screens = home.filePath(QStringLiteral("screens.json"));
        writeFile(screens, R"({"synthesizedscreen": false, "screens": [{"name": "none", "x": 0,
            "y": 0, "width": 0, "height": 0, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        QProcessEnvironment environment = homeEnvironment(home);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"),
                           QStringLiteral("offscreen:configfile=") + screens);

        const QString output =
            runUntil(environment, {}, QStringLiteral("📦 Restoring 1 active kippets"));
        QVERIFY2(output.contains(QStringLiteral("📦 Restoring 1 active kippets")),
                 qPrintable(output));
        // The run imported the legacy file already.
        Preferences::shared().setBool(QStringLiteral("swiftdata_migration_completed_v1"), true);
        StoreManager store;
        store.configure(StoreContainer::createLocalContainer(data));
        QCOMPARE(store.fetchKippet(near.id())->position(), QPointF(300, 300));
    }

    void aSaveStartedJustBeforeQuitIsStored() {
        AppHarness app;
        completeTour(app.preferences());
        app.start();
        const QUuid id = app.addKippet(QStringLiteral("Lost"), QPointF(-900, 3000))->id();
        app.stop();
        app.launch();
        // The clamp at restore started a save; quitting right away must not lose it.
        app.quit();
        app.start();
        QCOMPARE(app.store().fetchKippet(id)->position(), QPointF(0, 675));
    }

    void withoutAnyStoreTheAppStopsWithOneFatalLine() {
        QTemporaryDir home;
        QDir().mkpath(home.filePath(QStringLiteral(".local/share")));
        QFile blocker(home.filePath(QStringLiteral(".local/share/Kippets")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QProcess app;
        app.setProcessEnvironment(AppHarness::childEnvironment(home.path()));
        app.start(AppHarness::appPath(), {});
        QVERIFY(app.waitForFinished(60000));
        QVERIFY(app.exitCode() != 0);
        const QString errors = QString::fromUtf8(app.readAllStandardError());
        const QString output = QString::fromUtf8(app.readAllStandardOutput());
        const QString fatal = QStringLiteral("[iCloud Sync] 💀 Could not create any container: The "
                                             "folder “%1” cannot be created")
                                  .arg(home.filePath(QStringLiteral(".local/share/Kippets")));
        QCOMPARE(errors.count(fatal), 1);
        QVERIFY(!output.contains(QStringLiteral("💀")));
        QVERIFY(output.contains(QStringLiteral("[iCloud Sync]    Falling back to local-only "
                                               "container...")));
        QVERIFY(!output.contains(QStringLiteral("🚀 App launching...")));
    }

    // Started from the desktop's menu, a start that is refused would seem to do nothing: it says
    // why in one alert as well, whatever refused it, with the fatal line and status as before.
    void aRefusedStartIsToldInOneAlert_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("damaged") << QStringLiteral("damaged")
                                 << QStringLiteral("The store “%1” is damaged (the file is empty, "
                                                   "but its last clean close left 131072 bytes); "
                                                   "it was left unchanged. To start afresh on "
                                                   "purpose, remove “%1-clean”.");
        QTest::newRow("foreign") << QStringLiteral("foreign")
                                 << QStringLiteral("The file “%1” is not a Kippets store (another "
                                                   "program's database?); it was left unchanged");
        QTest::newRow("newer") << QStringLiteral("newer")
                               << QStringLiteral("The store “%1” was written by a newer version of "
                                                 "Kippets (schema 20000) and was left unchanged");
        QTest::newRow("a second copy")
            << QStringLiteral("held")
            << QStringLiteral("The data folder “%2” is in use by another Kippets process (process "
                              "id %3); nothing was changed");
    }
    void aRefusedStartIsToldInOneAlert() {
        QFETCH(QString, kind);
        QFETCH(QString, refusal);
        TestEnvironment::resetPreferences();
        QTemporaryDir home;
        const QString folder = home.filePath(QStringLiteral(".local/share/Kippets"));
        const QString store = folder + QStringLiteral("/Kippets.sqlite");
        QVERIFY(QDir().mkpath(folder));
        std::unique_ptr<DataFolderLock> held;
        if (kind == QLatin1String("damaged")) {
            writeFile(store, {});
            writeFile(store + QStringLiteral("-clean"),
                      "2049 1234567 131072 1765000000 123456789\n");
        } else if (kind == QLatin1String("foreign")) {
            QVERIFY(runSql(store, QStringLiteral("CREATE TABLE notes (body TEXT)")));
        } else if (kind == QLatin1String("newer")) {
            StoreContainer::createLocalContainer(folder).reset();
            QVERIFY(runSql(store, QStringLiteral("PRAGMA user_version = 20000")));
        } else {
            // Another copy holds the data folder and does not answer the hand-over.
            held = std::make_unique<DataFolderLock>(folder);
        }
        refusal.replace(QStringLiteral("%1"), store)
            .replace(QStringLiteral("%2"), folder)
            .replace(QStringLiteral("%3"), QString::number(QCoreApplication::applicationPid()));

        QProcess app;
        QProcessEnvironment environment = AppHarness::childEnvironment(home.path());
        environment.insert(QStringLiteral("KIPPETS_DIALOGS"), QStringLiteral("record"));
        app.setProcessEnvironment(environment);
        app.start(AppHarness::appPath(), {});
        QVERIFY(app.waitForFinished(60000));
        const QString output = QString::fromUtf8(app.readAllStandardOutput());
        const QString errors = QString::fromUtf8(app.readAllStandardError());
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 1);
        QCOMPARE(errors.count(QStringLiteral("[iCloud Sync] 💀 Could not create any container: ") +
                              refusal + QLatin1Char('\n')),
                 1);
        QCOMPARE(output.count(QStringLiteral("🪟 [Dialogs] ")), 1);
        QVERIFY2(output.contains(QStringLiteral("🪟 [Dialogs] Kippets Cannot Start: ") + refusal +
                                 QLatin1Char('\n')),
                 qPrintable(output + errors));
        QVERIFY(!output.contains(QStringLiteral("🚀 App launching...")));
    }

    // Without any display the refusal is the same line and status, not a crash of Qt's.
    void aRefusedStartWithoutADisplayEndsWithTheFatalLine() {
        QTemporaryDir home;
        const QString store = home.filePath(QStringLiteral(".local/share/Kippets/Kippets.sqlite"));
        writeFile(store, {});
        writeFile(store + QStringLiteral("-clean"), "2049 1234567 131072 1765000000 123456789\n");
        QProcessEnvironment environment = AppHarness::childEnvironment(home.path());
        for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            environment.remove(QString::fromLatin1(variable));
        QProcess app;
        app.setProcessEnvironment(environment);
        app.start(AppHarness::appPath(), {});
        QVERIFY(app.waitForFinished(60000));
        const QString errors = QString::fromUtf8(app.readAllStandardError());
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 1);
        QCOMPARE(errors.count(QStringLiteral("[iCloud Sync] 💀 Could not create any container: "
                                             "The store “%1” is damaged (the file is empty, but "
                                             "its last clean close left 131072 bytes)")
                                  .arg(store)),
                 1);
        QCOMPARE(QFileInfo(store).size(), 0);
    }

    void aSecondStartShowsTheFirstOnesDashboard() {
        QTemporaryDir home;
        AppHarness app;
        completeTour(app.preferences());
        app.start();
        Kippet* inbox = app.addKippet(QStringLiteral("Inbox"), QPointF(80, 80));
        app.stop();
        app.launch();
        SingleInstance first;
        QVERIFY(first.listen(
            SingleInstance::serverName(home.filePath(QStringLiteral(".local/share/Kippets")))));
        QObject::connect(&first, &SingleInstance::reopenRequested, &app.delegate(),
                         &AppDelegate::handleReopenRequest);
        QSignalSpy reopened(&first, &SingleInstance::reopenRequested);
        app.registry().dashboardWindow()->close();
        inbox = app.byName(QStringLiteral("Inbox"));

        auto startSecond = [&home] {
            QProcess second;
            second.setProcessEnvironment(AppHarness::childEnvironment(home.path()));
            second.start(AppHarness::appPath(), {});
            const bool ended = second.waitForFinished(60000);
            return ended && second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
        };
        // A panel shows: a launcher click still answers with the dashboard.
        QVERIFY(app.registry().windowForKippet(inbox)->isVisible());
        QCOMPARE(startSecond(), 0);
        QVERIFY(TaskRunner::waitUntil([&reopened] { return reopened.count() == 1; }));
        QVERIFY(app.registry().dashboardWindow()->isVisible());

        app.registry().dashboardWindow()->close();
        app.registry().windowForKippet(inbox)->hide();
        QCOMPARE(startSecond(), 0);
        QVERIFY(TaskRunner::waitUntil([&reopened] { return reopened.count() == 2; }));
        QVERIFY(app.registry().dashboardWindow()->isVisible());
        // The second start handed over before it opened anything of its own.
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral(".local/share/Kippets"))));
    }
};

QTEST_MAIN(LaunchTest)
#include "LaunchTest.moc"
