#include "dashboard/SettingsTabView.h"

#include "analysis/AIPreferences.h"
#include "analysis/KeychainStore.h"
#include "analysis/LocalModelServer.h"
#include "analysis/OpenAIAnalyzer.h"
#include "app/SyncAvailability.h"
#include "app/Workspace.h"
#include "dashboard/SegmentedControl.h"
#include "dashboard/SettingsIconTile.h"
#include "dashboard/SettingsSection.h"
#include "dashboard/SettingsStatusRow.h"
#include "model/ICloudSyncSetting.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "ui/SlideReveal.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QCryptographicHash>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {
const QString checking = QStringLiteral("Checking…");

// The picker's segments, in order.
const QList<AIMode> modeSegments = {AIMode::onDevice, AIMode::byok, AIMode::off};

void setSecondary(QLabel* label) {
    QPalette colors = label->palette();
    colors.setColor(QPalette::WindowText, Theme::secondary(label->palette()));
    label->setPalette(colors);
}
} // namespace

SettingsTabView::SettingsTabView(SettingsServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)),
      // The first mode waits for the keyring's answer rather than be fixed on a guess.
      preferences_(
          new AIPreferences(*services_.preferences, OpenAIAnalyzer::defaultKeyPresence(), this)),
      onDeviceStatusLabel_(checking), iCloudSyncEnabled_(isICloudSyncEnabled()) {
    setObjectName(QStringLiteral("SettingsTabView"));
    buildForm();
    followPreferences();
    connect(preferences_, &AIPreferences::modeChanged, this, [this] {
        // The manager decides by itself whether anything is to be redone.
        if (services_.manager)
            services_.manager->reanalyzeAll();
        showMode();
        updateOnDeviceStatus();
    });
    if (services_.localModel)
        connect(services_.localModel, &LocalModelServer::probeAnswered, this,
                &SettingsTabView::updateOnDeviceStatus);
    if (services_.keychain) {
        connect(services_.keychain, &KeychainStore::presenceReadSettled, this, [this] {
            if (const std::optional<bool> presence = OpenAIAnalyzer::defaultKeyPresence())
                preferences_->settleFirstMode(*presence);
        });
        // The key a locked keyring kept from the tab can be shown once it is unlocked.
        connect(services_.keychain, &KeychainStore::keyringUnlocked, this, [this] {
            if (keyLocked_ && isVisible())
                loadStoredAPIKey();
        });
        // A keyring that left is back: keys can be stored again.
        connect(services_.keychain, &KeychainStore::keyringReturned, this, [this] {
            if (!std::exchange(noKeyring_, false))
                return;
            showAIStatus();
        });
    }
    showMode();
}

SettingsTabView::~SettingsTabView() {
    midnight_.cancel();
}

