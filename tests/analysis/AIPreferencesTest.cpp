#include "analysis/AIPreferences.h"
#include "analysis/AIServiceError.h"
#include "platform/Preferences.h"
#include "support/TestEnvironment.h"

#include <QSignalSpy>
#include <QTest>

class AIPreferencesTest : public QObject {
    Q_OBJECT
private slots:
    void init() { TestEnvironment::resetPreferences(); }

    void firstInstanceWritesModeFromKeyPresence() {
        Preferences& defaults = Preferences::shared();
        AIPreferences withoutKey(defaults, false);
        QCOMPARE(withoutKey.mode(), AIMode::onDevice);
        QCOMPARE(defaults.stringValue("ai_mode"), std::optional<QString>("onDevice"));

        TestEnvironment::resetPreferences();
        AIPreferences withKey(Preferences::shared(), true);
        QCOMPARE(withKey.mode(), AIMode::byok);
        QCOMPARE(Preferences::shared().stringValue("ai_mode"), std::optional<QString>("byok"));
        QCOMPARE(withKey.preferCloudForImages(), false);
    }

    void storedModeWinsOverKeyPresence() {
        Preferences::shared().setString("ai_mode", "off");
        AIPreferences preferences(Preferences::shared(), true);
        QCOMPARE(preferences.mode(), AIMode::off);
        QCOMPARE(Preferences::shared().stringValue("ai_mode"), std::optional<QString>("off"));
    }

    void unknownStoredModeReadsAsOnDeviceAndStays() {
        Preferences::shared().setString("ai_mode", "cloud");
        AIPreferences preferences(Preferences::shared(), true);
        QCOMPARE(preferences.mode(), AIMode::onDevice);
        QCOMPARE(Preferences::shared().stringValue("ai_mode"), std::optional<QString>("cloud"));
    }

    void settersAlwaysWriteButNotifyOnlyOnChange() {
        AIPreferences preferences(Preferences::shared(), false);
        QSignalSpy modeSpy(&preferences, &AIPreferences::modeChanged);
        QSignalSpy imagesSpy(&preferences, &AIPreferences::preferCloudForImagesChanged);
        Preferences::shared().setString("ai_mode", "byok"); // behind the instance's back
        preferences.setMode(AIMode::onDevice);
        QCOMPARE(modeSpy.count(), 0);
        QCOMPARE(Preferences::shared().stringValue("ai_mode"), std::optional<QString>("onDevice"));
        preferences.setMode(AIMode::off);
        QCOMPARE(modeSpy.count(), 1);
        preferences.setPreferCloudForImages(false);
        QCOMPARE(imagesSpy.count(), 0);
        QCOMPARE(Preferences::shared().boolValue("ai_prefer_cloud_for_images"),
                 std::optional<bool>(false));
        preferences.setPreferCloudForImages(true);
        QCOMPARE(imagesSpy.count(), 1);
        QCOMPARE(AIPreferences(Preferences::shared(), false).preferCloudForImages(), true);
    }

    void errorTextsAndRetryFlags() {
        const AIServiceError tooMany = AIServiceError::apiError(429);
        QCOMPARE(tooMany.errorDescription(), QString("API error with status code: 429"));
        QCOMPARE(tooMany.userFacingMessage(),
                 QString("Cannot analyze - service error (will retry)"));
        QVERIFY(tooMany.isRetryable());
        const AIServiceError unavailable =
            AIServiceError::providerUnavailable(AnalyzerUnavailableReason::localModelNotRunning);
        QCOMPARE(unavailable.errorDescription(),
                 QString("AI provider unavailable (localModelNotRunning)"));
        QCOMPARE(unavailable.userFacingMessage(),
                 QString("Cannot analyze - AI is currently unavailable"));
        QVERIFY(!AIServiceError(AIServiceError::Case::invalidResponse).isRetryable());
        QVERIFY(AIServiceError(AIServiceError::Case::networkError).isRetryable());
        QVERIFY(AIServiceError(AIServiceError::Case::timeout).isRetryable());
        QVERIFY(!AIServiceError(AIServiceError::Case::instructionsRejected).isRetryable());
        QCOMPARE(AIServiceError(AIServiceError::Case::noAPIKey).userFacingMessage(),
                 QString("Cannot analyze - no API key configured"));
        QCOMPARE(AIServiceError(AIServiceError::Case::unsupportedURLScheme).userFacingMessage(),
                 QString("Cannot analyze - only http:// and https:// links are supported"));
    }

    void errorEqualityComparesPayload() {
        QVERIFY(!(AIServiceError::apiError(500) == AIServiceError::apiError(502)));
        const auto notReady =
            AIServiceError::providerUnavailable(AnalyzerUnavailableReason::modelNotReady);
        QVERIFY(notReady == notReady);
        QVERIFY(
            !(notReady == AIServiceError::providerUnavailable(AnalyzerUnavailableReason::unknown)));
        QVERIFY(AIServiceError(AIServiceError::Case::timeout) ==
                AIServiceError(AIServiceError::Case::timeout));
    }
};

QTEST_GUILESS_MAIN(AIPreferencesTest)
#include "AIPreferencesTest.moc"
