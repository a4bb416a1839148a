#include "analysis/HttpClient.h"
#include "platform/Clock.h"
#include "support/Compressed.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"
#include "support/TestHttpServer.h"

#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

using namespace std::chrono_literals;
using Failure = HttpClient::Result::Failure;

namespace {
constexpr qint64 mebibyte = 1024 * 1024;

QNetworkRequest requestTo(const TestHttpServer& server, const QString& path) {
    QNetworkRequest request(server.baseUrl().resolved(QUrl(path)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    return request;
}

TestHttpResponse withBehaviour(TestHttpResponse::Behaviour behaviour, const QByteArray& body = {},
                               qint64 streamBytes = 0) {
    TestHttpResponse response;
    response.behaviour = behaviour;
    response.body = body;
    response.streamBytes = streamBytes;
    return response;
}

TestHttpResponse gzipPage(const QByteArray& compressed, const QByteArray& encoding = "gzip") {
    TestHttpResponse response = TestHttpResponse::html(compressed);
    response.headers.append({"Content-Encoding", encoding});
    return response;
}

// The most memory this process has held so far, from the kernel's own count.
qint64 peakResidentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}
} // namespace

class HttpClientTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<TestHttpServer> server_;
    std::unique_ptr<HttpClient> http_;

    // Moves the test clock in steps, letting the client see the bytes each step brings, until
    // the exchange ends; the clock time it took.
    std::chrono::milliseconds
    driveUntilDone(const std::shared_ptr<TaskRunner::Settled<HttpClient::Result>>& state,
                   std::chrono::milliseconds step) {
        QSignalSpy moved(http_.get(), &HttpClient::transferProgressed);
        std::chrono::milliseconds elapsed{0};
        // Nothing counts until the request is out and the head is back.
        TaskRunner::waitUntil([&] { return moved.size() > 0 || state->done; });
        while (!state->done && elapsed < 1h) {
            const qsizetype before = moved.size();
            testClock().advance(step);
            elapsed += step;
            TaskRunner::waitUntil([&] { return moved.size() > before || state->done; }, 2000);
        }
        return elapsed;
    }

private slots:
    void init() {
        server_ = std::make_unique<TestHttpServer>();
        QVERIFY(server_->start());
        http_ = std::make_unique<HttpClient>();
    }
    void cleanup() {
        http_.reset();
        server_.reset();
    }

    void aReplyThatKeepsMovingOutlivesTheIdleTimeOut() {
        server_->setHandler([](const TestHttpRequest&) {
            return withBehaviour(TestHttpResponse::Behaviour::trickle, "[", 10);
        });
        auto state = TaskRunner::settle(http_->post(requestTo(*server_, "/slow"), "{}", 3s));
        const std::chrono::milliseconds took = driveUntilDone(state, 1s);
        const HttpClient::Result result = TaskRunner::result(state);
        QCOMPARE(result.failure, Failure::none);
        QCOMPARE(result.status, std::optional<int>(200));
        QCOMPARE(result.body, QByteArray("[aaaaaaaaaa"));
        QVERIFY(took > 3s); // longer than the time-out, idle for none of it
    }

    void aReplyThatStallsFailsAfterTheIdleTimeOut() {
        server_->setHandler([](const TestHttpRequest&) {
            return withBehaviour(TestHttpResponse::Behaviour::stall, "[partial");
        });
        QSignalSpy moved(http_.get(), &HttpClient::transferProgressed);
        auto state = TaskRunner::settle(http_->post(requestTo(*server_, "/stall"), "{}", 3s));
        // The upload, the head and the partial body each count as activity and may come in
        // separate events; the idle time is measured from the last of them.
        QVERIFY(TaskRunner::waitUntil([&] { return moved.size() > 0; }));
        for (qsizetype seen = -1; seen != moved.size();) {
            seen = moved.size();
            QTest::qWait(400);
        }
        testClock().advance(2999ms);
        QCoreApplication::processEvents();
        QVERIFY(!state->done);
        testClock().advance(1ms);
        const HttpClient::Result result = TaskRunner::result(state);
        QCOMPARE(result.failure, Failure::timeout);
        QVERIFY(result.body.isEmpty());
    }

