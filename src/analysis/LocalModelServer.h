#pragma once

#include "analysis/AnalyzerID.h"
#include "analysis/HttpClient.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <chrono>
#include <optional>

// The local model server (llama.cpp, Ollama, LM Studio, vLLM: anything that speaks the
// OpenAI-compatible chat API) as the app sees it: where it is, which model to use, and whether it
// answered the last probe of <base>/models. Availability must be answered synchronously, so it
// comes from the last probe; probes run in the background at start, when the analysis mode or the
// server settings change, and when the last answer has grown stale. GUI thread only.
class LocalModelServer : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds maxAnswerAge{30};
    static constexpr std::chrono::seconds probeTimeout{5};

    // Starts the first probe at once.
    explicit LocalModelServer(QObject* parent = nullptr);
    ~LocalModelServer() override;

    static LocalModelServer& shared();
    static void install(LocalModelServer* server);

    // KIPPETS_LOCAL_MODEL_URL, else the preference "local_model_url", else Ollama's address.
    static QUrl resolveBaseUrl();
    // KIPPETS_LOCAL_MODEL, else the preference "local_model_name"; nothing when neither is set.
    static std::optional<QString> configuredModel();

    QUrl baseUrl() const { return resolveBaseUrl(); }
    // The configured model, else the first model the last successful probe listed.
    QString modelName() const;

    // The last probe's answer (absent reason: usable). Unavailable until a probe has answered.
    // A stale answer starts a new probe and is returned meanwhile.
    std::optional<AnalyzerUnavailableReason> unavailableReason();
    bool hasAnswered() const { return answeredAt_.isValid(); }
    bool isProbing() const { return probing_; }

    // Starts a probe unless one is already under way.
    void probe();
    // Resumes once a probe has answered, at once when one has: a request that comes before
    // the first answer waits for it (at most the probe's time-out) rather than take the
    // server for absent.
    QCoro::Task<void> waitForFirstAnswer();

    // The app's network session when one is installed, else one of its own.
    HttpClient& http();

signals:
    void probeAnswered();

private:
    QCoro::Task<void> runProbe();
    std::optional<AnalyzerUnavailableReason> readAnswer(const HttpClient::Result& answer);
    void watchPreferences();

    HttpClient ownClient_;
    bool probing_ = false;
    std::optional<AnalyzerUnavailableReason> reason_ = AnalyzerUnavailableReason::unknown;
    QString listedModel_;
    QDateTime answeredAt_;
};
