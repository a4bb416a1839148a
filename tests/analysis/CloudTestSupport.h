#pragma once

#include "analysis/HttpClient.h"
#include "analysis/OpenAIAnalyzer.h"
#include "support/TaskRunner.h"
#include "support/TestHttpServer.h"

#include <QCoroTask>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QUuid>
#include <exception>
#include <optional>

// Helpers shared by the cloud analyzer tests: a model endpoint on the test server, replies in
// the Responses format, and running a coroutine to its end.
namespace CloudTest {
inline const QString key = QStringLiteral("sk-test-0123456789abcdef");

inline QByteArray responsesBody(const QString& replyText) {
    const QJsonObject part{{"type", "output_text"}, {"text", replyText}};
    const QJsonObject output{{"type", "message"}, {"content", QJsonArray{part}}};
    return QJsonDocument(QJsonObject{{"output", QJsonArray{output}}})
        .toJson(QJsonDocument::Compact);
}

inline QUrl endpointOf(const TestHttpServer& server) {
    return server.baseUrl().resolved(QUrl(QStringLiteral("/v1/responses")));
}

inline QCoro::Task<std::optional<QString>> storedKeyOf(std::optional<QString> storedKey) {
    co_return storedKey;
}

inline OpenAIAnalyzer::KeyLoader keyLoader(std::optional<QString> storedKey) {
    return [storedKey] { return storedKeyOf(storedKey); };
}

inline OpenAIAnalyzer analyzer(HttpClient& http, const QUrl& endpoint,
                               std::optional<QString> storedKey = key) {
    OpenAIAnalyzer result(
        http, [storedKey] { return storedKey.has_value() && !storedKey->isEmpty(); },
        keyLoader(storedKey), endpoint);
    result.setTimeouts({std::chrono::milliseconds(1500), std::chrono::milliseconds(1500)});
    return result;
}

inline KippetItem item(KippetItemType type, const QByteArray& content, const QString& name = {}) {
    KippetItem result;
    result.id = QUuid::createUuid();
    result.type = type;
    result.content = content;
    result.metadata.name = name;
    return result;
}

inline KippetItem link(const QString& urlString) {
    KippetItem result = item(KippetItemType::url, urlString.toUtf8(), urlString);
    result.metadata.urlString = urlString;
    return result;
}

// A port on 127.0.0.1 that nothing listens on.
inline quint16 refusedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

template <typename T> T run(QCoro::Task<T> task) { return TaskRunner::finish(std::move(task)); }

template <typename E, typename T> std::optional<E> failure(QCoro::Task<T> task) {
    return TaskRunner::failure<E>(std::move(task));
}

} // namespace CloudTest
