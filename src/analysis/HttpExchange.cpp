#include "analysis/HttpExchange.h"

#include "platform/ClockTimer.h"

#include <algorithm>

namespace {
// Qt's network-layer errors (connection refused, closed, timed out, cancelled, ...): with them no
// complete answer arrived, even when a status line did. Everything from 100 up is Qt's name for
// an HTTP status, which we judge by the status itself.
bool isTransferError(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return code > 0 && code < 100;
}
} // namespace

HttpExchange::HttpExchange(QNetworkReply* reply, std::chrono::milliseconds idleTimeout,
                           qint64 maxBytes, Mode mode, qint64 uploadBytes, QObject* parent)
    : QObject(parent), reply_(reply), mode_(mode), maxBytes_(maxBytes), idleTimeout_(idleTimeout),
      drainAllowance_(
          std::chrono::seconds(std::max<qint64>(0, uploadBytes) / HttpClient::minimumDrainRate)),
      idle_(new ClockTimer(this)), ceiling_(new ClockTimer(this)) {
    idle_->setSingleShot(true);
    idle_->setInterval(idleTimeout);
    ceiling_->setSingleShot(true);
    ceiling_->setInterval(idleTimeout * HttpClient::ceilingFactor + drainAllowance_);
    const auto giveUp = [this] {
        timedOut_ = true;
        stop();
    };
    connect(idle_, &ClockTimer::timeout, this, giveUp);
    connect(ceiling_, &ClockTimer::timeout, this, giveUp);

    connect(reply, &QNetworkReply::uploadProgress, this, &HttpExchange::noteUpload);
    connect(reply, &QNetworkReply::downloadProgress, this, &HttpExchange::noteAnswer);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        noteAnswer();
        checkAnnouncedLength();
    });
    connect(reply, &QNetworkReply::readyRead, this, [this] {
        noteAnswer();
        readAvailable();
    });
    connect(reply, &QNetworkReply::finished, this, &HttpExchange::finish);
    idle_->start();
    ceiling_->start();
}

HttpExchange::~HttpExchange() {
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
}

void HttpExchange::noteActivity() {
    if (stopped_ || finished_)
        return;
    idle_->setInterval(idleInterval());
    idle_->restart();
    emit progressed();
}

void HttpExchange::noteUpload(qint64 sent, qint64 total) {
    if (total > 0 && sent >= total)
        bodyHandedOver_ = true;
    noteActivity();
}

void HttpExchange::noteAnswer() {
    answerStarted_ = true;
    noteActivity();
}

// Qt counts the body as sent once the system has taken it, and the system's buffers hold
// megabytes: a server may still be reading it long after the last upload progress, with no sign
// of that here. So from the body's hand-over to the answer's first byte the server is given the
// idle time-out plus the time the whole body takes at the slowest rate still counted as moving,
// in whole seconds: a body the system takes in one go is read as soon as it arrives.
std::chrono::milliseconds HttpExchange::idleInterval() const {
    if (bodyHandedOver_ && !answerStarted_)
        return idleTimeout_ + drainAllowance_;
    return idleTimeout_;
}

void HttpExchange::checkAnnouncedLength() {
    if (mode_ != Mode::whole || !reply_)
        return;
    // Refused at once, before a byte of it is read.
    const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > maxBytes_)
        refuse(HttpClient::Result::Failure::tooLarge,
               QStringLiteral("The response is larger than %1 bytes.").arg(maxBytes_));
}

void HttpExchange::readAvailable() {
    if (stopped_ || !reply_ || !reply_->isOpen())
        return;
    if (mode_ == Mode::whole)
        readWhole();
    else
        readPrefix();
}

void HttpExchange::readWhole() {
    while (!stopped_ && reply_->bytesAvailable() > 0) {
        body_.append(reply_->read(maxBytes_ + 1 - body_.size()));
        if (body_.size() > maxBytes_) {
            refuse(HttpClient::Result::Failure::tooLarge,
                   QStringLiteral("The response is larger than %1 bytes.").arg(maxBytes_));
            return;
        }
    }
}

bool HttpExchange::chooseDecoding() {
    if (decodingChosen_)
        return true;
    decodingChosen_ = true;
    const QByteArray encoding = reply_->rawHeader("Content-Encoding");
    if (BoundedInflater::isIdentity(encoding))
        return true;
    inflater_ = BoundedInflater::forEncoding(encoding);
    if (inflater_)
        return true;
    refuse(HttpClient::Result::Failure::undecodable,
           QStringLiteral("The page's content encoding \"%1\" is not supported.")
               .arg(QString::fromLatin1(encoding)));
    return false;
}

void HttpExchange::readPrefix() {
    if (!chooseDecoding())
        return;
    while (!stopped_ && reply_->bytesAvailable() > 0) {
        if (!inflater_) {
            body_.append(reply_->read(maxBytes_ - body_.size()));
        } else if (inflater_->feed(reply_->readAll(), body_, maxBytes_) ==
                   BoundedInflater::State::failed) {
            refuse(HttpClient::Result::Failure::undecodable,
                   QStringLiteral("The page's compressed content could not be inflated."));
            return;
        }
        if (body_.size() >= maxBytes_) {
            // Everything wanted is here: close the connection, whatever the server would send.
            capped_ = true;
            stop();
            return;
        }
    }
}

void HttpExchange::refuse(HttpClient::Result::Failure failure, const QString& text) {
    refusal_ = failure;
    refusalText_ = text;
    stop();
}

void HttpExchange::stop() {
    if (stopped_)
        return;
    stopped_ = true;
    idle_->stop();
    ceiling_->stop();
    if (reply_ && !reply_->isFinished())
        reply_->abort(); // finishes the reply, and with it the exchange
    else
        finish();
}

void HttpExchange::finish() {
    if (finished_)
        return;
    if (!stopped_)
        readAvailable(); // what arrived together with the end
    idle_->stop();
    ceiling_->stop();
    result_ = outcome();
    if (reply_)
        networkError_ = reply_->error();
    finished_ = true;
    emit finished();
}

HttpClient::Result HttpExchange::outcome() const {
    using Failure = HttpClient::Result::Failure;
    HttpClient::Result result;
    if (!reply_) {
        result.failure = Failure::network;
        result.errorText = QStringLiteral("The request was cancelled.");
        return result;
    }
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        result.status = status.toInt();
    if (capped_) {
        result.body = body_;
        result.truncated = true;
        return result;
    }
    if (refusal_) {
        result.failure = *refusal_;
        result.errorText = refusalText_;
        return result;
    }
    if (timedOut_) {
        result.failure = Failure::timeout;
        result.errorText = QStringLiteral("The request timed out.");
        return result;
    }
    if (!result.status || isTransferError(reply_->error())) {
        result.failure = Failure::network;
        result.transferError = reply_->error();
        result.errorText = reply_->errorString();
        return result;
    }
    result.body = body_;
    return result;
}
