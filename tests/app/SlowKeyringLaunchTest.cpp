#include "analysis/KeychainStore.h"
#include "support/AppHarness.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <csignal>

// The app started against a Secret Service that never answers shows its windows as soon as with
// one that answers at once, and says the keyring's silence once its time is up. The Secret
// Service is played by this test on a private bus of its own.
namespace {
const QByteArray windowsLine = "📦 Restoring ";
const QByteArray silenceLine = "⚠️ [Keychain] The keyring did not answer in time";

// Milliseconds on a clock that every thread reads alike.
qint64 nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Silent, it keeps every call unanswered; otherwise it answers that no item is stored.
class FakeKeyring : public QDBusVirtualObject {
public:
    explicit FakeKeyring(bool silent) : silent(silent) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        if (calls++ == 0)
            firstCallAtMs = nowMs();
        message.setDelayedReply(true);
        if (!silent)
            bus.send(message.member() == QLatin1String("SearchItems")
                         ? message.createReply({QVariant::fromValue(QList<QDBusObjectPath>()),
                                                QVariant::fromValue(QList<QDBusObjectPath>())})
                         : message.createErrorReply(QDBusError::UnknownMethod, QString()));
        return true;
    }
    bool silent;
    // Counted on the bus's own thread.
    std::atomic<int> calls = 0;
    std::atomic<qint64> firstCallAtMs = 0;
};

struct Run {
    qint64 windowsAfterMs = -1;
    int keyringCalls = 0;
    // How long after the keyring had the app's first call the windows came (less than nothing
    // when they came first): the same wherever the app spent its time before it asked.
    qint64 windowsAfterCallMs = 0;
    QByteArray output;
};

// Runs the app on a private bus where the fake keyring holds the Secret Service's name, until it
// has shown its windows (and, with a silent keyring, said that it did not answer).
Run launch(bool silent) {
    Run run;
    QTemporaryDir home;
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--address=unix:dir=") + home.path(),
                  QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    QByteArray address;
    if (!QTest::qWaitFor([&] { return (address += daemon.readAllStandardOutput()).contains('\n'); },
                         60000))
        return run;
    const QString name = QStringLiteral("fake-keyring-%1").arg(silent);
    FakeKeyring keyring(silent);
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromUtf8(address.trimmed()), name);
    if (!bus.registerService(QStringLiteral("org.freedesktop.secrets")) ||
        !bus.registerVirtualObject(QStringLiteral("/"), &keyring, QDBusConnection::SubPath))
        return run;
    QProcessEnvironment environment = AppHarness::childEnvironment(home.path());
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QString::fromUtf8(address.trimmed()));
    environment.insert(QStringLiteral("KIPPETS_DIALOGS"), QStringLiteral("record"));
    QProcess app;
    app.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    const qint64 startedAtMs = nowMs();
    app.start(AppHarness::appPath(), {});
    const auto waitFor = [&](const QByteArray& line) {
        return QTest::qWaitFor(
            [&] {
                run.output += app.readAllStandardOutput();
                return run.output.contains(line) || app.state() == QProcess::NotRunning;
            },
            120000);
    };
    if (waitFor(windowsLine) && run.output.contains(windowsLine))
        run.windowsAfterMs = clock.elapsed();
    if (silent)
        waitFor(silenceLine);
    // The app's call travels the bus beside its output: it may reach the keyring after the line
    // the app printed once it had sent it.
    if (QTest::qWaitFor([&] { return keyring.calls > 0; }, 20000))
        run.windowsAfterCallMs = run.windowsAfterMs - (keyring.firstCallAtMs - startedAtMs);
    run.keyringCalls = keyring.calls;
    if (app.state() != QProcess::NotRunning)
        ::kill(pid_t(app.processId()), SIGINT);
    app.waitForFinished(60000);
    run.output += app.readAllStandardOutput();
    QDBusConnection::disconnectFromBus(name);
    daemon.kill();
    daemon.waitForFinished();
    return run;
}
} // namespace

class SlowKeyringLaunchTest : public QObject {
    Q_OBJECT
private slots:
    void theWindowsDoNotWaitForAKeyringThatNeverAnswers() {
        const Run answering = launch(false);
        QVERIFY2(answering.windowsAfterMs >= 0, answering.output.constData());
        QVERIFY2(!answering.output.contains(silenceLine), answering.output.constData());

        const Run silent = launch(true);
        QVERIFY2(silent.windowsAfterMs >= 0, silent.output.constData());
        // The app asked the keyring, and no answer ever came: it said so only after its windows.
        QVERIFY(silent.keyringCalls > 0);
        QVERIFY2(silent.output.indexOf(silenceLine) > silent.output.indexOf(windowsLine),
                 silent.output.constData());
        // Waiting for the keyring would cost its whole time-out on top of a normal start. Counted
        // from the app's call, which both runs make early in their start, the windows come as
        // soon after it as with a keyring that answers at once: give or take half the time-out,
        // which a busy machine's ups and downs stay within, and a wait of the whole would not.
        qInfo("windows %lld ms after the call to a silent keyring, %lld ms after the call to one "
              "that answers (%lld and %lld ms after the start)",
              silent.windowsAfterCallMs, answering.windowsAfterCallMs, silent.windowsAfterMs,
              answering.windowsAfterMs);
        const std::chrono::milliseconds timeout = KeychainStore::defaultTimeout;
        QVERIFY2(answering.keyringCalls > 0, answering.output.constData());
        QVERIFY(silent.windowsAfterCallMs < answering.windowsAfterCallMs + timeout.count() / 2);
    }
};

QTEST_GUILESS_MAIN(SlowKeyringLaunchTest)
#include "SlowKeyringLaunchTest.moc"
