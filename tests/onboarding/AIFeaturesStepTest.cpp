#include "TourFixture.h"

#include "analysis/AIPreferences.h"
#include "analysis/LocalModelServer.h"
#include "analysis/OpenAIAnalyzer.h"
#include "onboarding/AIFeaturesStepView.h"
#include "onboarding/AIModeCard.h"
#include "onboarding/RoundedPanel.h"
#include "platform/Preferences.h"
#include "ui/CrossFade.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QSignalSpy>

namespace {
AIFeaturesStepView* showAnalysis(OnboardingWindow* window) {
    window->state()->setCurrentStep(5);
    return qobject_cast<AIFeaturesStepView*>(window->view()->stepView());
}

QString storedMode() {
    return Preferences::shared().stringOr(QStringLiteral("ai_mode"), QStringLiteral("(unset)"));
}

QList<AIMode> selected(AIFeaturesStepView* step) {
    QList<AIMode> modes;
    for (AIModeCard* card : step->cards()) {
        if (card->isSelected()) {
            modes.append(card->mode());
        }
    }
    return modes;
}

// Waits for the answer of the probe under way.
bool answered(LocalModelServer& server) {
    QSignalSpy spy(&server, &LocalModelServer::probeAnswered);
    return !server.isProbing() ? false : spy.wait(10000);
}

void setKeyStored(bool stored) {
    OpenAIAnalyzer::setDefaultKeySource(
        [stored] { return stored; },
        []() -> QCoro::Task<std::optional<QString>> { co_return std::nullopt; });
}

QColor named(int r, int g, int b) {
    return QColor(r, g, b);
}
} // namespace

class AIFeaturesStepTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { setKeyStored(false); }

    void aFirstVisitWritesTheModeTheKeyDecides() {
        TourFixture tour;
        Preferences::shared().remove(QStringLiteral("ai_mode"));
        setKeyStored(false);
        OnboardingWindow* window = tour.openTour();
        AIFeaturesStepView* step = showAnalysis(window);
        QCOMPARE(storedMode(), QStringLiteral("onDevice"));
        QCOMPARE(selected(step), QList<AIMode>{AIMode::onDevice});
        QVERIFY(!step->note()->isVisible());
        answered(tour.app.localModel());
        window->close();
        settle();

        Preferences::shared().remove(QStringLiteral("ai_mode"));
        setKeyStored(true);
        window = tour.openTour();
        step = showAnalysis(window);
        QCOMPARE(storedMode(), QStringLiteral("byok"));
        QCOMPARE(selected(step), QList<AIMode>{AIMode::byok});
        QCOMPARE(step->infoHeadline()->text(), QStringLiteral("Requires an OpenAI API key"));
        answered(tour.app.localModel());
    }

    void noAIIsStoredAtOnceAndOutlivesEscape() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        AIFeaturesStepView* step = showAnalysis(window);
        settle();
        QVERIFY(step->findChild<AIModeCard*>(QStringLiteral("aiMode_off")));
        QTest::mouseClick(step->findChild<AIModeCard*>(QStringLiteral("aiMode_off")),
                          Qt::LeftButton);
        QCOMPARE(storedMode(), QStringLiteral("off"));
        QCOMPARE(selected(step), QList<AIMode>{AIMode::off});
        QCOMPARE(step->infoHeadline()->text(), QStringLiteral("Basic organization only"));
        QCOMPARE(step->infoCaption()->text(),
                 QStringLiteral("Items are categorized by file type and keywords — no AI "
                                "analysis."));
        QVERIFY(step->note()->isVisible());

        QTest::mouseClick(step->findChild<AIModeCard*>(QStringLiteral("aiMode_byok")),
                          Qt::LeftButton);
        QCOMPARE(storedMode(), QStringLiteral("byok"));
        QVERIFY(!step->note()->isVisible());
        QTest::mouseClick(step->findChild<AIModeCard*>(QStringLiteral("aiMode_off")),
                          Qt::LeftButton);
        for (AIModeCard* card : step->cards()) {
            QCOMPARE(card->focusPolicy(), Qt::NoFocus);
        }

        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(!window->isVisible());
        QCOMPARE(storedMode(), QStringLiteral("off"));
        answered(tour.app.localModel());
    }

    // A new mode's panel takes over from the old one as a whole over 0.2 s, on the clock.
    void theInfoPanelCrossFades() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        AIFeaturesStepView* step = showAnalysis(window);
        settle();
        CrossFade* fade = step->infoPanelFade();
        Animations::setEnabled(true);
        QTest::mouseClick(step->findChild<AIModeCard*>(QStringLiteral("aiMode_off")),
                          Qt::LeftButton);
        testClock().advance(std::chrono::milliseconds(100));
        settle();
        QVERIFY(fade->isVisible());
        QVERIFY2(fade->progress() > 0 && fade->progress() < 1,
                 qPrintable(QString::number(fade->progress())));
        const auto* panelFade =
            qobject_cast<QGraphicsOpacityEffect*>(step->infoPanel()->graphicsEffect());
        QVERIFY(panelFade);
        QCOMPARE(panelFade->opacity(), fade->progress());
        // The new texts are in place beneath the fading picture of the old ones.
        QCOMPARE(step->infoHeadline()->text(), QStringLiteral("Basic organization only"));
        testClock().advance(std::chrono::milliseconds(100));
        settle();
        Animations::setEnabled(false);
        QCOMPARE(fade->progress(), 1.0);
        QVERIFY(!fade->isVisible());
        QVERIFY(!step->infoPanel()->graphicsEffect());
        answered(tour.app.localModel());
    }

    void theBadgeFollowsTheModelServer() {
        TourFixture tour;
        Preferences::shared().remove(QStringLiteral("ai_mode"));
        tour.app.modelServer().setHandler([](const TestHttpRequest&) {
            return TestHttpResponse::json(R"({"object":"list","data":[{"id":"llama3"}]})");
        });
        OnboardingWindow* window = tour.openTour();
        AIFeaturesStepView* step = showAnalysis(window);
        AIModeCard* onDevice = step->card(AIMode::onDevice);
        const QColor orange = named(255, 149, 0);
        const QColor green = named(52, 199, 89);
        QCOMPARE(onDevice->badgeText(), QStringLiteral("Checking…"));
        QCOMPARE(onDevice->badgeColor(), orange);
        QVERIFY(!step->onDeviceAvailable());

        QVERIFY(answered(tour.app.localModel()));
        QCOMPARE(onDevice->badgeText(), QStringLiteral("Available"));
        QCOMPARE(onDevice->badgeColor(), green);
        QVERIFY(step->onDeviceAvailable());
        QCOMPARE(step->infoHeadline()->text(),
                 QStringLiteral("Your data never leaves this computer"));
        QCOMPARE(step->infoCaption()->text(),
                 QStringLiteral("A local model analyzes content privately on this computer."));

        // The server goes away: the next answer takes the green back.
        tour.app.modelServer().close();
        tour.app.localModel().probe();
        QVERIFY(answered(tour.app.localModel()));
        QCOMPARE(onDevice->badgeText(), QStringLiteral("Server not running"));
        QCOMPARE(onDevice->badgeColor(), orange);
        QVERIFY(!step->onDeviceAvailable());
        QCOMPARE(step->infoCaption()->text(),
                 QStringLiteral("No local model is available right now. Content will be "
                                "organized by keyword heuristics until one is."));

        step->updateOnDeviceStatus(AnalyzerUnavailableReason::modelNotReady);
        QCOMPARE(onDevice->badgeText(), QStringLiteral("No model loaded"));
        step->updateOnDeviceStatus(AnalyzerUnavailableReason::unknown);
        QCOMPARE(onDevice->badgeText(), QStringLiteral("Not available"));

        // Only the on-device card has a badge; unselected, it is drawn in grey.
        QCOMPARE(step->card(AIMode::byok)->badgeText(), std::nullopt);
        QCOMPARE(step->card(AIMode::off)->badgeText(), std::nullopt);
        QCOMPARE(step->findChildren<RoundedPanel*>(QStringLiteral("AIModeBadge")).size(), 1);
        QTest::mouseClick(step->card(AIMode::off), Qt::LeftButton);
        QCOMPARE(onDevice->badgeColor().rgb(), window->palette().color(QPalette::WindowText).rgb());
        // The text is drawn in that colour, however often the card was restyled.
        QTest::mouseClick(step->card(AIMode::byok), Qt::LeftButton);
        auto* badgeText =
            step->findChild<RoundedPanel*>(QStringLiteral("AIModeBadge"))->findChild<QLabel*>();
        QCOMPARE(badgeText->palette().color(QPalette::WindowText), onDevice->badgeColor());
        QTest::mouseClick(onDevice, Qt::LeftButton);
        QCOMPARE(badgeText->palette().color(QPalette::WindowText), orange);
    }
};

QTEST_MAIN(AIFeaturesStepTest)
#include "AIFeaturesStepTest.moc"
