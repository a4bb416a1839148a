#include "analysis/KeychainStore.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

// The app started against a Secret Service that never answers: its windows come as soon as with
// one that answers at once, and the keyring's silence is said once its time is up. The Secret
// Service is played by this test on a private bus of its own.
namespace {
const QString windowsLine = QStringLiteral("📦 Restoring ");
const QString silenceLine = QStringLiteral("⚠️ [Keychain] The keyring did not answer in time");

// Owns the Secret Service's name. Silent, it keeps every call unanswered; otherwise it answers
// that no item is stored.
class FakeKeyring : public QDBusVirtualObject {
public:
    explicit FakeKeyring(bool silent) : silent_(silent) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.type() != QDBusMessage::MethodCallMessage)
            return false;
        ++calls;
        if (silent_) {
            message.setDelayedReply(true);
            unanswered.append(message);
        } else if (message.member() == QLatin1String("SearchItems")) {
            connection.send(message.createReply({QVariant::fromValue(QList<QDBusObjectPath>()),
                                                 QVariant::fromValue(QList<QDBusObjectPath>())}));
        } else {
            connection.send(message.createErrorReply(
                QStringLiteral("org.freedesktop.Secret.Error.NoSuchObject"), QString()));
        }
        return true;
    }
    int calls = 0;
    QList<QDBusMessage> unanswered;

private:
    bool silent_;
};

struct Run {
    qint64 windowsAfterMs = -1;
    int keyringCallsBeforeWindows = 0;
    QString output;
};
} // namespace

class SlowKeyringLaunchTest : public QObject {
    Q_OBJECT
private:
    // A private session bus with nothing on it but what the test puts there.
    struct Bus {
        QTemporaryDir folder;
        QProcess daemon;
        QString address;
        bool start() {
            daemon.start(QStringLiteral("dbus-daemon"),
                         {QStringLiteral("--session"),
                          QStringLiteral("--address=unix:dir=") + folder.path(),
                          QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
            if (!daemon.waitForStarted())
                return false;
            QByteArray printed;
            if (!QTest::qWaitFor(
                    [&] {
                        printed += daemon.readAllStandardOutput();
                        return printed.contains('\n') || daemon.state() == QProcess::NotRunning;
                    },
                    60000))
                return false;
            address = QString::fromUtf8(printed).trimmed();
            return !address.isEmpty();
        }
        ~Bus() {
            daemon.kill();
            daemon.waitForFinished();
        }
    };

    // Starts the app on the bus with the fake keyring and ends it once it has shown its windows
    // (and, for a silent keyring, once it said the keyring did not answer).
    static Run launch(bool silent) {
        Run run;
        Bus bus;
        if (!bus.start()) {
            run.output = QStringLiteral("no private bus could be started");
            return run;
        }
        const QString name = QStringLiteral("fake-keyring-%1").arg(silent);
        FakeKeyring keyring(silent);
        {
            QDBusConnection connection = QDBusConnection::connectToBus(bus.address, name);
            if (!connection.registerService(QStringLiteral("org.freedesktop.secrets")) ||
                !connection.registerVirtualObject(QStringLiteral("/"), &keyring,
                                                  QDBusConnection::SubPath)) {
                run.output = QStringLiteral("the fake keyring could not take its name");
                return run;
            }
        }
        QTemporaryDir home;
        QProcessEnvironment environment = AppHarness::childEnvironment(home.path());
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus.address);
        environment.insert(QStringLiteral("KIPPETS_DIALOGS"), QStringLiteral("record"));
        QProcess app;
        app.setProcessEnvironment(environment);
        QElapsedTimer clock;
        clock.start();
        app.start(AppHarness::appPath(), {});
        QByteArray output;
        const auto waitFor = [&](const QString& line) {
            return QTest::qWaitFor(
                [&] {
                    output += app.readAllStandardOutput();
                    return output.contains(line.toUtf8()) || app.state() == QProcess::NotRunning;
                },
                120000);
        };
        waitFor(windowsLine);
        if (output.contains(windowsLine.toUtf8())) {
            run.windowsAfterMs = clock.elapsed();
            run.keyringCallsBeforeWindows = keyring.calls;
        }
        if (silent)
            waitFor(silenceLine);
        if (app.state() != QProcess::NotRunning)
            ::kill(pid_t(app.processId()), SIGINT);
        app.waitForFinished(60000);
        run.output = QString::fromUtf8(output + app.readAllStandardOutput());
        QDBusConnection::disconnectFromBus(name);
        return run;
    }

private slots:
    void theWindowsDoNotWaitForAKeyringThatNeverAnswers() {
        const Run answering = launch(false);
        QVERIFY2(answering.windowsAfterMs >= 0, qPrintable(answering.output));
        QVERIFY2(!answering.output.contains(silenceLine), qPrintable(answering.output));

        const Run silent = launch(true);
        QVERIFY2(silent.windowsAfterMs >= 0, qPrintable(silent.output));
        // The app had asked the keyring before it showed its windows, and the answer never came.
        QVERIFY2(silent.keyringCallsBeforeWindows > 0, qPrintable(silent.output));
        const qsizetype windows = silent.output.indexOf(windowsLine);
        const qsizetype silence = silent.output.indexOf(silenceLine);
        QVERIFY2(silence > windows, qPrintable(silent.output));
        qInfo("windows after %lld ms with a silent keyring, %lld ms with one that answers",
              silent.windowsAfterMs, answering.windowsAfterMs);
        // Waiting for the keyring would have cost its whole time-out on top of a normal start.
        const qint64 timeout =
            std::chrono::duration_cast<std::chrono::milliseconds>(KeychainStore::defaultTimeout)
                .count();
        QVERIFY2(silent.windowsAfterMs < answering.windowsAfterMs + timeout,
                 qPrintable(QStringLiteral("windows after %1 ms with a silent keyring, %2 ms with "
                                           "one that answers")
                                .arg(silent.windowsAfterMs)
                                .arg(answering.windowsAfterMs)));
    }
};

QTEST_GUILESS_MAIN(SlowKeyringLaunchTest)
#include "SlowKeyringLaunchTest.moc"
