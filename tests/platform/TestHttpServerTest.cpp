#include "support/TestHttpServer.h"

#include <QCoroNetworkReply>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The test server is what every network test leans on; make sure it says what it sees.
class TestHttpServerTest : public QObject {
    Q_OBJECT
private slots:
    void recordsRequestAndAnswers() {
        TestHttpServer server;
        QVERIFY(server.start());
        server.setHandler([](const TestHttpRequest& request) {
            return TestHttpResponse::json("{\"echo\":\"" + request.body + "\"}", 201);
        });
        QNetworkAccessManager network;
        QNetworkRequest request(server.baseUrl().resolved(QUrl(QStringLiteral("/v1/x?q=1"))));
        request.setRawHeader("Authorization", "Bearer k");
        std::unique_ptr<QNetworkReply> reply(network.post(request, QByteArray("hi")));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        QVERIFY(finished.wait(5000));
        QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 201);
        QCOMPARE(reply->readAll(), QByteArray("{\"echo\":\"hi\"}"));
        QCOMPARE(server.requests().size(), 1);
        QCOMPARE(server.requests()[0].method, QByteArray("POST"));
        QCOMPARE(server.requests()[0].path, QByteArray("/v1/x?q=1"));
        QCOMPARE(server.requests()[0].header("authorization"), QByteArray("Bearer k"));
    }

    void speaksTlsWithATrustedSelfSignedCertificate() {
        QTemporaryDir dir;
        QSslCertificate certificate;
        QSslKey key;
        QVERIFY(TestHttpServer::makeSelfSignedCertificate(dir.path(), &certificate, &key));
        TestHttpServer server;
        QVERIFY(server.startTls(certificate, key));
        server.setHandler([](const TestHttpRequest&) { return TestHttpResponse::json("{}"); });
        QNetworkAccessManager network;
        QNetworkRequest request(server.baseUrl());
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.addCaCertificate(certificate);
        request.setSslConfiguration(tls);
        std::unique_ptr<QNetworkReply> reply(network.get(request));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        QVERIFY(finished.wait(10000));
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        QCOMPARE(server.requests().size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestHttpServerTest)
#include "TestHttpServerTest.moc"
