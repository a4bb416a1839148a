#pragma once

#include "analysis/BoundedInflater.h"
#include "analysis/HttpClient.h"

#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <chrono>
#include <memory>

class ClockTimer;

// One request and its answer as HttpClient runs it: watches the bytes moving both ways for the
// idle time-out and the overall ceiling, reads the body as it arrives under its byte limit
// (inflating a compressed page prefix), and tells an HTTP answer from a failed transfer.
// Deletes its reply when it goes.
class HttpExchange : public QObject {
    Q_OBJECT
public:
    enum class Mode {
        // The whole body, refused (tooLarge) beyond the limit.
        whole,
        // The body's first bytes up to the limit, then the connection is closed.
        prefix
    };

    // uploadBytes: the size of the request's body, which sets how long the server is given to
    // take in what Qt has already handed to the system.
    HttpExchange(QNetworkReply* reply, std::chrono::milliseconds idleTimeout, qint64 maxBytes,
                 Mode mode, qint64 uploadBytes = 0, QObject* parent = nullptr);
    ~HttpExchange() override;

    bool isFinished() const { return finished_; }
    const HttpClient::Result& result() const { return result_; }
    // Qt's own error code for the transfer, as it ended.
    QNetworkReply::NetworkError networkError() const { return networkError_; }

signals:
    void progressed();
    void finished();

private:
    void noteActivity();
    void noteUpload(qint64 sent, qint64 total);
    void noteAnswer();
    std::chrono::milliseconds idleInterval() const;
    void readAvailable();
    void readWhole();
    void readPrefix();
    bool chooseDecoding();
    void checkAnnouncedLength();
    // Ends the exchange early; the outcome is already recorded.
    void stop();
    void refuse(HttpClient::Result::Failure failure, const QString& text);
    void finish();
    HttpClient::Result outcome() const;

    QPointer<QNetworkReply> reply_;
    Mode mode_;
    qint64 maxBytes_;
    std::chrono::milliseconds idleTimeout_;
    std::chrono::milliseconds drainAllowance_;
    bool bodyHandedOver_ = false;
    bool answerStarted_ = false;
    ClockTimer* idle_;
    ClockTimer* ceiling_;
    QByteArray body_;
    std::unique_ptr<BoundedInflater> inflater_;
    bool decodingChosen_ = false;
    bool stopped_ = false;
    bool timedOut_ = false;
    bool capped_ = false;
    std::optional<HttpClient::Result::Failure> refusal_;
    QString refusalText_;
    bool finished_ = false;
    QNetworkReply::NetworkError networkError_ = QNetworkReply::NoError;
    HttpClient::Result result_;
};
