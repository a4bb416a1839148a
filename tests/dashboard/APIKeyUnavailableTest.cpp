#include "analysis/KeychainStore.h"
#include "dashboard/SettingsHarness.h"

#include <QDirIterator>
#include <QLineEdit>

// The cloud API key section where no Secret Service runs: the save fails with its reason, the
// verified state stays, and nothing is written to disk.
namespace {
QStringList filesHolding(const QString& root, const QByteArray& text) {
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(text))
            found.append(file.fileName());
    }
    return found;
}
} // namespace

class APIKeyUnavailableTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        qputenv("DBUS_SESSION_BUS_ADDRESS",
                ("unix:path=" + TestEnvironment::root() + "/no-such-bus").toUtf8());
    }

    void aFailedSaveShowsItsReasonAndKeepsTheVerifiedState() {
        SettingsHarness h;
        KeychainStore keychain;
        KeychainStore::install(&keychain);
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        h.app.preferences().setBool(QStringLiteral("api_key_verified"), true);
        const QString key = QStringLiteral("sk-never-written-0123456789");
        h.app.preferences().setString(QStringLiteral("verified_api_key_hash"),
                                      SettingsTabView::apiKeyHash(key));
        SettingsServices services = h.services();
        services.keychain = &keychain;
        SettingsTabView& view = h.open(services);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isAPIKeyLoaded(); }));
        LogCapture log;
        // Pasted: one change of the field, whose digest is the verified one.
        h.find<QLineEdit>(QStringLiteral("byok_keyField"))->insert(key);
        QVERIFY(TaskRunner::waitUntil([&view] { return view.isKeySettled(); }));
        QVERIFY(view.saveError().has_value());
        QVERIFY2(view.saveError()->startsWith("Failed to save API key securely: "),
                 qPrintable(*view.saveError()));
        QVERIFY(view.saveError()->contains("org.freedesktop.secrets"));
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("APIKeySaveError"))->text(),
                 *view.saveError());
        QCOMPARE(h.app.preferences().boolValue(QStringLiteral("api_key_verified")), true);
        QCOMPARE(h.app.preferences().stringValue(QStringLiteral("verified_api_key_hash")),
                 SettingsTabView::apiKeyHash(key));
        h.app.preferences().sync();
        QCOMPARE(filesHolding(TestEnvironment::root(), key.toUtf8()), QStringList());
        QVERIFY(!log.contains(key));
        h.dashboard.reset();
        KeychainStore::install(nullptr);
    }
};

QTEST_MAIN(APIKeyUnavailableTest)
#include "APIKeyUnavailableTest.moc"
