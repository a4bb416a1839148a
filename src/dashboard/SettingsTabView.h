#pragma once

#include "analysis/AIMode.h"
#include "analysis/AnalyzerID.h"
#include "dashboard/SettingsServices.h"
#include "platform/Clock.h"

#include <QColor>
#include <QCoroTask>
#include <QPointer>
#include <QTime>
#include <QWidget>
#include <chrono>
#include <optional>

class AIPreferences;
class ClockTimer;
class QCheckBox;
class QLineEdit;
class QToolButton;
class QLabel;
class QPushButton;
class BusyButton;
class QScrollArea;
class QTimeEdit;
class QVBoxLayout;
class SegmentedControl;
class SettingsIconTile;
class SettingsSection;
class SettingsStatusRow;
class SlideReveal;

// The dashboard's "Settings" tab: one scrolling form of the analysis mode, the cloud API key,
// iCloud, the daily kippet, the look of tucked kippets and the About section. Fields bound to a
// preference follow every change of it, wherever it was made. GUI thread only.
class SettingsTabView : public QWidget {
    Q_OBJECT
public:
    explicit SettingsTabView(SettingsServices services, QWidget* parent = nullptr);
    ~SettingsTabView() override;

    // SHA-256 of the UTF-8 text as 64 lowercase hex digits; the empty text for an empty key.
    static QString apiKeyHash(const QString& key);
    // The status line for a local model server's answer (none: usable).
    static QString onDeviceStatusText(std::optional<AnalyzerUnavailableReason> reason,
                                      const QString& model, const QString& address);

    AIPreferences& preferences() const { return *preferences_; }
    QString apiKey() const { return apiKey_; }
    QString currentKeyHash() const { return currentKeyHash_; }
    QString onDeviceStatusLabel() const { return onDeviceStatusLabel_; }
    bool onDeviceAvailable() const { return onDeviceAvailable_; }
    bool iCloudSyncEnabled() const { return iCloudSyncEnabled_; }
    QTime dailyKippetTime() const;
    // The stored key has been read since the tab was last shown.
    bool isAPIKeyLoaded() const { return apiKeyLoaded_; }

    SettingsSection* apiKeySection() const { return apiSection_; }
    // The parts that come and go with a choice, each moving and fading in and out.
    SlideReveal* apiKeyReveal() const { return apiReveal_; }
    SlideReveal* offNoteReveal() const { return offNoteReveal_; }
    SlideReveal* dailyRowsReveal() const { return dailyRowsReveal_; }
    SlideReveal* iconStyleReveal() const { return iconStyleReveal_; }

    // The cloud API key section.
    struct TestResult {
        bool success = false;
        QString message;
    };
    // Not empty, and trimmed it begins with "sk-", has over 20 user-perceived characters and
    // no control character (it could not be sent in a header).
    static bool isWellFormedKey(const QString& key);
    bool isKeyVerified() const;
    QColor apiKeyBorderColor(const QString& key) const;
    bool isTestingConnection() const { return testing_; }
    std::optional<TestResult> testResult() const { return testResult_; }
    std::optional<QString> saveError() const { return saveError_; }
    std::optional<QString> saveSuccess() const { return saveSuccess_; }
    // No keyring write is under way or waiting, typed text included.
    bool isKeySettled() const { return !writing_ && !pendingWrite_ && !typedKey_; }
    // A keyring write is under way or waits; typed text that waits to be handed on is not one.
    bool isKeyWriting() const { return writing_ || pendingWrite_; }
    void testConnection();

    static constexpr std::chrono::seconds connectionTestTimeout{15};
    static constexpr std::chrono::seconds saveMessageTime{3};
    static constexpr std::chrono::seconds testMessageTime{5};
    static constexpr std::chrono::seconds retryDelay{1};
    // A typed key is kept once typing has paused this long, unless the keyring is locked (or on
    // Return, when the field loses focus within the window, or when the tab is hidden, locked
    // or not): a keyring that asks to be unlocked then takes no keys meant for the field.
    static constexpr std::chrono::milliseconds typingPause{1500};
    // Under the key field while the keyring is locked.
    static inline const QString lockedKeyMessage = QStringLiteral(
        "The keyring is locked, so the stored API key could not be read. Unlock the login "
        "keyring in your desktop's keyring tool (such as Passwords and Keys), then open Settings "
        "again.");

signals:
    void apiKeyLoaded();
    void connectionTestFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Frame.
    void buildForm();
    void followPreferences();
    void preferenceChanged(const QString& key);
    QWidget* headerRow(SettingsIconTile* tile, const QString& title, const QString& subtitle,
                       QWidget* trailing = nullptr, Qt::Alignment alignment = Qt::AlignVCenter);
    QCoro::Task<void> loadStoredAPIKey();

    // Intelligence.
    SettingsSection* intelligenceSection();
    QPushButton* openSettingsButton();
    // The orange on-device row's "Open Settings": the help page on running a local model server.
    void openSiriSettings();
    void modeChosen(int index);
    void showMode();
    void checkOnDeviceAvailability();
    void updateOnDeviceStatus();
    void showAIStatus();

    // iCloud.
    SettingsSection* iCloudSection();
    void iCloudToggled(bool requested);
    void confirmRestart();
    void cancelRestart();
    void showICloudStatus();

    // Daily kippet and appearance.
    SettingsSection* dailyKippetSection();
    SettingsSection* appearanceSection();
    void showDailyKippet();
    void refreshCreateButton();
    void watchKippetNames();
    void scheduleMidnightRefresh();
    void showAppearance();

