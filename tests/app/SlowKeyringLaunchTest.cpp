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
#include <csignal>

// The app started against a Secret Service that never answers shows its windows as soon as with
// one that answers at once, and says the keyring's silence once its time is up. The Secret
// Service is played by this test on a private bus of its own.
namespace {
const QByteArray windowsLine = "📦 Restoring ";
const QByteArray silenceLine = "⚠️ [Keychain] The keyring did not answer in time";

// Silent, it keeps every call unanswered; otherwise it answers that no item is stored.
class FakeKeyring : public QDBusVirtualObject {
public:
    explicit FakeKeyring(bool silent) : silent(silent) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        ++calls;
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
};

struct Run {
    qint64 windowsAfterMs = -1;
    int keyringCalls = 0;
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
    QTest::qWaitFor([&] { return keyring.calls > 0; }, 20000);
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
        // Waiting for the keyring would cost its whole time-out on top of a normal start.
        qInfo("windows after %lld ms with a silent keyring, %lld ms with one that answers",
              silent.windowsAfterMs, answering.windowsAfterMs);
        const std::chrono::milliseconds timeout = KeychainStore::defaultTimeout;
        QVERIFY(silent.windowsAfterMs < answering.windowsAfterMs + timeout.count());
    }
};

QTEST_GUILESS_MAIN(SlowKeyringLaunchTest)
#include "SlowKeyringLaunchTest.moc"