QString SettingsTabView::apiKeyHash(const QString& key) {
    if (key.isEmpty())
        return QString();
    return QString::fromLatin1(
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString SettingsTabView::onDeviceStatusText(std::optional<AnalyzerUnavailableReason> reason,
                                            const QString& model, const QString& address) {
    if (!reason)
        return QStringLiteral("Local model is available: %1 at %2").arg(model, address);
    switch (*reason) {
    case AnalyzerUnavailableReason::localModelNotRunning:
        return QStringLiteral("No local model server answers at %1 — start one to analyse content "
                              "on this computer")
            .arg(address);
    case AnalyzerUnavailableReason::modelNotReady:
        return QStringLiteral("The local model server at %1 offers no usable model — load one")
            .arg(address);
    case AnalyzerUnavailableReason::unknown:
        return QStringLiteral("The local model server at %1 gave an unexpected answer")
            .arg(address);
    default:
        return QStringLiteral("Not available on this device");
    }
}

QTime SettingsTabView::dailyKippetTime() const {
    return dailyTime_->time();
}

void SettingsTabView::buildForm() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(scroll_);
    content->setObjectName(QStringLiteral("SettingsForm"));
    form_ = new QVBoxLayout(content);
    form_->setContentsMargins(20, 20, 20, 20);
    form_->setSpacing(20);
    form_->addWidget(intelligenceSection());
    apiSection_ = new SettingsSection(QStringLiteral("Advanced — OpenAI"), 16, content);
    apiSection_->setObjectName(QStringLiteral("settings_apiKeySection"));
    if (!services_.about.apiKeysUrl.isEmpty()) {
        QLabel* footer = apiSection_->setFooter(
            QStringLiteral("Get your API key from <a href=\"%1\">OpenAI's website</a>")
                .arg(services_.about.apiKeysUrl.toString(QUrl::FullyEncoded).toHtmlEscaped()));
        footer->setObjectName(QStringLiteral("APIKeyFooter"));
        connect(footer, &QLabel::linkActivated, this, [this] {
            if (services_.workspace)
                services_.workspace->open(services_.about.apiKeysUrl);
        });
    }
    fillAPIKeySection();
    apiReveal_ = new SlideReveal(apiSection_, content);
    form_->addWidget(apiReveal_);
    form_->addWidget(iCloudSection());
    form_->addWidget(dailyKippetSection());
    form_->addWidget(appearanceSection());
    form_->addWidget(aboutSection());
    form_->addStretch(1);
    scroll_->setWidget(content);
    outer->addWidget(scroll_);
}

QWidget* SettingsTabView::headerRow(SettingsIconTile* tile, const QString& title,
                                    const QString& subtitle, QWidget* trailing,
                                    Qt::Alignment alignment) {
    auto* row = new QWidget(this);
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    line->setSpacing(8);
    line->addWidget(tile, 0, alignment);
    auto* texts = new QVBoxLayout();
    texts->setSpacing(2);
    auto* heading = new QLabel(title, row);
    heading->setFont(Theme::font(Theme::TextStyle::headline));
    texts->addWidget(heading);
    auto* caption = new QLabel(subtitle, row);
    caption->setObjectName(QStringLiteral("HeaderSubtitle"));
    caption->setFont(Theme::font(Theme::TextStyle::caption));
    caption->setWordWrap(true);
    setSecondary(caption);
    texts->addWidget(caption);
    line->addLayout(texts, 1);
    if (trailing)
        line->addWidget(trailing, 0, alignment);
    return row;
}

void SettingsTabView::followPreferences() {
    // Preferences fire for unchanged values too; each handler shows what is stored.
    connect(services_.preferences, &Preferences::changed, this,
            &SettingsTabView::preferenceChanged);
}

void SettingsTabView::preferenceChanged(const QString& key) {
    if (key == AIPreferences::modeKey) {
        if (writingMode_)
            return;
        // Another part of the app (the tour) chose a mode: take it over as if picked here.
        const AIMode stored = aiModeFromRaw(services_.preferences->stringOr(key, QString()));
        if (stored != preferences_->mode()) {
            writingMode_ = true;
            preferences_->setMode(stored);
            writingMode_ = false;
        }
        showMode();
    } else if (key == QStringLiteral("api_key_verified") ||
               key == QStringLiteral("verified_api_key_hash")) {
        showKeyState();
    } else if (key == AIPreferences::preferCloudForImagesKey) {
        if (writingCloudImages_)
            return;
        const bool stored = services_.preferences->boolOr(key, false);
        if (stored != preferences_->preferCloudForImages()) {
            writingCloudImages_ = true;
            preferences_->setPreferCloudForImages(stored);
            writingCloudImages_ = false;
        }
        showKeyState();
    } else if (key == QStringLiteral("daily_kippet_enabled")) {
        showDailyKippet();
    } else if (key == QStringLiteral("kippet_tuck_cutout") ||
               key == QStringLiteral("kippet_tuck_monochrome")) {
        showAppearance();
    }
}

void SettingsTabView::hideEvent(QHideEvent* event) {
    // Leaving the tab or closing the window ends the typing: what the field holds is kept.
    commitTypedKey();
    QWidget::hideEvent(event);
}

void SettingsTabView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    loadStoredAPIKey();
    checkOnDeviceAvailability();
    refreshCreateButton();
    scheduleMidnightRefresh();
}