    // Qt reports the body as sent once the system has taken it; a server still reading it from
    // the system's buffers is not idle.
    void anUploadTheServerKeepsReadingSlowlyDoesNotTimeOut() {
        constexpr qint64 pace = 64 * 1024; // per 125 ms: 512 KiB/s
        server_->setReadPace(pace, 125ms);
        server_->setHandler([](const TestHttpRequest& request) {
            return TestHttpResponse::json("{\"read\":" + QByteArray::number(request.body.size()) +
                                          "}");
        });
        const QByteArray body(2 * mebibyte, 'x');
        QSignalSpy moved(http_.get(), &HttpClient::transferProgressed);
        auto state = TaskRunner::settle(http_->post(requestTo(*server_, "/upload"), body, 3s));
        // The client hands over what the system takes before the server reads a byte: here all
        // of it, reported as sent while the server has yet to read it.
        QVERIFY(TaskRunner::waitUntil([&] { return moved.size() > 0; }));
        for (qsizetype seen = -1; seen != moved.size();) {
            seen = moved.size();
            QTest::qWait(400);
        }
        std::chrono::milliseconds elapsed{0};
        qint64 readBefore = -1;
        while (!state->done && elapsed < 60s) {
            // Each turn starts with a full turn's bytes waiting, so the server reads at its pace.
            QVERIFY(TaskRunner::waitUntil(
                [&] {
                    return state->done || server_->pacedBytesWaiting() >= pace ||
                           (server_->pacedRequestArrived() && server_->pacedBytesWaiting() > 0);
                },
                5000));
            QVERIFY(state->done || server_->pacedBytesRead() > readBefore);
            readBefore = server_->pacedBytesRead();
            testClock().advance(125ms);
            elapsed += 125ms;
        }
        const HttpClient::Result result = TaskRunner::result(state);
        QCOMPARE(result.failure, Failure::none);
        QCOMPARE(result.body, "{\"read\":" + QByteArray::number(body.size()) + "}");
        QVERIFY(elapsed >= 4s); // longer than the idle time-out, idle for none of it
    }

    // A server that takes nothing in: whatever the system took of the body, the exchange ends
    // within the idle time-out plus the body's drain allowance.
    void anUploadTheServerNeverReadsFailsWithinItsBound() {
        server_->setReadPace(0, 125ms);
        QSignalSpy moved(http_.get(), &HttpClient::transferProgressed);
        const QByteArray body(2 * mebibyte, 'x');
        auto state = TaskRunner::settle(http_->post(requestTo(*server_, "/upload"), body, 3s));
        // Let the system take what it will; from then on nothing moves.
        QVERIFY(TaskRunner::waitUntil([&] { return moved.size() > 0; }));
        for (qsizetype seen = -1; seen != moved.size();) {
            seen = moved.size();
            QTest::qWait(400);
        }
        const std::chrono::milliseconds bound =
            3s + std::chrono::seconds(body.size() / HttpClient::minimumDrainRate);
        QCOMPARE(bound, 35s);
        std::chrono::milliseconds elapsed{0};
        while (!state->done && elapsed <= bound) {
            testClock().advance(500ms);
            elapsed += 500ms;
            QCoreApplication::processEvents();
        }
        QVERIFY(state->done);
        QCOMPARE(TaskRunner::result(state).failure, Failure::timeout);
        QVERIFY(elapsed >= 3s);
    }

    void aReplyThatNeverEndsIsGivenUpAtTenTimesTheTimeOut() {
        server_->setHandler([](const TestHttpRequest&) {
            TestHttpResponse response =
                withBehaviour(TestHttpResponse::Behaviour::trickle, "[", 1000);
            response.trickleInterval = 500ms;
            return response;
        });
        auto state = TaskRunner::settle(http_->post(requestTo(*server_, "/endless"), "{}", 1s));
        const std::chrono::milliseconds took = driveUntilDone(state, 500ms);
        QCOMPARE(TaskRunner::result(state).failure, Failure::timeout);
        QCOMPARE(took, 10s);
    }

