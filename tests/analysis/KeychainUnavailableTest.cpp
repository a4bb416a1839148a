#include "analysis/KeychainStore.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

using TaskRunner::finish;

namespace {
const QString account = QStringLiteral("org.kippets.Kippets.test-key");
const QString key = QStringLiteral("sk-never-on-disk-424242");

QStringList filesHolding(const QString& root, const QString& text) {
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(text.toUtf8()))
            found.append(file.fileName());
    }
    return found;
}

QStringList allFiles(const QString& root) {
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    files.sort();
    return files;
}
} // namespace

// Without any Secret Service, the key store fails at once with a message that names the
// missing service, and never falls back to a file.
class KeychainUnavailableTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                ("unix:path=" + TestEnvironment::root() + "/no-such-bus").toUtf8());
    }

    void callsFailFastWithAClearMessageAndWriteNothing() {
        LogCapture log;
        KeychainStore store;
        const QStringList before = allFiles(TestEnvironment::root());
        QElapsedTimer elapsed;
        elapsed.start();

        QCOMPARE(finish(store.load(account)), std::nullopt);
        try {
            finish(store.save(account, key));
            QFAIL("saving without a Secret Service succeeded");
        } catch (const KeychainError& error) {
            QCOMPARE(error.errorCase(), KeychainError::Case::queryFailed);
            QCOMPARE(error.status(), KeychainError::notAvailable);
            QVERIFY2(
                error.errorDescription().startsWith("Failed to query keychain (status: -25291)"),
                qPrintable(error.errorDescription()));
            QVERIFY(error.errorDescription().contains("org.freedesktop.secrets"));
            QVERIFY(!error.errorDescription().contains(key));
            // The reason alone, for messages that have a text of their own.
            QVERIFY(error.detail().contains("org.freedesktop.secrets"));
            QVERIFY(!error.detail().startsWith("Failed"));
            QVERIFY(error.errorDescription().endsWith(": " + error.detail()));
        }
        try {
            finish(store.remove(account));
            QFAIL("deleting without a Secret Service succeeded");
        } catch (const KeychainError& error) {
            QCOMPARE(error.errorCase(), KeychainError::Case::deleteFailed);
            QVERIFY(error.errorDescription().contains("org.freedesktop.secrets"));
        }
        // Answered by the failure itself, not by the time-out (which never passes here).
        QVERIFY(elapsed.elapsed() < 5000);
        QVERIFY(!store.hasStoredKey(account));
        QCOMPARE(allFiles(TestEnvironment::root()), before);
        QCOMPARE(filesHolding(TestEnvironment::root(), key), QStringList());
        QVERIFY(!log.contains(key));
    }
};

QTEST_GUILESS_MAIN(KeychainUnavailableTest)
#include "KeychainUnavailableTest.moc"
