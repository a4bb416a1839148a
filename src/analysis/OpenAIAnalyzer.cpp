#include "analysis/OpenAIAnalyzer.h"

#include "analysis/HeuristicAnalyzer.h"
#include "analysis/HttpClient.h"
#include "analysis/InvalidAPIKeyError.h"
#include "analysis/OpenAIPrompts.h"
#include "analysis/PageMetadata.h"
#include "model/KippetError.h"
#include "model/Utf8.h"
#include "platform/Log.h"

#include <QJsonDocument>
#include <QNetworkRequest>

namespace {
OpenAIAnalyzer::KeyPresence defaultHasKeyOperation;
OpenAIAnalyzer::KeyLoader defaultLoadKeyOperation;
OpenAIAnalyzer::KeyPresence defaultKeyKnownOperation;

const QString providerHost = QStringLiteral("https://api.openai.com");
const QString responsesPath = QStringLiteral("/v1/responses");

// The first count characters of a body for a log line, or "nil" when it is not UTF-8. An
// endpoint may echo the request's key back; that never reaches the log.
QString bodyExcerpt(const QByteArray& body, qsizetype count, const QString& apiKey) {
    std::optional<QString> text = decodeUtf8(body);
    if (!text)
        return QStringLiteral("nil");
    if (!apiKey.isEmpty())
        text->replace(apiKey, QString());
    QString excerpt = text->left(count);
    if (!excerpt.isEmpty() && excerpt.back().isHighSurrogate())
        excerpt.chop(1);
    return excerpt;
}

QJsonDocument readJson(const QByteArray& bytes) {
    QJsonParseError error;
    QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        throw JsonDecodingError(
            QStringLiteral("The data couldn't be read because it isn't in the correct format (") +
            error.errorString() + QStringLiteral(" at offset ") + QString::number(error.offset) +
            QStringLiteral(")."));
    return document;
}

// The reply text: output[0].content[first part of type "output_text"].text.
std::optional<QString> outputText(const QJsonDocument& document) {
    if (!document.isObject())
        return std::nullopt;
    const QJsonValue output = document.object().value(QStringLiteral("output"));
    if (!output.isArray() || output.toArray().isEmpty())
        return std::nullopt;
    for (const QJsonValue& element : output.toArray())
        if (!element.isObject())
            return std::nullopt;
    const QJsonValue content = output.toArray().first().toObject().value(QStringLiteral("content"));
    if (!content.isArray())
        return std::nullopt;
    for (const QJsonValue& part : content.toArray())
        if (!part.isObject())
            return std::nullopt;
    for (const QJsonValue& part : content.toArray()) {
        const QJsonObject object = part.toObject();
        if (object.value(QStringLiteral("type")) != QJsonValue(QStringLiteral("output_text")))
            continue;
        const QJsonValue text = object.value(QStringLiteral("text"));
        if (!text.isString())
            return std::nullopt;
        return text.toString();
    }
    return std::nullopt;
}

std::optional<QString> trimmedNonEmpty(const QJsonValue& value) {
    if (!value.isString())
        return std::nullopt;
    const QString text = value.toString().trimmed();
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

QStringList stringList(const QJsonValue& value) {
    if (!value.isArray())
        return {};
    QStringList list;
    for (const QJsonValue& element : value.toArray()) {
        if (!element.isString())
            return {};
        list.append(element.toString());
    }
    return list;
}

QJsonArray parts(std::initializer_list<QJsonObject> objects) {
    QJsonArray array;
    for (const QJsonObject& object : objects)
        array.append(object);
    return array;
}

void logFetchFailure(const QString& description) {
    Log::line(QStringLiteral("⚠️ [OpenAIAnalyzer] Failed to fetch URL content: ") +
              description);
}
} // namespace

OpenAIAnalyzer::OpenAIAnalyzer(HttpClient& http, KeyPresence hasKey, KeyLoader loadKey,
                               QUrl endpoint, AnalyzerCapabilities capabilities)
    : http_(&http), hasKey_(std::move(hasKey)), loadKey_(std::move(loadKey)),
      endpoint_(std::move(endpoint)), capabilities_(capabilities) {
    if (!hasKey_)
        hasKey_ = &defaultHasKey;
    if (!loadKey_)
        loadKey_ = &defaultLoadKey;
}

void OpenAIAnalyzer::setDefaultKeySource(KeyPresence hasKey, KeyLoader loadKey, KeyPresence known) {
    defaultHasKeyOperation = std::move(hasKey);
    defaultLoadKeyOperation = std::move(loadKey);
    defaultKeyKnownOperation = std::move(known);
}

std::optional<bool> OpenAIAnalyzer::defaultKeyPresence() {
    if (defaultKeyKnownOperation && !defaultKeyKnownOperation())
        return std::nullopt;
    return defaultHasKey();
}

bool OpenAIAnalyzer::defaultHasKey() {
    return defaultHasKeyOperation && defaultHasKeyOperation();
}

QCoro::Task<std::optional<QString>> OpenAIAnalyzer::defaultLoadKey() {
    if (!defaultLoadKeyOperation)
        co_return std::nullopt;
    co_return co_await defaultLoadKeyOperation();
}

QUrl OpenAIAnalyzer::defaultEndpoint() {
    QString base = qEnvironmentVariable("KIPPETS_OPENAI_BASE_URL");
    if (base.isEmpty())
        base = providerHost;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return QUrl(base + responsesPath);
}

std::optional<AnalyzerUnavailableReason> OpenAIAnalyzer::unavailableReason() const {
    if (hasKey_())
        return std::nullopt;
    return AnalyzerUnavailableReason::missingCredentials;
}

QString OpenAIAnalyzer::usableKey(const std::optional<QString>& storedKey) {
    const QString key = storedKey.value_or(QString()).trimmed();
    if (key.isEmpty())
        throw AIServiceError(AIServiceError::Case::noAPIKey);
    for (const QChar character : key)
        if (character.category() == QChar::Other_Control)
            throw InvalidAPIKeyError();
    return key;
}

QJsonObject OpenAIAnalyzer::requestBody(const QJsonArray& input, const QString& model) {
    return QJsonObject{{QStringLiteral("model"), model},
                       {QStringLiteral("input"), input},
                       {QStringLiteral("temperature"), 0.7},
                       {QStringLiteral("max_output_tokens"), 500}};
}

QJsonArray OpenAIAnalyzer::messages(const QString& systemPrompt, const QJsonArray& userParts) {
    return QJsonArray{QJsonObject{{QStringLiteral("role"), QStringLiteral("system")},
                                  {QStringLiteral("content"), QJsonArray{textPart(systemPrompt)}}},
                      QJsonObject{{QStringLiteral("role"), QStringLiteral("user")},
                                  {QStringLiteral("content"), userParts}}};
}

QJsonObject OpenAIAnalyzer::textPart(const QString& text) {
    return QJsonObject{{QStringLiteral("type"), QStringLiteral("input_text")},
                       {QStringLiteral("text"), text}};
}

QJsonObject OpenAIAnalyzer::imagePart(const QString& imageUrl) {
    return QJsonObject{{QStringLiteral("type"), QStringLiteral("input_image")},
                       {QStringLiteral("image_url"), imageUrl}};
}

QCoro::Task<ContentAnalysis> OpenAIAnalyzer::analyze(KippetItem item,
                                                     std::optional<QString> customInstructions) {
    const std::optional<QString> storedKey = co_await loadKey_();
    const QString key = usableKey(storedKey);
    switch (item.type) {
    case KippetItemType::text:
    case KippetItemType::note:
        co_return co_await analyzeText(item, key, customInstructions, endpoint_);
    case KippetItemType::url:
        co_return co_await analyzeLink(item, key, customInstructions, endpoint_);
    case KippetItemType::image:
        co_return co_await analyzeImage(item, key, customInstructions, endpoint_);
    case KippetItemType::code:
        co_return co_await analyzeCode(item, key, customInstructions, endpoint_);
    case KippetItemType::file:
        co_return co_await analyzeFile(item, key, customInstructions, endpoint_);
    case KippetItemType::color:
    case KippetItemType::unknown:
        break;
    }
    throw AIServiceError(AIServiceError::Case::unsupportedFeature);
}

QCoro::Task<QString> OpenAIAnalyzer::sanitize(QString instructions) {
    const std::optional<QString> storedKey = co_await loadKey_();
    const QString key = usableKey(storedKey);
    const QString trimmed = instructions.trimmed();
    if (trimmed.isEmpty())
        throw AIServiceError(AIServiceError::Case::invalidContent);
    const QJsonArray input = messages(OpenAIPrompts::screening(),
                                      parts({textPart(OpenAIPrompts::screeningUser(trimmed))}));
    const QString reply = (co_await makeAPICall(input, model, key, endpoint_)).trimmed();
    if (reply.toUpper().startsWith(QStringLiteral("REJECTED")))
        throw AIServiceError(AIServiceError::Case::instructionsRejected);
    // An empty answer is neither a verdict nor a cleaned rule: the text stays unscreened.
    if (reply.isEmpty())
        throw AIServiceError(AIServiceError::Case::invalidResponse);
    co_return reply;
}

QCoro::Task<QString> OpenAIAnalyzer::makeAPICall(QJsonArray input, QString model, QString apiKey,
                                                 QUrl endpoint) {
    const QString key = usableKey(apiKey);
    QNetworkRequest request(endpoint);
    request.setRawHeader("Authorization", "Bearer " + key.toUtf8());
    request.setRawHeader("Content-Type", "application/json");
    const QByteArray body = QJsonDocument(requestBody(input, model)).toJson(QJsonDocument::Compact);

    if (!http_)
        throw AIServiceError(AIServiceError::Case::networkError);
    const HttpClient::Result result = co_await http_->post(request, body, requestTimeout);
    if (result.failure == HttpClient::Result::Failure::timeout)
        throw AIServiceError(AIServiceError::Case::timeout);
    // No model's answer is that long; whatever was sent is not kept, let alone read.
    if (result.failure == HttpClient::Result::Failure::tooLarge)
        throw AIServiceError(AIServiceError::Case::invalidResponse);
    if (result.failure != HttpClient::Result::Failure::none || !result.status)
        throw AIServiceError(AIServiceError::Case::networkError);
    if (*result.status != 200) {
        Log::line(QStringLiteral("❌ [OpenAIAnalyzer.makeAPICall] API error - status: ") +
                  QString::number(*result.status) + QStringLiteral(", body: ") +
                  bodyExcerpt(result.body, 300, key));
        throw AIServiceError::apiError(*result.status);
    }
    const std::optional<QString> reply = outputText(readJson(result.body));
    if (!reply) {
        Log::line(QStringLiteral(
                      "❌ [OpenAIAnalyzer.makeAPICall] Failed to parse response structure. Raw: ") +
                  bodyExcerpt(result.body, 500, key));
        throw AIServiceError(AIServiceError::Case::invalidResponse);
    }
    co_return *reply;
}

ContentAnalysis OpenAIAnalyzer::parseResponse(const QString& reply) {
    static const QString fenceOpener = QStringLiteral("```json");
    QString text = reply.trimmed();
    if (text.startsWith(fenceOpener)) {
        text.remove(fenceOpener).remove(QStringLiteral("```"));
        text = text.trimmed();
    }
    const QJsonDocument document = readJson(text.toUtf8());
    if (!document.isObject())
        throw AIServiceError(AIServiceError::Case::invalidResponse);
    const QJsonObject object = document.object();

    ContentAnalysis analysis;
    const QJsonValue category = object.value(QStringLiteral("category"));
    analysis.category = itemCategoryFromRaw(category.isString() ? category.toString()
                                                                : QStringLiteral("Uncategorized"))
                            .value_or(ItemCategory::uncategorized);
    analysis.title = trimmedNonEmpty(object.value(QStringLiteral("title")));
    const QJsonValue description = object.value(QStringLiteral("description"));
    analysis.description =
        description.isString() ? description.toString() : QStringLiteral("No description");
    analysis.tags = stringList(object.value(QStringLiteral("tags")));
    analysis.customCategory = trimmedNonEmpty(object.value(QStringLiteral("customCategory")));
    analysis.confidence = 0.85;
    return analysis;
}

QCoro::Task<ContentAnalysis> OpenAIAnalyzer::ask(QString systemPrompt, QJsonArray userParts,
                                                 QString apiKey, QUrl endpoint) {
    const QString reply =
        co_await makeAPICall(messages(systemPrompt, userParts), model, apiKey, endpoint);
    co_return parseResponse(reply);
}

QCoro::Task<ContentAnalysis> OpenAIAnalyzer::analyzeText(KippetItem item, QString apiKey,
                                                         std::optional<QString> customInstructions,
                                                         QUrl endpoint) {
    const std::optional<QString> text = decodeUtf8(item.content);
    if (!text)
        throw AIServiceError(AIServiceError::Case::invalidContent);
    // Built before the await: GCC mishandles brace-initialised temporaries inside co_await.
    const QJsonArray user = parts({textPart(OpenAIPrompts::textUser(*text))});
    co_return co_await ask(
        OpenAIPrompts::withInstructions(OpenAIPrompts::textSystem(), customInstructions), user,
        apiKey, endpoint);
}

QCoro::Task<ContentAnalysis> OpenAIAnalyzer::analyzeCode(KippetItem item, QString apiKey,
                                                         std::optional<QString> customInstructions,
                                                         QUrl endpoint) {
    const std::optional<QString> code = decodeUtf8(item.content);
    if (!code)
        throw AIServiceError(AIServiceError::Case::invalidContent);
    const QJsonArray user = parts({textPart(OpenAIPrompts::codeUser(*code))});
    co_return co_await ask(
        OpenAIPrompts::withInstructions(OpenAIPrompts::codeSystem(), customInstructions), user,
        apiKey, endpoint);
}

QCoro::Task<ContentAnalysis> OpenAIAnalyzer::analyzeImage(KippetItem item, QString apiKey,
                                                          std::optional<QString> customInstructions,
                                                          QUrl endpoint) {
    const QString dataUrl =
        QStringLiteral("data:") + item.metadata.mimeType.value_or(QStringLiteral("image/png")) +
        QStringLiteral(";base64,") + QString::fromLatin1(item.content.toBase64());
    const QJsonArray user = parts({textPart(OpenAIPrompts::imageUser()), imagePart(dataUrl)});
    co_return co_await ask(
        OpenAIPrompts::withInstructions(OpenAIPrompts::imageSystem(), customInstructions), user,
        apiKey, endpoint);
}

QCoro::Task<ContentAnalysis> OpenAIAnalyzer::analyzeFile(KippetItem item, QString apiKey,
                                                         std::optional<QString> customInstructions,
                                                         QUrl endpoint) {
    // Without a sorting rule there is nothing the name alone tells the model that the next
    // analyzer of the chain cannot; only the name and extension are ever sent, never the bytes.
    if (!customInstructions)
        throw AIServiceError(AIServiceError::Case::unsupportedFeature);
    const QString user = OpenAIPrompts::fileUser(item.metadata.name,
                                                 item.metadata.fileExtension.value_or(QString()));
    const QJsonArray userParts = parts({textPart(user)});
    co_return co_await ask(
        OpenAIPrompts::withInstructions(OpenAIPrompts::fileSystem(), customInstructions), userParts,
        apiKey, endpoint);
}

QCoro::Task<ContentAnalysis> OpenAIAnalyzer::analyzeLink(KippetItem item, QString apiKey,
                                                         std::optional<QString> customInstructions,
                                                         QUrl endpoint) {
    const QString urlString = item.metadata.urlString.value_or(QString());
    const QUrl url(urlString, QUrl::StrictMode);
    if (!item.metadata.urlString || !url.isValid())
        throw AIServiceError(AIServiceError::Case::invalidContent);
    const QString scheme = url.scheme().toLower();
    if (scheme != QStringLiteral("http") && scheme != QStringLiteral("https"))
        throw AIServiceError(AIServiceError::Case::unsupportedURLScheme);
    // The answer for a link the model cannot be asked about is the classifier's answer.
    const ContentAnalysis fallback = heuristicAnalysis(item);
    if (!http_) {
        logFetchFailure(AIServiceError(AIServiceError::Case::networkError).errorDescription());
        co_return fallback;
    }

    QNetworkRequest request(url);
    request.setRawHeader("Range", "bytes=0-" + QByteArray::number(pageByteLimit - 1));
    const HttpClient::Result page =
        co_await http_->fetchPrefix(request, pageByteLimit, pageFetchTimeout);
    if (page.failure != HttpClient::Result::Failure::none) {
        logFetchFailure(page.errorText);
        co_return fallback;
    }
    const std::optional<PageMetadata> read = PageMetadata::fromPage(page.body);
    if (!read)
        co_return fallback;
    const PageMetadata& metadata = *read;
    if (!metadata.title) {
        ContentAnalysis described = fallback;
        described.description = metadata.description.value_or(fallback.description);
        described.confidence = 0.7;
        co_return described;
    }

    const QString system =
        OpenAIPrompts::withInstructions(OpenAIPrompts::linkSystem(), customInstructions);
    const QJsonArray user = parts(
        {textPart(OpenAIPrompts::linkUser(urlString, *metadata.title, metadata.description))});
    ContentAnalysis analysis;
    try {
        analysis = co_await ask(system, user, apiKey, endpoint);
    } catch (const std::exception& error) {
        logFetchFailure(KippetsError::textOf(error));
        co_return fallback;
    }
    analysis.category = ItemCategory::links;
    co_return analysis;
}
