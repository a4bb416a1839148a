// The settings tab's cloud API key section: the key is checked and kept in the keyring once typing
// pauses, tested against the endpoint, and remembered as verified by its digest.
#include "analysis/AIPreferences.h"
#include "analysis/HttpClient.h"
#include "analysis/KeychainError.h"
#include "analysis/KeychainStore.h"
#include "analysis/OpenAIAnalyzer.h"
#include "analysis/PerceivedText.h"
#include "dashboard/BusyButton.h"
#include "dashboard/SettingsIconTile.h"
#include "dashboard/SettingsSection.h"
#include "dashboard/SettingsStatusRow.h"
#include "dashboard/SettingsSwitch.h"
#include "dashboard/SettingsTabView.h"
#include "platform/ClockTimer.h"
#include "platform/KippetsError.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkRequest>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
const QString verifiedKey = QStringLiteral("api_key_verified");
const QString verifiedHashKey = QStringLiteral("verified_api_key_hash");
const QString formatMessage =
    QStringLiteral("Invalid API key format. OpenAI keys start with 'sk-'");

// The key as the cloud analyzer sends it; none for a key that cannot be sent.
std::optional<QString> sendableKey(const QString& key) {
    try {
        return OpenAIAnalyzer::usableKey(key);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// Transfers that never reached a server: the network itself is missing. A socket with no route
// to any network ("Network unreachable") is the one Qt reports as an unknown network error.
bool noConnection(const HttpClient::Result& result) {
    switch (result.transferError) {
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::UnknownNetworkError:
        return true;
    default:
        return false;
    }
}

// An exchange that ended with no HTTP answer because the endpoint does not speak HTTP: an
// address of another scheme, which Qt refuses as a protocol it does not know. A server answering
// bytes that are not HTTP does not end here: Qt reports that as a connection closed on it.
bool notHttp(const HttpClient::Result& result) {
    const int code = static_cast<int>(result.transferError);
    return !result.status && result.failure == HttpClient::Result::Failure::network &&
           (code == QNetworkReply::NoError || (code >= QNetworkReply::ProtocolUnknownError &&
                                               code <= QNetworkReply::ProtocolFailure));
}

QString apiErrorDetail(int status, const QByteArray& body) {
    QString detail = QStringLiteral("HTTP %1").arg(status);
    const QJsonValue error = QJsonDocument::fromJson(body).object().value(QStringLiteral("error"));
    const QJsonValue message = error.toObject().value(QStringLiteral("message"));
    if (error.isObject() && message.isString())
        detail += QStringLiteral(": ") + message.toString();
    return detail;
}
} // namespace

bool SettingsTabView::isWellFormedKey(const QString& key) {
    if (key.isEmpty())
        return false;
    const std::optional<QString> sendable = sendableKey(key);
    return sendable && sendable->startsWith(QStringLiteral("sk-")) &&
           PerceivedText::length(*sendable) > 20;
}

bool SettingsTabView::isKeyVerified() const {
    return services_.preferences->boolOr(verifiedKey, false) &&
           currentKeyHash_ == services_.preferences->stringOr(verifiedHashKey, QString());
}

QColor SettingsTabView::apiKeyBorderColor(const QString& key) const {
    if (key.isEmpty())
        return Theme::withAlpha(Theme::secondary(palette()), 0.2);
    if (isKeyVerified())
        return Theme::withAlpha(Theme::green(), 0.5);
    if (isWellFormedKey(key))
        return Theme::withAlpha(Theme::green(), 0.3);
    return Theme::withAlpha(Theme::red(), 0.3);
}

void SettingsTabView::fillAPIKeySection() {
    QVBoxLayout* rows = apiSection_->rows();
    rows->addWidget(headerRow(new SettingsIconTile(SymbolNames::keyFill, Theme::blue(), this),
                              QStringLiteral("OpenAI API Key"),
                              QStringLiteral("Used for AI-powered analysis via GPT-4o")));
    rows->addWidget(keyRow());

    testButton_ = new BusyButton(this);
    testButton_->setObjectName(QStringLiteral("byok_testButton"));
    testButton_->setBusyTitle(QStringLiteral("Testing…"));
    connect(testButton_, &QPushButton::clicked, this, &SettingsTabView::testConnection);
    auto* buttonLine = new QHBoxLayout();
    buttonLine->addWidget(testButton_);
    buttonLine->addStretch(1);
    rows->addLayout(buttonLine);

    auto messageRow = [this, rows](const QString& name) {
        auto* row = new SettingsStatusRow(this);
        row->setObjectName(name);
        rows->addWidget(row);
        return row;
    };
    saveErrorRow_ = messageRow(QStringLiteral("APIKeySaveError"));
    saveSuccessRow_ = messageRow(QStringLiteral("APIKeySaveSuccess"));
    testResultRow_ = messageRow(QStringLiteral("APIKeyTestResult"));
    verifiedRow_ = messageRow(QStringLiteral("APIKeyVerifiedRow"));
    verifiedRow_->setContent(SymbolNames::checkmarkShieldFill, Theme::green(),
                             QStringLiteral("API key verified and working"), Theme::green(),
                             Theme::green());

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    QPalette lineColors = line->palette();
    lineColors.setColor(QPalette::WindowText, Theme::withAlpha(Theme::primary(palette()), 0.12));
    line->setPalette(lineColors);
    cloudImagesDivider_ = line;
    rows->addWidget(line);
    cloudImagesRow_ = new QWidget(this);
    auto* cloudLine = new QHBoxLayout(cloudImagesRow_);
    cloudLine->setContentsMargins(0, 0, 0, 0);
    auto* texts = new QVBoxLayout();
    texts->setSpacing(2);
    auto* title = new QLabel(QStringLiteral("Prefer Cloud for Images"), cloudImagesRow_);
    title->setFont(Theme::font(Theme::TextStyle::subheadline));
    texts->addWidget(title);
    auto* caption = new QLabel(QStringLiteral("Use OpenAI instead of on-device image recognition "
                                              "for image analysis (higher quality, sends images "
                                              "to OpenAI)"),
                               cloudImagesRow_);
    caption->setFont(Theme::font(Theme::TextStyle::caption));
    caption->setWordWrap(true);
    QPalette captionColors = caption->palette();
    captionColors.setColor(QPalette::WindowText, Theme::secondary(palette()));
    caption->setPalette(captionColors);
    texts->addWidget(caption);
    cloudLine->addLayout(texts, 1);
    preferCloudImages_ = new SettingsSwitch(cloudImagesRow_);
    preferCloudImages_->setObjectName(QStringLiteral("byok_preferCloudImages"));
    preferCloudImages_->setAccessibleName(title->text());
    connect(preferCloudImages_, &QCheckBox::clicked, this, [this](bool prefer) {
        writingCloudImages_ = true;
        preferences_->setPreferCloudForImages(prefer);
        writingCloudImages_ = false;
    });
    cloudLine->addWidget(preferCloudImages_, 0, Qt::AlignVCenter);
    rows->addWidget(cloudImagesRow_);

    auto* note = new SettingsStatusRow(this);
    note->setObjectName(QStringLiteral("APIKeyKeyringNote"));
    note->setContent(SymbolNames::lockShieldFill, Theme::secondary(palette()),
                     QStringLiteral("Your API key is stored securely in the system keyring and "
                                    "never shared."),
                     Theme::secondary(palette()));
    rows->addWidget(note);

    saveSuccessTimer_ = services_.clock->createTimer(this);
    saveSuccessTimer_->setSingleShot(true);
    saveSuccessTimer_->setInterval(saveMessageTime);
    connect(saveSuccessTimer_, &ClockTimer::timeout, this, [this] {
        saveSuccess_.reset();
        showKeyState();
    });
    testResultTimer_ = services_.clock->createTimer(this);
    testResultTimer_->setSingleShot(true);
    testResultTimer_->setInterval(testMessageTime);
    connect(testResultTimer_, &ClockTimer::timeout, this, [this] {
        testResult_.reset();
        showKeyState();
    });
    typingTimer_ = services_.clock->createTimer(this);
    typingTimer_->setSingleShot(true);
    typingTimer_->setInterval(typingPause);
    connect(typingTimer_, &ClockTimer::timeout, this, &SettingsTabView::typingPaused);
    retryTimer_ = services_.clock->createTimer(this);
    retryTimer_->setSingleShot(true);
    retryTimer_->setInterval(retryDelay);
    connect(retryTimer_, &ClockTimer::timeout, this, [this] {
        if (!keyChangedSinceRetry_ || !services_.manager)
            return;
        keyChangedSinceRetry_ = false;
        services_.manager->retryWaitingAnalyses();
    });
    showKeyState();
}

QWidget* SettingsTabView::keyRow() {
    auto* row = new QWidget(this);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(8);
    keyField_ = new QLineEdit(row);
    keyField_->setObjectName(QStringLiteral("byok_keyField"));
    keyField_->setPlaceholderText(QStringLiteral("Enter your API key (sk-...)"));
    keyField_->setEchoMode(QLineEdit::Password);
    connect(keyField_, &QLineEdit::textChanged, this, &SettingsTabView::handleAPIKeyChange);
    connect(keyField_, &QLineEdit::returnPressed, this, &SettingsTabView::commitTypedKey);
    keyField_->installEventFilter(this);
    line->addWidget(keyField_, 1);
    showKey_ = new QToolButton(row);
    showKey_->setObjectName(QStringLiteral("byok_showKeyButton"));
    showKey_->setAutoRaise(true);
    showKey_->setFixedSize(20, 20);
    showKey_->setCursor(Qt::PointingHandCursor);
    connect(showKey_, &QToolButton::clicked, this, [this] {
        // One field either way, so the text is kept.
        keyField_->setEchoMode(keyField_->echoMode() == QLineEdit::Password ? QLineEdit::Normal
                                                                            : QLineEdit::Password);
        showKeyState();
    });
    line->addWidget(showKey_);
    verifiedMark_ = new QLabel(row);
    verifiedMark_->setObjectName(QStringLiteral("byok_verifiedMark"));
    verifiedMark_->setPixmap(
        Theme::symbol(SymbolNames::checkmarkCircleFill, Theme::green(), 15, devicePixelRatioF()));
    verifiedMark_->setToolTip(QStringLiteral("API key verified"));
    line->addWidget(verifiedMark_);
    return row;
}

void SettingsTabView::handleAPIKeyChange(const QString& key) {
    apiKey_ = key;
    currentKeyHash_ = apiKeyHash(key);
    if (currentKeyHash_ != services_.preferences->stringOr(verifiedHashKey, QString()))
        services_.preferences->setBool(verifiedKey, false);
    // A key half typed is neither saved nor judged: a save can raise the keyring's unlock prompt,
    // which takes the keyboard, and the rest of the key would go into its password field. The
    // messages of the text before go at once.
    saveError_.reset();
    saveSuccess_.reset();
    testResult_.reset();
    typedKey_ = key;
    typingTimer_->restart();
    showKeyState();
}

void SettingsTabView::commitTypedKey() {
    typingTimer_->stop();
    if (const std::optional<QString> key = std::exchange(typedKey_, std::nullopt))
        saveAPIKey(*key);
    else if (pendingWrite_ && !pendingMayPrompt_)
        // The pause's write has not begun: it goes on as one the user asked for.
        pendingMayPrompt_ = true;
    else if (unpromptedWrite_ && !pendingWrite_)
        // The pause's write may find the keyring locked and keep the key back: the key is asked
        // for now, and written once that write ends.
        writeKey(*unpromptedWrite_);
}

void SettingsTabView::typingPaused() {
    // A pause is no sign that the key is complete (one copied from a phone or paper is typed in
    // parts): it saves only what needs no unlock prompt, which would take the rest of the key.
    if (const std::optional<QString> key = std::exchange(typedKey_, std::nullopt))
        saveAPIKey(*key, false);
}

bool SettingsTabView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == keyField_ && event->type() == QEvent::FocusOut) {
        // The user moved on within the window. Another window taking the focus (a prompt among
        // them) is no sign that the key is complete.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            commitTypedKey();
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsTabView::saveAPIKey(const QString& key, bool mayPrompt) {
    saveError_.reset();
    saveSuccess_.reset();
    testResult_.reset();
    if (key.isEmpty())
        writeKey(std::nullopt);
    else if (isWellFormedKey(key))
        // The keyring keeps the text as typed; only what is sent is trimmed.
        writeKey(key, mayPrompt);
    else
        saveError_ = formatMessage;
    showKeyState();
}

void SettingsTabView::writeKey(std::optional<QString> value, bool mayPrompt) {
    pendingWrite_ = std::move(value);
    pendingMayPrompt_ = mayPrompt;
    if (!writing_)
        runKeyWrites();
}

QCoro::Task<void> SettingsTabView::runKeyWrites() {
    QPointer<SettingsTabView> self(this);
    writing_ = true;
    while (pendingWrite_) {
        const std::optional<QString> value = *pendingWrite_;
        const bool mayPrompt = std::exchange(pendingMayPrompt_, true);
        pendingWrite_.reset();
        std::optional<QString> failure;
        bool locked = false;
        bool noKeyring = false;
        bool keptBack = false;
        KeychainStore* keychain = services_.keychain;
        try {
            if (!keychain)
                throw KeychainError(value ? KeychainError::Case::saveFailed
                                          : KeychainError::Case::deleteFailed,
                                    KeychainError::notAvailable);
            if (value && !mayPrompt) {
                unpromptedWrite_ = value;
                keptBack = !co_await keychain->saveUnprompted(KeychainStore::apiKeyAccount, *value);
            } else if (value) {
                co_await keychain->save(KeychainStore::apiKeyAccount, *value);
            } else {
                co_await keychain->remove(KeychainStore::apiKeyAccount);
            }
        } catch (const KeychainError& error) {
            failure = error.detail();
            locked = error.isLocked();
            noKeyring = error.status() == KeychainError::notAvailable;
        }
        if (!self)
            co_return;
        unpromptedWrite_.reset();
        if (keptBack) {
            // The keyring is locked: the key waits, as typed text, for Return, the field losing
            // focus or the tab hidden; a newer text or write takes its place.
            if (!pendingWrite_ && !typedKey_)
                typedKey_ = value;
            continue;
        }
        if (noKeyring_ != noKeyring) {
            noKeyring_ = noKeyring;
            showAIStatus();
        }
        // A newer text waits: only its outcome is shown. A locked keyring refused this text and
        // would refuse the newer one as well (the key store asks nobody twice): it is shown now.
        if (locked)
            pendingWrite_.reset();
        if (!pendingWrite_)
            keyWritten(value, failure, locked);
        else if (!failure) {
            if (value && storedKey_ != value)
                keyChangedSinceRetry_ = true;
            storedKey_ = value;
            showAIStatus();
        }
    }
    writing_ = false;
}

void SettingsTabView::keyWritten(const std::optional<QString>& value,
                                 const std::optional<QString>& failure, bool locked) {
    if (failure) {
        const QString base = value ? QStringLiteral("Failed to save API key securely")
                                   : QStringLiteral("Failed to remove API key");
        if (locked) {
            keyLocked_ = true;
            saveError_ = base +
                         QStringLiteral(": the keyring is locked. Unlock the login keyring "
                                        "in your desktop's keyring tool (such as Passwords "
                                        "and Keys), then ") +
                         (value ? QStringLiteral("enter the key again.")
                                : QStringLiteral("clear the field again."));
            showAIStatus();
        } else {
            saveError_ = failure->isEmpty() ? base : base + QStringLiteral(": ") + *failure;
        }
        showKeyState();
        return;
    }
    const bool changed = storedKey_ != value;
    keyLocked_ = false;
    keyUnreadable_.reset();
    storedKey_ = value;
    showAIStatus();
    if (!value) {
        setVerified(false, QString());
        saveSuccess_ = QStringLiteral("API key removed");
    } else {
        saveSuccess_ = QStringLiteral("API key saved successfully");
        // Analyses waiting for a key are retried once typing has stopped, and only for a key
        // that is new to the keyring.
        keyChangedSinceRetry_ = keyChangedSinceRetry_ || changed;
        if (keyChangedSinceRetry_)
            retryTimer_->restart();
    }
    saveSuccessTimer_->restart();
    showKeyState();
}

void SettingsTabView::setVerified(bool verified, const std::optional<QString>& keyHash) {
    services_.preferences->setBool(verifiedKey, verified);
    if (keyHash)
        services_.preferences->setString(verifiedHashKey, *keyHash);
}

void SettingsTabView::testConnection() {
    if (apiKey_.isEmpty() || !sendableKey(apiKey_))
        return;
    // The key tested is the key kept.
    commitTypedKey();
    testing_ = true;
    testResult_.reset();
    saveError_.reset();
    saveSuccess_.reset();
    showKeyState();
    // The key and its digest as sent: the answer speaks for this key only.
    performConnectionTest(apiKey_, currentKeyHash_);
}

QCoro::Task<void> SettingsTabView::performConnectionTest(QString key, QString keyHash) {
    QPointer<SettingsTabView> self(this);
    QNetworkRequest request(OpenAIAnalyzer::defaultEndpoint());
    request.setRawHeader("Authorization",
                         "Bearer " + sendableKey(key).value_or(QString()).toUtf8());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    const QJsonObject body{
        {QStringLiteral("model"), OpenAIAnalyzer::model},
        {QStringLiteral("input"),
         OpenAIAnalyzer::messages(QStringLiteral("You are a helpful assistant."),
                                  QJsonArray{OpenAIAnalyzer::textPart(QStringLiteral("Say OK"))})},
        {QStringLiteral("temperature"), 0.7},
        {QStringLiteral("max_output_tokens"), 16}};
    const HttpClient::Result result = co_await HttpClient::shared().post(
        request, QJsonDocument(body).toJson(QJsonDocument::Compact), connectionTestTimeout);
    if (!self)
        co_return;
    if (notHttp(result)) {
        finishConnectionTest(key, keyHash,
                             {false, QStringLiteral("Unexpected response from server")}, false);
        co_return;
    }
    if (result.status) {
        switch (*result.status) {
        case 200:
            finishConnectionTest(key, keyHash,
                                 {true, QStringLiteral("Connection successful! API key is valid.")},
                                 true);
            co_return;
        case 401:
            finishConnectionTest(key, keyHash,
                                 {false, QStringLiteral("Invalid API key. Please check your key.")},
                                 false);
            co_return;
        case 429:
            finishConnectionTest(key, keyHash,
                                 {false, QStringLiteral("Rate limit exceeded. Try again later.")},
                                 std::nullopt);
            co_return;
        default:
            finishConnectionTest(key, keyHash,
                                 {false, QStringLiteral("API error: ") +
                                             apiErrorDetail(*result.status, result.body)},
                                 false);
            co_return;
        }
    }
    QString message;
    if (result.failure == HttpClient::Result::Failure::timeout)
        message = QStringLiteral("Connection timed out. Check your network.");
    else if (result.failure == HttpClient::Result::Failure::network && noConnection(result))
        message = QStringLiteral("No internet connection.");
    else if (result.failure == HttpClient::Result::Failure::network)
        message = QStringLiteral("Network error: ") + result.errorText;
    else
        message = QStringLiteral("Test failed: ") + result.errorText;
    finishConnectionTest(key, keyHash, {false, message}, false);
}

void SettingsTabView::finishConnectionTest(const QString& sentKey, const QString& sentHash,
                                           const TestResult& result, std::optional<bool> verified) {
    testing_ = false;
    // A reply for a key the field no longer holds only shows its message.
    if (verified && apiKey_ == sentKey)
        setVerified(*verified, *verified ? std::optional<QString>(sentHash) : std::nullopt);
    testResult_ = result;
    testResultTimer_->restart();
    showKeyState();
    emit connectionTestFinished();
}

void SettingsTabView::showKeyState() {
    if (!keyField_)
        return;
    const bool verified = isKeyVerified();
    const bool empty = apiKey_.isEmpty();
    const QColor outline = apiKeyBorderColor(apiKey_);
    const QColor fill = palette().color(QPalette::Base);
    keyField_->setPlaceholderText(
        keyLocked_ ? QStringLiteral("Keyring locked — the stored key could not be read")
                   : QStringLiteral("Enter your API key (sk-...)"));
    keyField_->setStyleSheet(
        QStringLiteral("QLineEdit { padding: 8px; background: %1; border: 1px solid %2;"
                       " border-radius: 6px; }")
            .arg(fill.name(QColor::HexArgb), outline.name(QColor::HexArgb)));
    const bool shown = keyField_->echoMode() == QLineEdit::Normal;
    showKey_->setIcon(Theme::buttonIcon(shown ? SymbolNames::eyeSlashFill : SymbolNames::eyeFill,
                                        Theme::secondary(palette())));
    showKey_->setToolTip(shown ? QStringLiteral("Hide API key") : QStringLiteral("Show API key"));
    verifiedMark_->setVisible(verified && !empty);

    testButton_->setVisible(isWellFormedKey(apiKey_));
    testButton_->setEnabled(!testing_);
    if (verified)
        testButton_->setLabel(QStringLiteral("Re-test Connection"),
                              Theme::buttonIcon(SymbolNames::checkmarkCircleFill, Theme::green()));
    else
        testButton_->setLabel(
            QStringLiteral("Test Connection"),
            Theme::buttonIcon(SymbolNames::checkmarkCircle, Theme::primary(palette())));
    testButton_->setBusy(testing_);

    saveErrorRow_->setVisible(saveError_.has_value());
    if (saveError_)
        saveErrorRow_->setContent(SymbolNames::exclamationmarkTriangleFill, Theme::red(),
                                  *saveError_, Theme::red(), Theme::red());
    saveSuccessRow_->setVisible(saveSuccess_.has_value());
    if (saveSuccess_)
        saveSuccessRow_->setContent(SymbolNames::checkmarkCircleFill, Theme::green(), *saveSuccess_,
                                    Theme::green(), Theme::green());
    testResultRow_->setVisible(testResult_.has_value());
    if (testResult_) {
        const QColor color = testResult_->success ? Theme::green() : Theme::red();
        testResultRow_->setContent(testResult_->success ? SymbolNames::checkmarkCircleFill
                                                        : SymbolNames::xmarkCircleFill,
                                   color, testResult_->message, color, color);
    }
    verifiedRow_->setVisible(verified && !empty && !testResult_);

    cloudImagesDivider_->setVisible(!empty);
    cloudImagesRow_->setVisible(!empty);
    preferCloudImages_->setChecked(preferences_->preferCloudForImages());
}
