#include "CloudTestSupport.h"

#include "analysis/PageMetadata.h"
#include "support/Compressed.h"
#include "support/TestEnvironment.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <limits>

using namespace CloudTest;

Q_DECLARE_METATYPE(std::optional<QString>)

namespace {
const QString modelReply = QStringLiteral(
    R"({"category":"Code","title":"Model title","description":"From the model","tags":["m"]})");
const QStringList linkTags{QStringLiteral("link"), QStringLiteral("url"),
                           QStringLiteral("website")};

TestHttpResponse streamed(const QByteArray& prefix, const QByteArray& pattern, qint64 total) {
    TestHttpResponse response;
    response.behaviour = TestHttpResponse::Behaviour::stream;
    response.headers = {{"Content-Type", "text/html"}};
    response.body = prefix;
    response.streamPattern = pattern;
    response.streamBytes = total;
    return response;
}
} // namespace

// Link analysis: the start of the page is fetched, its title and description read, and the
// model asked only when there is a title.
class PageFetchTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        server_ = std::make_unique<TestHttpServer>();
        QVERIFY(server_->start());
        page_ = TestHttpResponse::html("<html></html>");
        server_->setHandler([this](const TestHttpRequest& request) {
            if (request.method == "POST")
                return model_.value_or(TestHttpResponse::json(responsesBody(modelReply)));
            return page_;
        });
        model_.reset();
    }
    void cleanup() { server_.reset(); }

    void stopsReadingAtTheByteLimit() {
        page_ = streamed("<html>", QByteArray(1024, 'a'), 3 * 1024 * 1024);
        HttpClient http;
        QNetworkRequest request(server_->baseUrl().resolved(QUrl("/big")));
        const HttpClient::Result result = finish(http.fetchPrefix(
            request, OpenAIAnalyzer::pageByteLimit, OpenAIAnalyzer::pageFetchTimeout));
        QCOMPARE(result.failure, HttpClient::Result::Failure::none);
        QCOMPARE(result.body.size(), OpenAIAnalyzer::pageByteLimit);
        QVERIFY(result.truncated);
        QTRY_VERIFY_WITH_TIMEOUT(server_->clientClosedStream(), 3000);
        QVERIFY(server_->streamedBytes() < 3 * 1024 * 1024);
    }

    void asksTheModelAboutATitledPageThatIgnoresTheRange() {
        page_ = streamed("<html><head><title> Word </title></head>", QByteArray(1024, 'a'),
                         3 * 1024 * 1024);
        HttpClient http;
        const QString url = server_->baseUrl().toString() + QStringLiteral("/article");
        const ContentAnalysis analysis =
            finish(analyzer(http, endpointOf(*server_)).analyze(link(url), {}));

        QCOMPARE(analysis.category, ItemCategory::links);
        QCOMPARE(analysis.title, std::optional<QString>(QStringLiteral("Model title")));
        QCOMPARE(analysis.description, QStringLiteral("From the model"));
        QCOMPARE(analysis.confidence, 0.85);
        QTRY_VERIFY_WITH_TIMEOUT(server_->clientClosedStream(), 3000);

        const QList<TestHttpRequest> requests = server_->requests();
        QCOMPARE(requests.size(), 2);
        QCOMPARE(requests[0].method, QByteArray("GET"));
        QCOMPARE(requests[0].path, QByteArray("/article"));
        QCOMPARE(requests[0].header("range"), QByteArray("bytes=0-1048575"));
        QVERIFY(requests[0].header("authorization").isEmpty());
        const QJsonArray input = QJsonDocument::fromJson(requests[1].body)["input"].toArray();
        QCOMPARE(input[1]["content"][0]["text"].toString(),
                 QStringLiteral("Analyze this webpage and provide rich metadata:\nURL: ") + url +
                     QStringLiteral("\nTitle: Word\n\n\nProvide: 1) A concise title (max 7 words), "
                                    "2) A brief description, 3) Relevant tags."));
    }

    void sendsTheDescriptionAndTheSortingRule() {
        page_ = TestHttpResponse::html(
            R"(<title>T</title><meta name="description" content=" About it ">)");
        HttpClient http;
        const QString url = server_->baseUrl().toString() + QStringLiteral("/a");
        finish(analyzer(http, endpointOf(*server_)).analyze(link(url), QStringLiteral("By topic")));
        const QJsonArray input =
            QJsonDocument::fromJson(server_->requests()[1].body)["input"].toArray();
        QVERIFY(input[1]["content"][0]["text"].toString().contains(
            QStringLiteral("\nTitle: T\nDescription: About it\n\nProvide: ")));
        QVERIFY(input[0]["content"][0]["text"].toString().contains(
            QStringLiteral("\n---\nBy topic\n---\n")));
    }

    void readsTheTitleFromTheFirstMebibyteOfAHugeCompressedPage() {
        const QByteArray page = Compressed::deflated("<html><head><title> Huge </title></head>",
                                                     "<p>more</p>", 200 * 1024 * 1024);
        page_ = TestHttpResponse::html(page);
        page_.headers.append({QByteArray("Content-Encoding"), QByteArray("gzip")});
        HttpClient http;
        const QString url = server_->baseUrl().toString() + QStringLiteral("/huge");
        const ContentAnalysis analysis =
            finish(analyzer(http, endpointOf(*server_)).analyze(link(url), {}));
        QCOMPARE(analysis.title, std::optional<QString>(QStringLiteral("Model title")));
        QCOMPARE(server_->requests().size(), 2);
        const QJsonArray input =
            QJsonDocument::fromJson(server_->requests()[1].body)["input"].toArray();
        QVERIFY(
            input[1]["content"][0]["text"].toString().contains(QStringLiteral("\nTitle: Huge\n")));
    }

    void aPageAnsweringWithAnErrorStatusIsStillAPage() {
        HttpClient http;
        for (int status : {400, 407, 418}) {
            page_ =
                TestHttpResponse::html(R"(<meta name="description" content="Still read">)", status);
            LogCapture log;
            const ContentAnalysis analysis =
                finish(analyzer(http, endpointOf(*server_))
                           .analyze(link(server_->baseUrl().toString()), {}));
            QCOMPARE(analysis.description, QStringLiteral("Still read"));
            QCOMPARE(analysis.confidence, 0.7);
            QVERIFY(log.lines().isEmpty());
        }
    }

    void aPageThatCannotBeInflatedIsAFailedFetch() {
        QByteArray page = Compressed::gzipped("<title>Broken</title>" + QByteArray(5000, 'x'));
        page[12] = '\xff';
        page[13] = '\xff';
        page_ = TestHttpResponse::html(page);
        page_.headers.append({QByteArray("Content-Encoding"), QByteArray("gzip")});
        HttpClient http;
        LogCapture log;
        const ContentAnalysis analysis = finish(
            analyzer(http, endpointOf(*server_)).analyze(link(server_->baseUrl().toString()), {}));
        QCOMPARE(analysis, (ContentAnalysis{ItemCategory::links, std::nullopt, std::nullopt,
                                            QStringLiteral("Web link: 127.0.0.1"), linkTags, 1.0}));
        QCOMPARE(log.lines(), QStringList{QStringLiteral(
                                  "⚠️ [OpenAIAnalyzer] Failed to fetch URL content: The page's "
                                  "compressed content could not be inflated.")});
        QCOMPARE(server_->requests().size(), 1);
    }

    void fallsBackOnAPageCutInsideACharacter() {
        // 17 bytes, then two-byte characters: the byte limit falls inside one of them.
        page_ = streamed("<title>T</title>!", QString(512, QChar(0xe9)).toUtf8(), 2 * 1024 * 1024);
        HttpClient http;
        LogCapture log;
        const ContentAnalysis analysis = finish(
            analyzer(http, endpointOf(*server_)).analyze(link(server_->baseUrl().toString()), {}));
        QCOMPARE(analysis, (ContentAnalysis{ItemCategory::links, std::nullopt, std::nullopt,
                                            QStringLiteral("Web link: 127.0.0.1"), linkTags, 1.0}));
        QCOMPARE(server_->requests().size(), 1);
        QVERIFY(log.lines().isEmpty());
    }

    void answersWithoutTheModelWhenThePageHasNoTitle() {
        HttpClient http;
        OpenAIAnalyzer cloud = analyzer(http, endpointOf(*server_));
        page_ = TestHttpResponse::html(R"(<meta name="description" content="A calm page">)", 404);
        const ContentAnalysis described =
            finish(cloud.analyze(link(server_->baseUrl().toString()), {}));
        QCOMPARE(described, (ContentAnalysis{ItemCategory::links, std::nullopt, std::nullopt,
                                             QStringLiteral("A calm page"), linkTags, 0.7}));
        page_ = TestHttpResponse::html("<title>\n</title>");
        const ContentAnalysis bare = finish(cloud.analyze(link(server_->baseUrl().toString()), {}));
        QCOMPARE(bare.description, QStringLiteral("Web link: 127.0.0.1"));
        QCOMPARE(bare.confidence, 0.7);
        for (const TestHttpRequest& request : server_->requests())
            QCOMPARE(request.method, QByteArray("GET"));
    }

    void readsTitleAndDescriptionByTheirPatterns_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<std::optional<QString>>("title");
        QTest::addColumn<std::optional<QString>>("description");
        const std::optional<QString> none;
        QTest::newRow("spaces around title")
            << "<head><title>  Word \t</title>" << std::optional<QString>("Word") << none;
        QTest::newRow("first title wins")
            << "<title>A</title><title>B</title>" << std::optional<QString>("A") << none;
        QTest::newRow("title across lines") << "<title>Two\nlines</title>" << none << none;
        QTest::newRow("upper-case tag") << "<TITLE>Loud</TITLE>" << none << none;
        QTest::newRow("blank title") << "<title>   </title>" << none << none;
        QTest::newRow("name before content")
            << R"(<meta charset="x" name="description" lang="en" content=" Hello world ">)" << none
            << std::optional<QString>("Hello world");
        QTest::newRow("content before name")
            << R"(<meta content="Hello" name="description">)" << none << none;
        QTest::newRow("empty description")
            << R"(<meta name="description" content="">)" << none << std::optional<QString>("");
    }

    void readsTitleAndDescriptionByTheirPatterns() {
        QFETCH(QString, html);
        QFETCH(std::optional<QString>, title);
        QFETCH(std::optional<QString>, description);
        const PageMetadata metadata = PageMetadata::fromHtml(html);
        QCOMPARE(metadata.title, title);
        QCOMPARE(metadata.description, description);
    }

    // Pages of the pieces the patterns look for, in any order: the scan reads each as the
    // patterns "<title>(.*?)</title>" and "<meta[^>]*name="description"[^>]*content="([^"]*)""
    // do, the value then taken from the match's first "content="([^"]*)"".
    void readsEveryPageAsThePatternsDo() {
        static const QRegularExpression titlePattern(QStringLiteral("<title>(.*?)</title>"));
        static const QRegularExpression tagPattern(
            QStringLiteral("<meta[^>]*name=\"description\"[^>]*content=\"([^\"]*)\""));
        static const QRegularExpression contentPattern(QStringLiteral("content=\"([^\"]*)\""));
        const QStringList pieces{"<meta",      " name=\"description\"",
                                 "content=\"", "\"",
                                 ">",          "<title>",
                                 "</title>",   "\n",
                                 "\r",         " ",
                                 "x",          "content=",
                                 "<",          "title>",
                                 "\t",         "name=\"description\" content=\"v\""};
        QRandomGenerator random(47);
        for (int page = 0; page < 20000; ++page) {
            QString html;
            for (int piece = random.bounded(1, 24); piece > 0; --piece)
                html += pieces.at(random.bounded(int(pieces.size())));
            std::optional<QString> title;
            if (const QRegularExpressionMatch match = titlePattern.match(html); match.hasMatch()) {
                const QString text = match.captured(0)
                                         .remove(QStringLiteral("<title>"))
                                         .remove(QStringLiteral("</title>"))
                                         .trimmed();
                if (!text.isEmpty())
                    title = text;
            }
            std::optional<QString> description;
            if (const QRegularExpressionMatch match = tagPattern.match(html); match.hasMatch())
                description = contentPattern.match(match.captured(0))
                                  .captured(0)
                                  .remove(QStringLiteral("content=\""))
                                  .remove(QLatin1Char('"'))
                                  .trimmed();
            const PageMetadata metadata = PageMetadata::fromHtml(html);
            QVERIFY2(metadata.title == title && metadata.description == description,
                     qPrintable(html));
        }
    }

    // A megabyte of description tags that never get a content: read in about the time of a
    // plain page of the same size, to the same outcome as ever.
    void aPageOfUnfinishedTagsReadsAsFastAsAPlainOne() {
        const qsizetype size = OpenAIAnalyzer::pageByteLimit;
        const QByteArray tag("<meta name=\"description\" ");
        const QByteArray unfinished = tag.repeated(size / tag.size() + 1).left(size);
        const QByteArray line("<p>Plain words of a page, line after line.</p>\n");
        const QByteArray plain = line.repeated(size / line.size() + 1).left(size);
        auto fastest = [](const QByteArray& page) {
            qint64 best = std::numeric_limits<qint64>::max();
            for (int run = 0; run < 5; ++run) {
                QElapsedTimer timer;
                timer.start();
                PageMetadata::fromPage(page);
                best = std::min(best, timer.nsecsElapsed());
            }
            return best;
        };
        const qint64 plainTime = fastest(plain);
        const qint64 unfinishedTime = fastest(unfinished);
        QVERIFY2(unfinishedTime <= 25 * std::max<qint64>(plainTime, 1000000),
                 qPrintable(QStringLiteral("%1 ns against %2 ns for a plain page")
                                .arg(unfinishedTime)
                                .arg(plainTime)));

        const std::optional<PageMetadata> read = PageMetadata::fromPage(unfinished);
        QVERIFY(read);
        QCOMPARE(read->title, std::nullopt);
        QCOMPARE(read->description, std::nullopt);
        // The first tag runs to the one ">" at the end, where a content comes at last.
        const std::optional<PageMetadata> finished =
            PageMetadata::fromPage(unfinished.left(size - 20) + "content=\" found \">");
        QVERIFY(finished);
        QCOMPARE(finished->description, std::optional<QString>(QStringLiteral("found")));
    }

    void fallsBackWhenThePageOrTheModelFails() {
        HttpClient http;
        LogCapture log;
        QUrl refused = server_->baseUrl();
        refused.setPort(refusedPort());
        refused.setPath(QStringLiteral("/x"));
        const ContentAnalysis unreachable =
            finish(analyzer(http, endpointOf(*server_)).analyze(link(refused.toString()), {}));
        QCOMPARE(unreachable,
                 (ContentAnalysis{ItemCategory::links, std::nullopt, std::nullopt,
                                  QStringLiteral("Web link: 127.0.0.1"), linkTags, 1.0}));
        QCOMPARE(log.lines().size(), 1);
        QVERIFY(log.lines().first().startsWith(
            QStringLiteral("⚠️ [OpenAIAnalyzer] Failed to fetch URL content: ")));
        QCOMPARE(server_->requests().size(), 0);

        page_.behaviour = TestHttpResponse::Behaviour::neverAnswer;
        const ContentAnalysis silent = finishAfterTimeout(
            analyzer(http, endpointOf(*server_)).analyze(link(server_->baseUrl().toString()), {}),
            *server_, OpenAIAnalyzer::pageFetchTimeout);
        QCOMPARE(silent.confidence, 1.0);
        QCOMPARE(log.lines().size(), 2);

        page_ = TestHttpResponse::html("<title>T</title>");
        model_ = TestHttpResponse::json("{\"error\":\"busy\"}", 500);
        const ContentAnalysis modelDown = finish(
            analyzer(http, endpointOf(*server_)).analyze(link(server_->baseUrl().toString()), {}));
        QCOMPARE(modelDown.confidence, 1.0);
        QVERIFY(log.contains(QStringLiteral("⚠️ [OpenAIAnalyzer] Failed to fetch URL content: "
                                            "API error with status code: 500")));
    }

    void refusesLinksItCannotFetch() {
        HttpClient http;
        OpenAIAnalyzer cloud = analyzer(http, endpointOf(*server_));
        const auto ftp = failure<AIServiceError>(cloud.analyze(link("ftp://127.0.0.1/file"), {}));
        QVERIFY(ftp);
        QCOMPARE(ftp->errorCase(), AIServiceError::Case::unsupportedURLScheme);
        const auto noScheme = failure<AIServiceError>(cloud.analyze(link("example.com/page"), {}));
        QVERIFY(noScheme);
        QCOMPARE(noScheme->errorCase(), AIServiceError::Case::unsupportedURLScheme);
        for (const QString& broken : {QStringLiteral("http://exa mple.com"), QString()}) {
            const auto invalid = failure<AIServiceError>(cloud.analyze(link(broken), {}));
            QVERIFY(invalid);
            QCOMPARE(invalid->errorCase(), AIServiceError::Case::invalidContent);
        }
        KippetItem withoutUrl = link("http://127.0.0.1/");
        withoutUrl.metadata.urlString.reset();
        QVERIFY(failure<AIServiceError>(cloud.analyze(withoutUrl, {})));
        QCOMPARE(server_->requests().size(), 0);
    }

private:
    std::unique_ptr<TestHttpServer> server_;
    TestHttpResponse page_;
    std::optional<TestHttpResponse> model_;
};

QTEST_GUILESS_MAIN(PageFetchTest)
#include "PageFetchTest.moc"
