#include "CloudTestSupport.h"

#include "analysis/InvalidAPIKeyError.h"
#include "analysis/OpenAIPrompts.h"
#include "model/KippetError.h"
#include "support/TestEnvironment.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace CloudTest;

Q_DECLARE_METATYPE(KippetItem)
Q_DECLARE_METATYPE(std::optional<QString>)

namespace {
QJsonObject textPartOf(const QString& text) {
    return {{"type", "input_text"}, {"text", text}};
}

QJsonObject expectedBody(const QString& system, const QJsonArray& userParts) {
    const QJsonArray input{
        QJsonObject{{"role", "system"}, {"content", QJsonArray{textPartOf(system)}}},
        QJsonObject{{"role", "user"}, {"content", userParts}}};
    return {
        {"model", "gpt-4o"}, {"input", input}, {"temperature", 0.7}, {"max_output_tokens", 500}};
}

const QString reply = QStringLiteral(
    "{\"category\":\"Notes\",\"title\":\"A title\",\"description\":\"D\",\"tags\":[\"t\"]}");
} // namespace

class OpenAIAnalyzerTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        server_ = std::make_unique<TestHttpServer>();
        QVERIFY(server_->start());
        server_->setHandler(
            [](const TestHttpRequest&) { return TestHttpResponse::json(responsesBody(reply)); });
    }
    void cleanup() { server_.reset(); }

    void sendsTheExactRequestForEachKind_data() {
        QTest::addColumn<KippetItem>("item");
        QTest::addColumn<std::optional<QString>>("instructions");
        QTest::addColumn<QByteArray>("expected");
        const auto body = [](const QJsonObject& object) {
            return QJsonDocument(object).toJson(QJsonDocument::Compact);
        };
        const QString rule = QStringLiteral("Sort by client");
        QTest::newRow("text") << item(KippetItemType::text, "hello\nworld")
                              << std::optional<QString>()
                              << body(expectedBody(
                                     OpenAIPrompts::textSystem(),
                                     {textPartOf("Analyze this text:\n\nhello\nworld")}));
        QTest::newRow("note with rule")
            << item(KippetItemType::note, "buy milk") << std::optional<QString>(rule)
            << body(expectedBody(OpenAIPrompts::withInstructions(OpenAIPrompts::textSystem(), rule),
                                 {textPartOf("Analyze this text:\n\nbuy milk")}));
        QTest::newRow("code") << item(KippetItemType::code, "int x;") << std::optional<QString>()
                              << body(expectedBody(OpenAIPrompts::codeSystem(),
                                                   {textPartOf("Analyze this code:\n\nint x;")}));
        KippetItem image = item(KippetItemType::image, QByteArray("\x89PNG\r\n", 6), "shot.png");
        QTest::newRow("image without MIME type")
            << image << std::optional<QString>()
            << body(expectedBody(OpenAIPrompts::imageSystem(),
                                 {textPartOf("Analyze this image and categorize it."),
                                  QJsonObject{{"type", "input_image"},
                                              {"image_url", "data:image/png;base64,iVBORw0K"}}}));
        image.metadata.mimeType = QStringLiteral("image/jpeg");
        QTest::newRow("jpeg image")
            << image << std::optional<QString>()
            << body(expectedBody(OpenAIPrompts::imageSystem(),
                                 {textPartOf("Analyze this image and categorize it."),
                                  QJsonObject{{"type", "input_image"},
                                              {"image_url", "data:image/jpeg;base64,iVBORw0K"}}}));
        KippetItem file = item(KippetItemType::file, "secret bytes", "report.pdf");
        file.metadata.fileExtension = QStringLiteral("pdf");
        QTest::newRow("file with empty rule")
            << file << std::optional<QString>(QString())
            << body(expectedBody(
                   OpenAIPrompts::withInstructions(OpenAIPrompts::fileSystem(), QString()),
                   {textPartOf("Analyze this file:\nFile name: report.pdf\nFile extension: pdf")}));
    }

    void sendsTheExactRequestForEachKind() {
        QFETCH(KippetItem, item);
        QFETCH(std::optional<QString>, instructions);
        QFETCH(QByteArray, expected);
        HttpClient http;
        OpenAIAnalyzer cloud = analyzer(http, endpointOf(*server_));
        const ContentAnalysis analysis = finish(cloud.analyze(item, instructions));
        QCOMPARE(analysis.title, std::optional<QString>(QStringLiteral("A title")));
        QCOMPARE(server_->requests().size(), 1);
        const TestHttpRequest request = server_->requests().first();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.path, QByteArray("/v1/responses"));
        QCOMPARE(request.header("authorization"), "Bearer " + key.toUtf8());
        QCOMPARE(request.header("content-type"), QByteArray("application/json"));
        QCOMPARE(request.body,
                 QJsonDocument::fromJson(request.body).toJson(QJsonDocument::Compact));
        QCOMPARE(QJsonDocument::fromJson(request.body), QJsonDocument::fromJson(expected));
        QVERIFY(!item.content.contains("secret") || !request.body.contains("secret"));
    }

    void weavesTheSortingRuleIntoTheSystemPrompt() {
        const QString prompt = OpenAIPrompts::withInstructions(QStringLiteral("Base."),
                                                               QStringLiteral("Sort by client"));
        const QStringList lines = prompt.split('\n');
        QCOMPARE(lines.size(), 12);
        QCOMPARE(lines[0], QStringLiteral("Base."));
        QCOMPARE(lines[1], QStringLiteral("IMPORTANT - The user has provided custom sorting "
                                          "instructions for this kippet (these take PRIORITY over "
                                          "default categorization):"));
        QCOMPARE(lines[2], QStringLiteral("---"));
        QCOMPARE(lines[3], QStringLiteral("Sort by client"));
        QCOMPARE(lines[4], QStringLiteral("---"));
        QCOMPARE(lines[11], QStringLiteral("- Include \"customCategory\" in your JSON response "
                                           "alongside the standard fields."));
        QCOMPARE(OpenAIPrompts::withInstructions(QStringLiteral("Base."), std::nullopt),
                 QStringLiteral("Base."));
        QCOMPARE(OpenAIPrompts::screening().split('\n').size(), 13);
    }

    void mapsErrorStatusesToApiErrors_data() {
        QTest::addColumn<int>("status");
        QTest::newRow("400") << 400;
        QTest::newRow("401") << 401;
        QTest::newRow("407") << 407;
        QTest::newRow("418") << 418;
        QTest::newRow("429") << 429;
        QTest::newRow("500") << 500;
        QTest::newRow("201") << 201;
    }

    void mapsErrorStatusesToApiErrors() {
        QFETCH(int, status);
        // A server that echoes the key and talks at length: the log keeps 300 characters, no key.
        const QByteArray body = "{\"error\":\"Incorrect API key provided: " + key.toUtf8() +
                                "\",\"detail\":\"" + QByteArray(1000, 'x') + "\"}";
        server_->setHandler([status, body](const TestHttpRequest&) {
            return TestHttpResponse::json(body, status);
        });
        HttpClient http;
        LogCapture log;
        const auto error = failure<AIServiceError>(
            analyzer(http, endpointOf(*server_)).analyze(item(KippetItemType::text, "hi"), {}));
        QVERIFY(error);
        QCOMPARE(*error, AIServiceError::apiError(status));
        QVERIFY(error->isRetryable());
        QVERIFY(!error->errorDescription().contains(key));
        const QString prefix =
            QStringLiteral("❌ [OpenAIAnalyzer.makeAPICall] API error - status: ") +
            QString::number(status) + QStringLiteral(", body: ");
        QCOMPARE(log.lines().size(), 1);
        const QString line = log.lines().first();
        QVERIFY(line.startsWith(prefix));
        QCOMPARE(line.size() - prefix.size(), 300);
        QVERIFY(line.mid(prefix.size()).startsWith("{\"error\":\"Incorrect API key provided: \""));
        QVERIFY(!line.contains(key));
        QVERIFY(!line.contains(key.left(12)));
    }

    void mapsTransferFailures() {
        HttpClient http;
        server_->setHandler([](const TestHttpRequest&) {
            TestHttpResponse silent;
            silent.behaviour = TestHttpResponse::Behaviour::neverAnswer;
            return silent;
        });
        OpenAIAnalyzer cloud = analyzer(http, endpointOf(*server_));
        const auto timedOut = caught<AIServiceError>([&] {
            finishAfterTimeout(cloud.analyze(item(KippetItemType::text, "a"), {}), *server_,
                               OpenAIAnalyzer::requestTimeout);
        });
        QVERIFY(timedOut);
        QCOMPARE(timedOut->errorCase(), AIServiceError::Case::timeout);
        QVERIFY(timedOut->isRetryable());

        server_->setHandler([](const TestHttpRequest&) {
            TestHttpResponse cut;
            cut.behaviour = TestHttpResponse::Behaviour::closeImmediately;
            return cut;
        });
        const qsizetype sentBefore = server_->requests().size();
        const auto dropped =
            failure<AIServiceError>(cloud.analyze(item(KippetItemType::text, "a"), {}));
        QVERIFY(dropped);
        QCOMPARE(dropped->errorCase(), AIServiceError::Case::networkError);
        // Sent once: a paid request that lost its connection is not quietly sent again.
        QCoreApplication::processEvents();
        QCOMPARE(server_->requests().size(), sentBefore + 1);

        QUrl refused = endpointOf(*server_);
        refused.setPort(refusedPort());
        const auto noConnection = failure<AIServiceError>(
            analyzer(http, refused).analyze(item(KippetItemType::text, "a"), {}));
        QVERIFY(noConnection);
        QCOMPARE(noConnection->errorCase(), AIServiceError::Case::networkError);
        QVERIFY(noConnection->isRetryable());
    }

    void aRedirectIsAnAnswerAndTheKeyStaysHome() {
        TestHttpServer elsewhere;
        QVERIFY(elsewhere.start());
        const QByteArray target = endpointOf(elsewhere).toString().toUtf8();
        server_->setHandler([target](const TestHttpRequest&) {
            TestHttpResponse redirect = TestHttpResponse::json("{}", 307);
            redirect.headers.append({"Location", target});
            return redirect;
        });
        HttpClient http;
        LogCapture log;
        const auto error = failure<AIServiceError>(
            analyzer(http, endpointOf(*server_)).analyze(item(KippetItemType::text, "hi"), {}));
        QVERIFY(error);
        QCOMPARE(*error, AIServiceError::apiError(307));
        QVERIFY(log.contains(
            QStringLiteral("❌ [OpenAIAnalyzer.makeAPICall] API error - status: 307, body: {}")));
        QCoreApplication::processEvents();
        QVERIFY(elsewhere.requests().isEmpty());
    }

    void anOversizedReplyIsAnInvalidResponse() {
        server_->setHandler([](const TestHttpRequest&) {
            TestHttpResponse endless;
            endless.behaviour = TestHttpResponse::Behaviour::stream;
            endless.body = responsesBody(QStringLiteral("{}")).chopped(1);
            endless.streamBytes = 20 * 1024 * 1024;
            return endless;
        });
        HttpClient http;
        const auto error = failure<AIServiceError>(
            analyzer(http, endpointOf(*server_)).analyze(item(KippetItemType::text, "hi"), {}));
        QVERIFY(error);
        QCOMPARE(error->errorCase(), AIServiceError::Case::invalidResponse);
        QTRY_VERIFY_WITH_TIMEOUT(server_->clientClosedStream(), 5000);
    }

    void rejectsBodiesThatAreNotTheExpectedJson() {
        HttpClient http;
        server_->setHandler(
            [](const TestHttpRequest&) { return TestHttpResponse::html("<html>gateway</html>"); });
        OpenAIAnalyzer cloud = analyzer(http, endpointOf(*server_));
        const auto notJson =
            failure<JsonDecodingError>(cloud.analyze(item(KippetItemType::text, "a"), {}));
        QVERIFY(notJson);
        QVERIFY(!failure<AIServiceError>(cloud.analyze(item(KippetItemType::text, "a"), {})));

        // The first output element holds only a refusal; a later one's text is not read.
        server_->setHandler([](const TestHttpRequest&) {
            return TestHttpResponse::json(
                R"({"output":[{"content":[{"type":"refusal","refusal":"no"}]},)"
                R"({"content":[{"type":"output_text","text":"{}"}]}]})");
        });
        LogCapture log;
        const auto structure =
            failure<AIServiceError>(cloud.analyze(item(KippetItemType::text, "a"), {}));
        QVERIFY(structure);
        QCOMPARE(structure->errorCase(), AIServiceError::Case::invalidResponse);
        QVERIFY(!structure->isRetryable());
        QVERIFY(log.contains(QStringLiteral("❌ [OpenAIAnalyzer.makeAPICall] Failed to parse "
                                            "response structure. Raw: {\"output\"")));
    }

    void parsesReplies() {
        const ContentAnalysis fenced = OpenAIAnalyzer::parseResponse(
            QStringLiteral("```json\n{\"title\":\"  Word  \",\"category\":\"Links\"}\n```"));
        QCOMPARE(fenced, (ContentAnalysis{ItemCategory::links,
                                          std::nullopt,
                                          QStringLiteral("Word"),
                                          QStringLiteral("No description"),
                                          {},
                                          0.85}));

        const ContentAnalysis full = OpenAIAnalyzer::parseResponse(QStringLiteral(
            R"({"category":"Code","title":" ","description":"  d ","tags":["a","b"],"customCategory":" Client A "})"));
        QCOMPARE(full.category, ItemCategory::code);
        QCOMPARE(full.title, std::nullopt);
        QCOMPARE(full.description, QStringLiteral("  d "));
        QCOMPARE(full.tags, (QStringList{"a", "b"}));
        QCOMPARE(full.customCategory, std::optional<QString>(QStringLiteral("Client A")));

        for (const char* unknown : {"links", "Websites", "Stuff"})
            QCOMPARE(OpenAIAnalyzer::parseResponse(
                         QStringLiteral("{\"category\":\"%1\"}").arg(QLatin1String(unknown)))
                         .category,
                     ItemCategory::uncategorized);
        QCOMPARE(OpenAIAnalyzer::parseResponse(QStringLiteral(R"({"tags":["a",1]})")).tags,
                 QStringList());
        QCOMPARE(OpenAIAnalyzer::parseResponse(QStringLiteral(R"({"category":7})")).category,
                 ItemCategory::uncategorized);

        QVERIFY_THROWS_EXCEPTION(JsonDecodingError,
                                 OpenAIAnalyzer::parseResponse(QStringLiteral("```\n{}\n```")));
        QVERIFY_THROWS_EXCEPTION(JsonDecodingError,
                                 OpenAIAnalyzer::parseResponse(QStringLiteral("Sure! Here it is")));
        try {
            OpenAIAnalyzer::parseResponse(QStringLiteral("[1,2]"));
            QFAIL("an array is not an analysis");
        } catch (const AIServiceError& error) {
            QCOMPARE(error.errorCase(), AIServiceError::Case::invalidResponse);
        }
    }

    void trimsTheKeyAndRefusesControlCharacters() {
        HttpClient http;
        const QUrl endpoint = endpointOf(*server_);
        finish(analyzer(http, endpoint, QStringLiteral("  ") + key + QStringLiteral("\n"))
                   .analyze(item(KippetItemType::text, "a"), {}));
        QCOMPARE(server_->requests().size(), 1);
        QCOMPARE(server_->requests().first().header("authorization"), "Bearer " + key.toUtf8());

        const QString injecting = key + QStringLiteral("\r\nX-Injected: 1");
        for (const QString& stored : {injecting, QString(key).insert(4, QChar(0x7f))}) {
            const auto refused = failure<InvalidAPIKeyError>(
                analyzer(http, endpoint, stored).analyze(item(KippetItemType::text, "a"), {}));
            QVERIFY(refused);
            QVERIFY(!refused->errorDescription().contains(key));
            QVERIFY(failure<InvalidAPIKeyError>(analyzer(http, endpoint, stored).sanitize("x")));
        }
        QCOMPARE(server_->requests().size(), 1);

        for (const std::optional<QString>& none :
             {std::optional<QString>(), std::optional<QString>(QStringLiteral(" "))}) {
            const auto noKey = failure<AIServiceError>(
                analyzer(http, endpoint, none).analyze(item(KippetItemType::text, "a"), {}));
            QVERIFY(noKey);
            QCOMPARE(noKey->errorCase(), AIServiceError::Case::noAPIKey);
        }
        QCOMPARE(analyzer(http, endpoint, QString()).unavailableReason(),
                 std::optional(AnalyzerUnavailableReason::missingCredentials));
        QCOMPARE(analyzer(http, endpoint).unavailableReason(), std::nullopt);
        QCOMPARE(server_->requests().size(), 1);
    }

    void leavesUnsupportedItemsToTheNextAnalyzer() {
        HttpClient http;
        OpenAIAnalyzer cloud = analyzer(http, endpointOf(*server_));
        for (KippetItemType type : {KippetItemType::color, KippetItemType::unknown}) {
            const auto error = failure<AIServiceError>(cloud.analyze(item(type, "x"), {}));
            QVERIFY(error);
            QCOMPARE(error->errorCase(), AIServiceError::Case::unsupportedFeature);
        }
        QVERIFY(
            failure<AIServiceError>(cloud.analyze(item(KippetItemType::file, "x", "a.txt"), {})));
        const auto notText = failure<AIServiceError>(
            cloud.analyze(item(KippetItemType::text, QByteArray("\xff\xfe", 2)), {}));
        QVERIFY(notText);
        QCOMPARE(notText->errorCase(), AIServiceError::Case::invalidContent);
        QCOMPARE(server_->requests().size(), 0);
    }

    void screensInstructions() {
        HttpClient http;
        QString answer;
        server_->setHandler([&answer](const TestHttpRequest&) {
            return TestHttpResponse::json(responsesBody(answer));
        });
        OpenAIAnalyzer cloud = analyzer(http, endpointOf(*server_));
        for (const QString& refusal : {QStringLiteral("REJECTED"), QStringLiteral("  rejected.\n"),
                                       QStringLiteral("Rejected because unsafe")}) {
            answer = refusal;
            const auto error = failure<AIServiceError>(cloud.sanitize(QStringLiteral("sort it")));
            QVERIFY(error);
            QCOMPARE(error->errorCase(), AIServiceError::Case::instructionsRejected);
        }
        // Only the model's refusal is a rejection: an empty answer or a failed request is not.
        answer = QStringLiteral(" \n ");
        const auto empty = failure<AIServiceError>(cloud.sanitize(QStringLiteral("sort it")));
        QVERIFY(empty);
        QCOMPARE(empty->errorCase(), AIServiceError::Case::invalidResponse);
        server_->setHandler(
            [](const TestHttpRequest&) { return TestHttpResponse::json("{}", 500); });
        const auto failed = failure<AIServiceError>(cloud.sanitize(QStringLiteral("sort it")));
        QVERIFY(failed);
        QCOMPARE(failed->errorCase(), AIServiceError::Case::apiError);
        server_->setHandler([&answer](const TestHttpRequest&) {
            return TestHttpResponse::json(responsesBody(answer));
        });
        answer = QStringLiteral("\n  Group invoices by Client Name.  \n");
        QCOMPARE(finish(cloud.sanitize(QStringLiteral("  invoices by client \n"))),
                 QStringLiteral("Group invoices by Client Name."));
        const QJsonObject expected = expectedBody(
            OpenAIPrompts::screening(),
            {textPartOf(
                "Clean and structure these file sorting instructions:\n\ninvoices by client")});
        QCOMPARE(QJsonDocument::fromJson(server_->requests().last().body).object(), expected);

        const qsizetype sent = server_->requests().size();
        const auto blank = failure<AIServiceError>(cloud.sanitize(QStringLiteral(" \n\t ")));
        QVERIFY(blank);
        QCOMPARE(blank->errorCase(), AIServiceError::Case::invalidContent);
        QCOMPARE(server_->requests().size(), sent);
    }

    void speaksTlsAndRecoversAfterAHandshakeFailure() {
        QTemporaryDir dir;
        QSslCertificate certificate;
        QSslKey privateKey;
        QVERIFY(TestHttpServer::makeSelfSignedCertificate(dir.path(), &certificate, &privateKey));
        TestHttpServer tls;
        QVERIFY(tls.startTls(certificate, privateKey));
        tls.setHandler(
            [](const TestHttpRequest&) { return TestHttpResponse::json(responsesBody(reply)); });
        QVERIFY(endpointOf(tls).scheme() == QStringLiteral("https"));

        HttpClient http;
        const auto untrusted = failure<AIServiceError>(
            analyzer(http, endpointOf(tls)).analyze(item(KippetItemType::text, "a"), {}));
        QVERIFY(untrusted);
        QCOMPARE(untrusted->errorCase(), AIServiceError::Case::networkError);

        http.setExtraCaCertificates({certificate});
        const ContentAnalysis analysis =
            finish(analyzer(http, endpointOf(tls)).analyze(item(KippetItemType::text, "a"), {}));
        QCOMPARE(analysis.category, ItemCategory::notes);
        QCOMPARE(tls.requests().size(), 1);
        QCOMPARE(tls.requests().first().header("authorization"), "Bearer " + key.toUtf8());
    }

    void takesTheBaseAddressFromTheEnvironment() {
        qunsetenv("KIPPETS_OPENAI_BASE_URL");
        QCOMPARE(OpenAIAnalyzer::defaultEndpoint(),
                 QUrl(QStringLiteral("https://api.openai.com/v1/responses")));
        qputenv("KIPPETS_OPENAI_BASE_URL", "http://127.0.0.1:8123/");
        QCOMPARE(OpenAIAnalyzer::defaultEndpoint(),
                 QUrl(QStringLiteral("http://127.0.0.1:8123/v1/responses")));
        qunsetenv("KIPPETS_OPENAI_BASE_URL");
    }

private:
    std::unique_ptr<TestHttpServer> server_;
};

QTEST_GUILESS_MAIN(OpenAIAnalyzerTest)
#include "OpenAIAnalyzerTest.moc"
