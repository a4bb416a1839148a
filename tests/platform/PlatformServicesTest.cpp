#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"

#include <QUuid>
#include "platform/Preferences.h"
#include "support/TestEnvironment.h"

#include <QTemporaryDir>
#include <QTest>

class PlatformServicesTest : public QObject {
    Q_OBJECT
private slots:
    void preferencesKeepFalseApartFromAbsentAcrossReload() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("prefs.conf"));
        {
            Preferences prefs(path);
            prefs.setBool(QStringLiteral("onboarding_completed"), false);
            prefs.setInt(QStringLiteral("daily_kippet_hour"), 0);
            prefs.setData(QStringLiteral("custom_keyboard_shortcuts"),
                          QByteArray("{\"t\":1}\n\0x", 11));
            prefs.setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        }
        Preferences reloaded(path);
        QCOMPARE(reloaded.boolValue(QStringLiteral("onboarding_completed")),
                 std::optional<bool>(false));
        QVERIFY(reloaded.contains(QStringLiteral("onboarding_completed")));
        QVERIFY(!reloaded.boolValue(QStringLiteral("icloud_sync_enabled")).has_value());
        QCOMPARE(reloaded.boolOr(QStringLiteral("icloud_sync_enabled"), true), true);
        QCOMPARE(reloaded.intValue(QStringLiteral("daily_kippet_hour")), std::optional<int>(0));
        QCOMPARE(reloaded.dataValue(QStringLiteral("custom_keyboard_shortcuts")),
                 std::optional<QByteArray>(QByteArray("{\"t\":1}\n\0x", 11)));
        QCOMPARE(reloaded.stringValue(QStringLiteral("ai_mode")),
                 std::optional<QString>(QStringLiteral("byok")));
        reloaded.remove(QStringLiteral("ai_mode"));
        QVERIFY(!reloaded.contains(QStringLiteral("ai_mode")));
    }

    void testsNeverTouchTheUsersPreferences() {
        QVERIFY(Preferences::shared().fileName().startsWith(TestEnvironment::root()));
    }

    void observerWithDestroyedContextIsNotCalled() {
        NotificationCenter center;
        int calls = 0;
        QVariantMap seen;
        auto context = std::make_unique<QObject>();
        center.observe(QStringLiteral("TuckAwayEdgeChanged"), context.get(),
                       [&](const NotificationCenter::Notification& n) {
                           ++calls;
                           seen = n.userInfo;
                       });
        center.post(QStringLiteral("TuckAwayEdgeChanged"), {},
                    {{QStringLiteral("edge"), QStringLiteral("Left")}});
        center.post(QStringLiteral("showOnboarding"));
        QCOMPARE(calls, 1);
        QCOMPARE(seen.value(QStringLiteral("edge")).toString(), QStringLiteral("Left"));
        context.reset();
        center.post(QStringLiteral("TuckAwayEdgeChanged"));
        QCOMPARE(calls, 1);
    }

    void filteredObserversSeeOnlyTheirOwnValue() {
        NotificationCenter center;
        const QUuid mine = QUuid::createUuid();
        const QUuid other = QUuid::createUuid();
        QList<bool> mineSeen;
        int everySeen = 0;
        auto context = std::make_unique<QObject>();
        center.observe(QStringLiteral("KippetWindowActiveStateChanged"),
                       QStringLiteral("kippetId"), QVariant::fromValue(mine), context.get(),
                       [&](const NotificationCenter::Notification& n) {
                           mineSeen.append(n.userInfo.value(QStringLiteral("isActive")).toBool());
                       });
        center.observe(QStringLiteral("KippetWindowActiveStateChanged"), context.get(),
                       [&](const NotificationCenter::Notification&) { ++everySeen; });
        const auto post = [&](const QUuid& id, bool active) {
            center.post(QStringLiteral("KippetWindowActiveStateChanged"), {},
                        {{QStringLiteral("kippetId"), QVariant::fromValue(id)},
                         {QStringLiteral("isActive"), active}});
        };
        post(other, true);
        post(mine, true);
        center.post(QStringLiteral("KippetWindowActiveStateChanged"));
        center.post(QStringLiteral("EditorWindowStateChanged"), {},
                    {{QStringLiteral("kippetId"), QVariant::fromValue(mine)}});
        post(mine, false);
        QCOMPARE(mineSeen, QList<bool>({true, false}));
        QCOMPARE(everySeen, 4);
        context.reset();
        post(mine, true);
        QCOMPARE(mineSeen.size(), 2);
    }

    void manualClockRunsDueActionsInOrderAndSkipsCancelled() {
        ManualClock clock;
        const QDateTime start = clock.now();
        QStringList order;
        QObject context;
        clock.schedule(std::chrono::milliseconds(2500), &context, [&] { order << "todo"; });
        auto cancelled =
            clock.schedule(std::chrono::milliseconds(100), &context, [&] { order << "cancelled"; });
        clock.schedule(std::chrono::milliseconds(1000), &context, [&] {
            order << "first";
            // scheduled from inside an action and still due within the span
            clock.schedule(std::chrono::milliseconds(500), &context, [&] { order << "nested"; });
        });
        cancelled.cancel();
        clock.advance(std::chrono::milliseconds(2000));
        QCOMPARE(order, QStringList({"first", "nested"}));
        QCOMPARE(clock.now(), start.addMSecs(2000));
        clock.advance(std::chrono::milliseconds(500));
        QCOMPARE(order, QStringList({"first", "nested", "todo"}));
        QCOMPARE(clock.pendingCount(), 0);
    }

    void actionOfDestroyedContextDoesNotRun() {
        ManualClock clock;
        bool ran = false;
        {
            QObject context;
            clock.schedule(std::chrono::milliseconds(10), &context, [&] { ran = true; });
        }
        clock.advance(std::chrono::milliseconds(20));
        QVERIFY(!ran);
    }

    void logLinesAreCapturedWhole() {
        LogCapture capture;
        Log::line(QStringLiteral("✅ [iCloud Sync] ready"));
        QCOMPARE(capture.lines(), QStringList{QStringLiteral("✅ [iCloud Sync] ready")});
    }
};

QTEST_GUILESS_MAIN(PlatformServicesTest)
#include "PlatformServicesTest.moc"