QCoro::Task<void> SettingsTabView::loadStoredAPIKey() {
    QPointer<SettingsTabView> self(this);
    std::optional<QString> stored;
    std::optional<QString> unreadable;
    bool locked = false;
    bool unanswered = false;
    bool noKeyring = false;
    if (services_.keychain) {
        keyReading_ = true;
        showAIStatus();
        try {
            stored = co_await services_.keychain->read(KeychainStore::apiKeyAccount);
        } catch (const KeychainError& error) {
            locked = error.isLocked();
            unanswered = !locked && error.status() == KeychainError::interactionNotAllowed;
            noKeyring = error.status() == KeychainError::notAvailable;
            unreadable = error.detail().isEmpty() ? error.errorDescription() : error.detail();
        }
    }
    if (!self)
        co_return;
    keyReading_ = false;
    // A read that succeeds takes back what a failed one said; messages of saves stay.
    if (!unreadable && readError_ && saveError_ == readError_)
        saveError_.reset();
    readError_.reset();
    // A key being typed or written is newer than what the keyring answered.
    if (writing_ || pendingWrite_ || typedKey_) {
        apiKeyLoaded_ = true;
        showAIStatus();
        emit apiKeyLoaded();
        co_return;
    }
    keyLocked_ = locked;
    noKeyring_ = noKeyring;
    // A keyring that did not answer may hold a key; one that is not there holds none.
    keyUnreadable_ = unanswered ? unreadable : std::nullopt;
    // Nothing is known of the stored key: the field keeps what it holds, and nothing is written
    // or removed for a change the user did not make.
    if (unreadable) {
        saveError_ = locked ? lockedKeyMessage
                            : QStringLiteral("Failed to read the stored API key: ") + *unreadable;
        readError_ = saveError_;
        apiKeyLoaded_ = true;
        showAIStatus();
        showKeyState();
        emit apiKeyLoaded();
        co_return;
    }
    // Writing back what was just read is no change of the key.
    storedKey_ = stored;
    const QString key = stored.value_or(QString());
    if (keyField_->text() != key) {
        // Filling the field is no change of the key: nothing is written back, and no message.
        const QSignalBlocker blocker(keyField_);
        keyField_->setText(key);
    }
    apiKey_ = key;
    currentKeyHash_ = apiKeyHash(apiKey_);
    apiKeyLoaded_ = true;
    showAIStatus();
    showKeyState();
    emit apiKeyLoaded();
}

// Intelligence.

SettingsSection* SettingsTabView::intelligenceSection() {
    auto* section = new SettingsSection(QStringLiteral("Intelligence"), 16, this);
    section->setObjectName(QStringLiteral("settings_aiSection"));
    section->rows()->addWidget(
        headerRow(new SettingsIconTile(SymbolNames::sparkles, Theme::blue(), this),
                  QStringLiteral("AI Features"),
                  QStringLiteral("Choose how content is analyzed and categorized")));
    modePicker_ = new SegmentedControl(
        {QStringLiteral("On-device"), QStringLiteral("OpenAI (BYOK)"), QStringLiteral("Off")},
        this);
    modePicker_->setObjectName(QStringLiteral("settings_aiModePicker"));
    modePicker_->setAccessibleName(QStringLiteral("AI Mode"));
    connect(modePicker_, &SegmentedControl::activated, this, &SettingsTabView::modeChosen);
    section->rows()->addWidget(modePicker_);
    aiStatus_ = new SettingsStatusRow(this);
    aiStatus_->setObjectName(QStringLiteral("settings_aiStatusRow"));
    aiStatus_->setTrailing(openSettingsButton());
    section->rows()->addWidget(aiStatus_);
    offNote_ = new SettingsStatusRow(this);
    offNote_->setObjectName(QStringLiteral("settings_aiOffNote"));
    offNote_->setContent(SymbolNames::infoCircleFill, Theme::secondary(palette()),
                         QStringLiteral("Custom sorting instructions are ignored when AI is off."),
                         Theme::secondary(palette()));
    offNoteReveal_ = new SlideReveal(offNote_, this);
    section->rows()->addWidget(offNoteReveal_);
    return section;
}

QPushButton* SettingsTabView::openSettingsButton() {
    openSettings_ = new QPushButton(QStringLiteral("Open Settings"), this);
    openSettings_->setObjectName(QStringLiteral("OpenSettingsButton"));
    openSettings_->setFlat(true);
    openSettings_->setCursor(Qt::PointingHandCursor);
    openSettings_->setFont(Theme::font(Theme::TextStyle::caption));
    openSettings_->setStyleSheet(
        QStringLiteral("QPushButton { border: none; padding: 0; color: palette(highlight); }"));
    connect(openSettings_, &QPushButton::clicked, this, &SettingsTabView::openSiriSettings);
    return openSettings_;
}

void SettingsTabView::openSiriSettings() {
    // What sets up the on-device model here is a local model server; the help page tells how.
    if (services_.workspace && !services_.about.helpUrl.isEmpty())
        services_.workspace->open(services_.about.helpUrl);
}