    void aReplyOverTheLimitIsRefusedAndNotKept() {
        // Streamed without a length: read up to the limit, then the connection is closed.
        server_->setHandler([](const TestHttpRequest&) {
            return withBehaviour(TestHttpResponse::Behaviour::stream, "{", 20 * mebibyte);
        });
        HttpClient::Result result =
            TaskRunner::finish(http_->post(requestTo(*server_, "/huge"), "{}", 30s));
        QCOMPARE(result.failure, Failure::tooLarge);
        QVERIFY(result.body.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(server_->clientClosedStream(), 5000);
        QVERIFY(server_->streamedBytes() < 20 * mebibyte);

        // Announced with its length: refused before a byte of the body is read.
        server_->setHandler([](const TestHttpRequest&) {
            return TestHttpResponse::json(QByteArray(20 * mebibyte, ' '));
        });
        result = TaskRunner::finish(http_->post(requestTo(*server_, "/huge"), "{}", 30s));
        QCOMPARE(result.failure, Failure::tooLarge);
        QVERIFY(result.body.isEmpty());

        // Exactly the limit is still an answer.
        server_->setHandler([](const TestHttpRequest&) {
            return withBehaviour(TestHttpResponse::Behaviour::stream, "{",
                                 HttpClient::modelReplyLimit);
        });
        result = TaskRunner::finish(http_->post(requestTo(*server_, "/full"), "{}", 30s));
        QCOMPARE(result.failure, Failure::none);
        QCOMPARE(result.body.size(), HttpClient::modelReplyLimit);
    }

    void everyStatusIsAnAnswer_data() {
        QTest::addColumn<int>("status");
        for (int status : {400, 401, 404, 407, 418, 429, 500, 503})
            QTest::newRow(QByteArray::number(status).constData()) << status;
    }
    void everyStatusIsAnAnswer() {
        QFETCH(int, status);
        server_->setHandler([status](const TestHttpRequest&) {
            return TestHttpResponse::json(R"({"error":"why"})", status);
        });
        const HttpClient::Result result =
            TaskRunner::finish(http_->post(requestTo(*server_, "/v1/responses"), "{}", 30s));
        QCOMPARE(result.failure, Failure::none);
        QCOMPARE(result.status, std::optional<int>(status));
        QCOMPARE(result.body, QByteArray(R"({"error":"why"})"));
        QVERIFY(result.errorText.isEmpty());
    }

    void theKeyNeverFollowsARedirect() {
        TestHttpServer elsewhere;
        QVERIFY(elsewhere.start());
        elsewhere.setHandler([](const TestHttpRequest&) { return TestHttpResponse::json("{}"); });
        const QByteArray target =
            elsewhere.baseUrl().resolved(QUrl("/v1/responses")).toString().toUtf8();
        server_->setHandler([target](const TestHttpRequest&) {
            TestHttpResponse redirect = TestHttpResponse::json("{}", 307);
            redirect.headers.append({"Location", target});
            return redirect;
        });
        QNetworkRequest request = requestTo(*server_, "/v1/responses");
        request.setRawHeader("Authorization", "Bearer sk-secret");
        const HttpClient::Result result = TaskRunner::finish(http_->post(request, "{}", 30s));
        QCOMPARE(result.status, std::optional<int>(307));
        QCOMPARE(server_->requests().size(), 1);
        QCoreApplication::processEvents();
        QVERIFY(elsewhere.requests().isEmpty());
    }

    void aDroppedConnectionSendsTheRequestOnce() {
        server_->setHandler([](const TestHttpRequest&) {
            return withBehaviour(TestHttpResponse::Behaviour::closeImmediately);
        });
        const HttpClient::Result result =
            TaskRunner::finish(http_->post(requestTo(*server_, "/v1/responses"), "{\"a\":1}", 30s));
        QCOMPARE(result.failure, Failure::network);
        QVERIFY(!result.status);
        // Not sent again, and told as what it is: the connection was lost.
        QCOMPARE(result.transferError, QNetworkReply::RemoteHostClosedError);
        QCOMPARE(result.errorText, QStringLiteral("Connection closed"));
        // Give a resend every chance to show up before counting.
        for (int turn = 0; turn < 20; ++turn)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCOMPARE(server_->requests().size(), 1);
        QCOMPARE(server_->requests().first().body, QByteArray("{\"a\":1}"));
    }

    // How a failed transfer ended is kept for callers that tell a server that is not there from
    // one that broke off; an exchange we ended ourselves carries no code of Qt's.
    void aFailedTransferKeepsHowItEnded() {
        quint16 closedPort = 0;
        {
            QTcpServer listener;
            QVERIFY(listener.listen(QHostAddress::LocalHost));
            closedPort = listener.serverPort();
        }
        QNetworkRequest nobody(
            QUrl(QStringLiteral("http://127.0.0.1:%1/v1/models").arg(closedPort)));
        const HttpClient::Result refused = TaskRunner::finish(http_->get(nobody, 30s));
        QCOMPARE(refused.failure, Failure::network);
        QCOMPARE(refused.transferError, QNetworkReply::ConnectionRefusedError);
        QVERIFY(!refused.errorText.isEmpty());
        QVERIFY(!refused.status);

        server_->setHandler([](const TestHttpRequest&) {
            return withBehaviour(TestHttpResponse::Behaviour::closeImmediately);
        });
        const HttpClient::Result dropped =
            TaskRunner::finish(http_->get(requestTo(*server_, "/v1/models"), 30s));
        QCOMPARE(dropped.failure, Failure::network);
        QCOMPARE(dropped.transferError, QNetworkReply::RemoteHostClosedError);
        QVERIFY(!dropped.errorText.isEmpty());

        server_->setHandler([](const TestHttpRequest&) {
            return withBehaviour(TestHttpResponse::Behaviour::stall, "[partial");
        });
        QSignalSpy moved(http_.get(), &HttpClient::transferProgressed);
        auto state = TaskRunner::settle(http_->get(requestTo(*server_, "/stall"), 1s));
        QVERIFY(TaskRunner::waitUntil([&] { return moved.size() > 0; }));
        for (qsizetype seen = -1; seen != moved.size();) {
            seen = moved.size();
            QTest::qWait(400);
        }
        testClock().advance(1s);
        const HttpClient::Result stalled = TaskRunner::result(state);
        QCOMPARE(stalled.failure, Failure::timeout);
        QCOMPARE(stalled.transferError, QNetworkReply::NoError);
        QVERIFY(!stalled.errorText.isEmpty());
    }

    void compressedPagesAreInflatedOnlyUpToThePrefix_data() {
        QTest::addColumn<qint64>("inflatedSize");
        QTest::newRow("3 MiB") << 3 * mebibyte;
        QTest::newRow("20 MiB") << 20 * mebibyte;
        QTest::newRow("200 MiB") << 200 * mebibyte;
    }
    void compressedPagesAreInflatedOnlyUpToThePrefix() {
        QFETCH(qint64, inflatedSize);
        const QByteArray head = "<html><head><title>Big</title></head><body>";
        const QByteArray page = Compressed::deflated(head, "<p>filler</p>\n", inflatedSize);
        server_->setHandler([page](const TestHttpRequest&) { return gzipPage(page); });
        const qint64 peakBefore = peakResidentBytes();
        const HttpClient::Result result =
            TaskRunner::finish(http_->fetchPrefix(requestTo(*server_, "/big"), mebibyte, 60s));
        QCOMPARE(result.failure, Failure::none);
        QVERIFY(result.truncated);
        QCOMPARE(result.body.size(), mebibyte);
        QVERIFY(result.body.startsWith(head + "<p>filler</p>\n"));
        QCOMPARE(server_->requests().first().header("accept-encoding"),
                 QByteArray("gzip, deflate"));
        // The page's full size never came near memory.
        QVERIFY2(peakResidentBytes() - peakBefore < 64 * mebibyte,
                 qPrintable(QString::number(peakResidentBytes() - peakBefore)));
    }

    void compressedPagesOfEveryKindInflateWhole() {
        const QByteArray html = "<title>Small</title>";
        const QList<QPair<QByteArray, int>> kinds = {
            {"gzip", 31}, {"x-gzip", 31}, {"deflate", 15}, {"deflate", -15}};
        for (const auto& [encoding, windowBits] : kinds) {
            const QByteArray body = Compressed::deflated(html, " ", html.size(), windowBits);
            server_->setHandler(
                [body, encoding](const TestHttpRequest&) { return gzipPage(body, encoding); });
            const HttpClient::Result result =
                TaskRunner::finish(http_->fetchPrefix(requestTo(*server_, "/s"), mebibyte, 60s));
            QCOMPARE(result.failure, Failure::none);
            QCOMPARE(result.body, html);
            QVERIFY(!result.truncated);
        }
    }

    void pagesThatCannotBeInflatedFail() {
        QByteArray broken = Compressed::gzipped(QByteArray(100000, 'x'));
        broken[broken.size() / 2] = broken[broken.size() / 2] ^ 0x55;
        broken[20] = '\xff';
        server_->setHandler([broken](const TestHttpRequest&) { return gzipPage(broken); });
        HttpClient::Result result =
            TaskRunner::finish(http_->fetchPrefix(requestTo(*server_, "/bad"), mebibyte, 60s));
        QCOMPARE(result.failure, Failure::undecodable);
        QCOMPARE(result.errorText,
                 QStringLiteral("The page's compressed content could not be inflated."));
        QVERIFY(result.body.isEmpty());

        server_->setHandler(
            [](const TestHttpRequest&) { return gzipPage("\x0b\x01\x80hello\x03", "br"); });
        result = TaskRunner::finish(http_->fetchPrefix(requestTo(*server_, "/br"), mebibyte, 60s));
        QCOMPARE(result.failure, Failure::undecodable);
        QCOMPARE(result.errorText,
                 QStringLiteral("The page's content encoding \"br\" is not supported."));
    }
};

QTEST_GUILESS_MAIN(HttpClientTest)
#include "HttpClientTest.moc"
