#pragma once

#include "analysis/HttpClient.h"
#include "analysis/OpenAIAnalyzer.h"
#include "platform/Clock.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"
#include "support/TestHttpServer.h"

#include <QCoroTask>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QUuid>
#include <optional>
#include <stdexcept>

// Helpers shared by the cloud analyzer tests: a model endpoint on the test server, replies in
// the Responses format, items, and running a task whose server never answers.
namespace CloudTest {
using TaskRunner::caught;
using TaskRunner::failure;
using TaskRunner::finish;

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
    return OpenAIAnalyzer(
        http, [storedKey] { return storedKey.has_value() && !storedKey->isEmpty(); },
        keyLoader(storedKey), endpoint);
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

// Runs a task against a server that stays silent: once the server holds the task's request,
// the time-out passes on the test clock. Throws std::runtime_error when the task ends a
// millisecond before its time-out.
template <typename T>
T finishAfterTimeout(QCoro::Task<T> task, const TestHttpServer& server,
                     std::chrono::milliseconds timeout) {
    const qsizetype before = server.requests().size();
    auto state = TaskRunner::settle(std::move(task));
    if (!TaskRunner::waitUntil([&] { return server.requests().size() > before; }))
        throw std::runtime_error("the request never reached the server");
    testClock().advance(timeout - std::chrono::milliseconds(1));
    QCoreApplication::processEvents();
    if (state->done)
        throw std::runtime_error("the task ended before its time-out");
    testClock().advance(std::chrono::milliseconds(1));
    return TaskRunner::result(state);
}

} // namespace CloudTest
