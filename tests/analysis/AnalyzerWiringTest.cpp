#include "analysis/AnalyzerWiring.h"
#include "analysis/AIService.h"
#include "analysis/HttpClient.h"
#include "analysis/KeychainStore.h"
#include "analysis/LocalModelServer.h"
#include "platform/Preferences.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"
#include "support/TestHttpServer.h"

#include <QBuffer>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QUuid>

// The analyzers of this build, plugged into the real service the way the app does it: the key
// comes from the Secret Service (this test runs inside a private keyring), requests go to
// servers on 127.0.0.1.
class AnalyzerWiringTest : public QObject {
    Q_OBJECT
private:
    TestHttpServer cloudServer;
    TestHttpServer localServer;
    std::unique_ptr<HttpClient> http;
    std::unique_ptr<KeychainStore> keychain;
    std::unique_ptr<LocalModelServer> localModel;
    AIService service;

    static QList<AnalyzerID> idsOf(const AIService::Chain& chain) {
        QList<AnalyzerID> ids;
        for (const auto& analyzer : chain)
            ids.append(analyzer->id());
        return ids;
    }

    static KippetItem textItem(const QByteArray& text) {
        KippetItem item;
        item.id = QUuid::createUuid();
        item.type = KippetItemType::text;
        item.content = text;
        item.metadata.name = QStringLiteral("note.txt");
        return item;
    }

private slots:
    void initTestCase() {
        QVERIFY(cloudServer.start());
        QVERIFY(localServer.start());
        // No model listed: the local model server answers but has nothing to run.
        localServer.setHandler([](const TestHttpRequest&) {
            return TestHttpResponse::json(R"({"object":"list","data":[]})");
        });
        qputenv("KIPPETS_OPENAI_BASE_URL", cloudServer.baseUrl().toString().toUtf8());
        qputenv("KIPPETS_LOCAL_MODEL_URL", (localServer.baseUrl().toString() + "/v1").toUtf8());
        http = std::make_unique<HttpClient>();
        HttpClient::install(http.get());
        keychain = std::make_unique<KeychainStore>();
        KeychainStore::install(keychain.get());
        localModel = std::make_unique<LocalModelServer>();
        LocalModelServer::install(localModel.get());
        QSignalSpy answered(localModel.get(), &LocalModelServer::probeAnswered);
        QVERIFY(answered.wait(5000));
        installAnalyzers(service);
    }

    void cleanupTestCase() {
        TaskRunner::finish(keychain->remove(KeychainStore::apiKeyAccount));
        LocalModelServer::install(nullptr);
        KeychainStore::install(nullptr);
        HttpClient::install(nullptr);
    }

    void onDeviceLeavesOutALocalModelThatCannotRun() {
        Preferences::shared().setString(QStringLiteral("ai_mode"), QStringLiteral("onDevice"));
        QCOMPARE(idsOf(service.currentProviders()),
                 QList<AnalyzerID>({AnalyzerID::image, AnalyzerID::heuristic}));
    }

    void onDeviceImagesShareOneLabelClassifier() {
        Preferences::shared().setString(QStringLiteral("ai_mode"), QStringLiteral("onDevice"));
        QImage image(48, 32, QImage::Format_RGB32);
        image.fill(QColor(200, 80, 40));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        KippetItem item;
        item.type = KippetItemType::image;
        item.content = png;
        item.metadata.name = QStringLiteral("swatch.png");

        // No model beside the test executable: the first image finds that out and says so; the
        // second asks the same classifier, which does not look again.
        LogCapture log;
        for (int round = 0; round < 2; ++round) {
            item.id = QUuid::createUuid();
            const ContentAnalysis analysis = TaskRunner::finish(service.analyzeContent(item, {}));
            QCOMPARE(analysis.title, std::optional<QString>("Image"));
            QCOMPARE(analysis.tags, QStringList{"image"});
        }
        QStringList labelLines = log.lines().filter(QStringLiteral("[ObjectLabelClassifier]"));
        QCOMPARE(labelLines.size(), 1);
        QVERIFY2(labelLines[0].contains("Images get no labels: the model is not installed"),
                 qPrintable(labelLines[0]));
    }

    void byokWithoutAKeyFallsToTheClassifier() {
        Preferences::shared().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        const AIService::Chain chain = service.currentProviders();
        QCOMPARE(idsOf(chain), QList<AnalyzerID>({AnalyzerID::openAI, AnalyzerID::heuristic}));
        QCOMPARE(chain.front()->unavailableReason(),
                 std::optional(AnalyzerUnavailableReason::missingCredentials));
        const ContentAnalysis analysis =
            TaskRunner::finish(service.analyzeContent(textItem("hello"), {}));
        QCOMPARE(analysis.category, ItemCategory::notes);
        QVERIFY(cloudServer.requests().isEmpty());
    }

    void byokSendsTheStoredKeyToTheCloudModel() {
        Preferences::shared().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        const QString key = QStringLiteral("sk-wiring-0123456789");
        TaskRunner::finish(keychain->save(KeychainStore::apiKeyAccount, key));
        const QJsonObject reply{{"category", "Documents"},
                                {"title", "Shopping"},
                                {"description", "A list."},
                                {"tags", QJsonArray{"list"}}};
        const QJsonObject part{{"type", "output_text"},
                               {"text", QString::fromUtf8(QJsonDocument(reply).toJson())}};
        const QJsonObject output{{"type", "message"}, {"content", QJsonArray{part}}};
        cloudServer.setHandler([&](const TestHttpRequest&) {
            return TestHttpResponse::json(
                QJsonDocument(QJsonObject{{"output", QJsonArray{output}}}).toJson());
        });
        const ContentAnalysis analysis =
            TaskRunner::finish(service.analyzeContent(textItem("milk, eggs"), {}));
        QCOMPARE(analysis.category, ItemCategory::documents);
        QCOMPARE(analysis.title, std::optional<QString>(QStringLiteral("Shopping")));
        QCOMPARE(cloudServer.requests().size(), 1);
        QCOMPARE(cloudServer.requests().first().path, QByteArray("/v1/responses"));
        QCOMPARE(cloudServer.requests().first().header("authorization"),
                 ("Bearer " + key).toUtf8());
    }
};

QTEST_GUILESS_MAIN(AnalyzerWiringTest)
#include "AnalyzerWiringTest.moc"