    // Cloud API key.
    void fillAPIKeySection();
    QWidget* keyRow();
    void handleAPIKeyChange(const QString& key);
    // Hands the typed key, if any waits, to saveAPIKey; the keyring may ask to be unlocked.
    void commitTypedKey();
    // Typing paused: the typed key is saved unless the keyring would have to ask to be unlocked.
    void typingPaused();
    void saveAPIKey(const QString& key, bool mayPrompt = true);
    // Keeps one keyring write in flight; the last asked value is written last. None removes.
    // A value that may not prompt is kept back while the keyring is locked.
    void writeKey(std::optional<QString> value, bool mayPrompt = true);
    QCoro::Task<void> runKeyWrites();
    void keyWritten(const std::optional<QString>& value, const std::optional<QString>& failure,
                    bool locked = false);
    QCoro::Task<void> performConnectionTest(QString key, QString keyHash);
    void finishConnectionTest(const QString& sentKey, const QString& sentHash,
                              const TestResult& result, std::optional<bool> verified);
    void setVerified(bool verified, const std::optional<QString>& keyHash = std::nullopt);
    void showKeyState();

    // About.
    SettingsSection* aboutSection();
    QPushButton* linkButton(const QString& symbol, const QString& title, bool external);
    void checkForUpdates();

    SettingsServices services_;
    AIPreferences* preferences_;
    QString apiKey_;
    QString currentKeyHash_;
    bool apiKeyLoaded_ = false;
    QString onDeviceStatusLabel_;
    bool onDeviceAvailable_ = false;
    bool iCloudSyncEnabled_ = false;
    std::optional<bool> pendingICloudToggle_;
    // Whether the local model's status is wanted: from the first show on.
    bool statusWanted_ = false;
    // Set while the tab itself writes "ai_mode", so the echo of the write is not followed.
    bool writingMode_ = false;
    bool writingCloudImages_ = false;

    QScrollArea* scroll_ = nullptr;
    QVBoxLayout* form_ = nullptr;
    SegmentedControl* modePicker_ = nullptr;
    SettingsStatusRow* aiStatus_ = nullptr;
    QPushButton* openSettings_ = nullptr;
    SettingsStatusRow* offNote_ = nullptr;
    SlideReveal* offNoteReveal_ = nullptr;
    SettingsSection* apiSection_ = nullptr;
    SlideReveal* apiReveal_ = nullptr;
    QCheckBox* iCloudSwitch_ = nullptr;
    SettingsStatusRow* iCloudStatus_ = nullptr;
    SettingsStatusRow* iCloudNote_ = nullptr;
    QCheckBox* dailySwitch_ = nullptr;
    SettingsIconTile* dailyTile_ = nullptr;
    QWidget* dailyTimeRow_ = nullptr;
    QTimeEdit* dailyTime_ = nullptr;
    QPushButton* createToday_ = nullptr;
    SlideReveal* dailyRowsReveal_ = nullptr;
    SettingsStatusRow* dailyNote_ = nullptr;
    SegmentedControl* stylePicker_ = nullptr;
    QWidget* iconStyleRow_ = nullptr;
    SlideReveal* iconStyleReveal_ = nullptr;
    SegmentedControl* iconStylePicker_ = nullptr;
    ScheduledAction midnight_;

    // Cloud API key state.
    bool testing_ = false;
    std::optional<TestResult> testResult_;
    std::optional<QString> saveError_;
    std::optional<QString> saveSuccess_;
    // What the keyring holds as far as this tab knows; none until it was read.
    std::optional<QString> storedKey_;
    // The stored key is being read.
    bool keyReading_ = false;
    // The keyring holds a key but is locked: what it holds is unknown.
    bool keyLocked_ = false;
    // Why the stored key could not be read otherwise (no answer, no keyring).
    std::optional<QString> keyUnreadable_;
    bool writing_ = false;
    // The value to write once the write in flight ends: none = nothing waits; an inner none =
    // remove.
    std::optional<std::optional<QString>> pendingWrite_;
    // Whether the waiting write may ask to unlock the keyring.
    bool pendingMayPrompt_ = true;
    // The value of the write in flight that may not prompt.
    std::optional<QString> unpromptedWrite_;
    // What a failed read of the stored key put in the error row.
    std::optional<QString> readError_;
    bool keyChangedSinceRetry_ = false;
    // The field's text while typing goes on: not yet saved nor checked.
    std::optional<QString> typedKey_;
    // No Secret Service runs: no key can be read or stored.
    bool noKeyring_ = false;
    QLineEdit* keyField_ = nullptr;
    QToolButton* showKey_ = nullptr;
    QLabel* verifiedMark_ = nullptr;
    BusyButton* testButton_ = nullptr;
    SettingsStatusRow* saveErrorRow_ = nullptr;
    SettingsStatusRow* saveSuccessRow_ = nullptr;
    SettingsStatusRow* testResultRow_ = nullptr;
    SettingsStatusRow* verifiedRow_ = nullptr;
    QWidget* cloudImagesDivider_ = nullptr;
    QWidget* cloudImagesRow_ = nullptr;
    QCheckBox* preferCloudImages_ = nullptr;
    ClockTimer* saveSuccessTimer_ = nullptr;
    ClockTimer* testResultTimer_ = nullptr;
    ClockTimer* retryTimer_ = nullptr;
    ClockTimer* typingTimer_ = nullptr;
};