void SettingsTabView::modeChosen(int index) {
    if (index < 0 || index >= modeSegments.size())
        return;
    writingMode_ = true;
    preferences_->setMode(modeSegments[index]);
    writingMode_ = false;
    showMode();
}

void SettingsTabView::showMode() {
    const AIMode mode = preferences_->mode();
    modePicker_->setCurrentIndex(static_cast<int>(modeSegments.indexOf(mode)));
    apiReveal_->setRevealed(mode == AIMode::byok);
    offNoteReveal_->setRevealed(mode == AIMode::off);
    showAIStatus();
}

void SettingsTabView::checkOnDeviceAvailability() {
    statusWanted_ = true;
    // A probe already under way answers for this one too.
    if (services_.localModel)
        services_.localModel->probe();
    updateOnDeviceStatus();
}

void SettingsTabView::updateOnDeviceStatus() {
    if (!statusWanted_ || !services_.localModel)
        return;
    LocalModelServer& server = *services_.localModel;
    if (!server.hasAnswered() || server.isProbing()) {
        onDeviceStatusLabel_ = checking;
        onDeviceAvailable_ = false;
    } else {
        // Every answer decides anew, so a server that stopped reads as unavailable.
        const std::optional<AnalyzerUnavailableReason> reason = server.unavailableReason();
        onDeviceAvailable_ = !reason.has_value();
        onDeviceStatusLabel_ =
            onDeviceStatusText(reason, server.modelName(), server.baseUrl().toString());
    }
    showAIStatus();
}

void SettingsTabView::showAIStatus() {
    const QColor secondary = Theme::secondary(palette());
    // Hidden, as the other links, when the build names no help page.
    openSettings_->setVisible(preferences_->mode() == AIMode::onDevice && !onDeviceAvailable_ &&
                              !services_.about.helpUrl.isEmpty());
    switch (preferences_->mode()) {
    case AIMode::onDevice:
        if (onDeviceAvailable_)
            aiStatus_->setContent(SymbolNames::checkmarkCircleFill, Theme::green(),
                                  onDeviceStatusLabel_, Theme::green());
        else
            aiStatus_->setContent(SymbolNames::exclamationmarkTriangleFill, Theme::orange(),
                                  onDeviceStatusLabel_, Theme::orange());
        break;
    case AIMode::byok:
        // The key the keyring holds, not the field's text: a key that could not be saved is no
        // key the analysis can use.
        if (storedKey_ && !storedKey_->isEmpty())
            aiStatus_->setContent(
                SymbolNames::keyFill, Theme::green(),
                QStringLiteral("OpenAI key configured — configure details below."), Theme::green());
        else if (keyReading_ && !storedKey_)
            // The keyring may be slow: the status follows its answer.
            aiStatus_->setContent(SymbolNames::keyFill, secondary,
                                  QStringLiteral("Reading the stored OpenAI key from the keyring…"),
                                  secondary);
        else if (keyLocked_)
            // A key is stored; asking for one would send the user to replace it.
            aiStatus_->setContent(
                SymbolNames::lockShieldFill, Theme::orange(),
                QStringLiteral("The keyring is locked, so the stored OpenAI key could not be read. "
                               "Unlock the login keyring in your desktop's keyring tool (such as "
                               "Passwords and Keys); items wait for analysis until then."),
                Theme::orange());
        else if (noKeyring_)
            aiStatus_->setContent(SymbolNames::exclamationmarkTriangleFill, Theme::orange(),
                                  QStringLiteral("No keyring is running — the OpenAI key cannot be "
                                                 "stored. Start a keyring such as GNOME Keyring "
                                                 "or KWallet."),
                                  Theme::orange());
        else if (keyUnreadable_)
            aiStatus_->setContent(SymbolNames::exclamationmarkTriangleFill, Theme::orange(),
                                  QStringLiteral("The stored OpenAI key could not be read: ") +
                                      *keyUnreadable_,
                                  Theme::orange());
        else
            aiStatus_->setContent(SymbolNames::keyFill, Theme::orange(),
                                  QStringLiteral("Enter your OpenAI API key in the section below."),
                                  Theme::orange());
        break;
    case AIMode::off:
        aiStatus_->setContent(SymbolNames::xmarkCircleFill, secondary,
                              QStringLiteral("AI is off. Items are organized by file type."),
                              secondary);
        break;
    }
}
