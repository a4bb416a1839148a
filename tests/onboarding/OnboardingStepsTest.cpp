#include "TourFixture.h"

#include "model/KeyboardShortcuts.h"
#include "onboarding/ContentMethodCard.h"
#include "onboarding/ContentTypeBadge.h"
#include "onboarding/RoundedPanel.h"
#include "onboarding/SymbolView.h"
#include "onboarding/WelcomeFeatureTile.h"
#include "platform/Preferences.h"
#include "ui/CrossFade.h"

#include <QCheckBox>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QSignalSpy>
#include <QVBoxLayout>

namespace {
struct ICloudStep {
    QCheckBox* toggle;
    QString symbol;
    QString title;
    QString explanation;
    QColor background;
};

ICloudStep iCloudStep(OnboardingWindow* window) {
    window->state()->setCurrentStep(1);
    settle();
    QWidget* step = window->view()->stepView();
    return {step->findChild<QCheckBox*>(QStringLiteral("ICloudSyncToggle")),
            step->findChild<SymbolView*>(QStringLiteral("ICloudStatusSymbol"))->symbol(),
            step->findChild<QLabel*>(QStringLiteral("ICloudStatusTitle"))->text(),
            step->findChild<QLabel*>(QStringLiteral("ICloudStatusExplanation"))->text(),
            step->findChild<RoundedPanel*>(QStringLiteral("ICloudStatusCard"))->fillColor()};
}

QColor tint(const QColor& color, qreal opacity) {
    QColor tinted = color;
    tinted.setAlphaF(opacity);
    return tinted;
}

QStringList labelTexts(QWidget* root) {
    QStringList texts;
    for (QLabel* label : root->findChildren<QLabel*>()) {
        texts.append(label->text());
    }
    return texts;
}

ContentMethodCard* card(QWidget* step, const QString& title) {
    for (ContentMethodCard* candidate : step->findChildren<ContentMethodCard*>()) {
        if (candidate->title() == title) {
            return candidate;
        }
    }
    return nullptr;
}
} // namespace

class OnboardingStepsTest : public QObject {
    Q_OBJECT
private slots:
    void welcomeTilesStandInAWave() {
        TourFixture tour;
        OnboardingWindow* window = tour.openTour();
        const QList<WelcomeFeatureTile*> tiles =
            window->view()->stepView()->findChildren<WelcomeFeatureTile*>();
        QCOMPARE(tiles.size(), 4);
        const QStringList symbols{"folder.fill", "star.fill", "heart.fill", "lightbulb.fill"};
        const double offsets[] = {0, 2.40, 4.21, 4.99};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(tiles[i]->symbol(), symbols[i]);
            QVERIFY2(qAbs(tiles[i]->verticalOffset() - offsets[i]) < 0.005,
                     qPrintable(QString::number(tiles[i]->verticalOffset())));
            if (i > 0) {
                QVERIFY(tiles[i]->x() > tiles[i - 1]->x());
                QCOMPARE(tiles[i]->y(), tiles[0]->y());
            }
        }
        // The first tile starts on the line; the last is painted about five points lower.
        const QImage first = tiles[0]->grab().toImage();
        const QImage last = tiles[3]->grab().toImage();
        const qreal ratio = first.devicePixelRatio();
        const auto at = [ratio](const QImage& image, int y) {
            return image.pixelColor(QPoint(30, y) * ratio);
        };
        QCOMPARE(at(first, 1), at(first, 7));
        QCOMPARE(at(last, 3), at(last, 0));
        QVERIFY(at(last, 7) != at(last, 0));

        QVERIFY(labelTexts(window->view()->stepView())
                    .contains(QStringLiteral("Your intelligent floating workspace for Linux")));
    }

    void iCloudStepAsShippedShowsLocalOnly_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("shown");
        QTest::newRow("never set") << QVariant() << true;
        QTest::newRow("true") << QVariant(true) << true;
        QTest::newRow("false") << QVariant(false) << false;
    }
    void iCloudStepAsShippedShowsLocalOnly() {
        QFETCH(QVariant, stored);
        QFETCH(bool, shown);
        TourFixture tour;
        Preferences::shared().remove(QStringLiteral("icloud_sync_enabled"));
        if (stored.isValid())
            Preferences::shared().setBool(QStringLiteral("icloud_sync_enabled"), stored.toBool());
        OnboardingWindow* window = tour.openTour();
        const ICloudStep step = iCloudStep(window);
        QVERIFY(!step.toggle->isEnabled());
        // Off, as the card beside it says, whatever is stored.
        QVERIFY(!step.toggle->isChecked());
        QCOMPARE(step.symbol, QStringLiteral("xmark.icloud"));
        QCOMPARE(step.title, QStringLiteral("Local Only"));
        QCOMPARE(step.explanation,
                 QStringLiteral("iCloud sync is not available on this system. Your kippets are "
                                "stored on this computer only."));
        // A click on the disabled toggle changes nothing; the tour keeps what it read.
        QTest::mouseClick(step.toggle, Qt::LeftButton);
        QVERIFY(!step.toggle->isChecked());
        QCOMPARE(window->state()->iCloudSyncPreference(), shown);
        // Back from the next step, it still agrees with its card.
        QTest::keyClick(window, Qt::Key_Right);
        QTest::mouseClick(button(window, QStringLiteral("Back")), Qt::LeftButton);
        settle();
        QVERIFY(!iCloudStep(window).toggle->isChecked());
        QCOMPARE(iCloudStep(window).title, QStringLiteral("Local Only"));
        QVERIFY(labelTexts(window->view()->stepView())
                    .contains(QStringLiteral("Sync kippets across all your devices")));
        QVERIFY(labelTexts(window->view()->stepView())
                    .contains(QStringLiteral("Access kippets from your other devices")));
        // Finishing stores the choice the tour read, not the switch's off.
        window->state()->completeOnboarding(true);
        QCOMPARE(Preferences::shared().boolValue(QStringLiteral("icloud_sync_enabled")),
                 std::optional<bool>(shown));
    }

    void iCloudStepWithSyncFollowsTheStoredChoice() {
        TourFixture tour;
        SyncAvailability::setAvailable(true);
        OnboardingWindow* window = tour.openTour();
        const QPalette palette = window->palette();
        ICloudStep step = iCloudStep(window);
        QVERIFY(step.toggle->isEnabled());
        QVERIFY(step.toggle->isChecked());
        QCOMPARE(step.symbol, QStringLiteral("checkmark.icloud.fill"));
        QCOMPARE(step.title, QStringLiteral("Sync Enabled"));
        QCOMPARE(step.explanation, QStringLiteral("Your kippets will sync across all devices "
                                                  "signed into your iCloud account."));
        QCOMPARE(step.background, tint(QColor(52, 199, 89), 0.08));

        // Turned off, it stays off across Next and Back and shows what that means.
        QTest::mouseClick(step.toggle, Qt::LeftButton);
        QVERIFY(!window->state()->iCloudSyncPreference());
        step = iCloudStep(window);
        QCOMPARE(step.title, QStringLiteral("Local Only"));
        QTest::keyClick(window, Qt::Key_Right);
        QTest::mouseClick(button(window, QStringLiteral("Back")), Qt::LeftButton);
        settle();
        step = iCloudStep(window);
        QVERIFY(!step.toggle->isChecked());
        QCOMPARE(step.symbol, QStringLiteral("xmark.icloud"));
        QCOMPARE(step.explanation,
                 QStringLiteral("Your kippets will only be stored on this computer."));
        // The grey of secondary text, faint.
        QCOMPARE(step.background.rgb(), palette.color(QPalette::WindowText).rgb());
        QVERIFY(step.background.alphaF() > 0 && step.background.alphaF() <= 0.08);

        // Leaving with Escape stores nothing.
        QTest::keyClick(window, Qt::Key_Escape);
        QVERIFY(!Preferences::shared().contains(QStringLiteral("icloud_sync_enabled")));

        Preferences::shared().setBool(QStringLiteral("icloud_sync_enabled"), false);
        OnboardingWindow* second = tour.openTour();
        step = iCloudStep(second);
        QVERIFY(!step.toggle->isChecked());
        QCOMPARE(step.title, QStringLiteral("Local Only"));
        QTest::mouseClick(step.toggle, Qt::LeftButton);
        QCOMPARE(iCloudStep(second).title, QStringLiteral("Sync Enabled"));
        second->close();
        QCOMPARE(Preferences::shared().boolValue(QStringLiteral("icloud_sync_enabled")),
                 std::optional<bool>(false));
    }

    // The status card changes as a whole, symbol and texts with its colour: the old card fades
    // out over the new one fading in, on the clock.
    void iCloudStatusCardCrossFades() {
        TourFixture tour;
        SyncAvailability::setAvailable(true);
        OnboardingWindow* window = tour.openTour();
        const ICloudStep step = iCloudStep(window);
        QWidget* card = window->view()->stepView()->findChild<RoundedPanel*>(
            QStringLiteral("ICloudStatusCard"));
        auto* fade = window->view()->stepView()->findChild<CrossFade*>();
        QVERIFY(fade);
        QVERIFY(!fade->isVisible());
        Animations::setEnabled(true);
        QTest::mouseClick(step.toggle, Qt::LeftButton);
        testClock().advance(std::chrono::milliseconds(60));
        settle();
        QVERIFY(fade->isVisible());
        QVERIFY2(fade->progress() > 0 && fade->progress() < 1,
                 qPrintable(QString::number(fade->progress())));
        const auto* cardFade = qobject_cast<QGraphicsOpacityEffect*>(card->graphicsEffect());
        QVERIFY(cardFade);
        QCOMPARE(cardFade->opacity(), fade->progress());
        testClock().advance(std::chrono::milliseconds(400));
        settle();
        Animations::setEnabled(false);
        QCOMPARE(fade->progress(), 1.0);
        QVERIFY(!fade->isVisible());
        QVERIFY(!card->graphicsEffect());
        QCOMPARE(iCloudStep(window).title, QStringLiteral("Local Only"));
    }

    void contentStepIsStaticAndNamesTheDefaultKeys() {
        TourFixture tour;
        KeyboardShortcuts own;
        own.paste = QStringLiteral("x");
        own.import = QStringLiteral("k");
        Preferences::shared().setData(QStringLiteral("custom_keyboard_shortcuts"),
                                      own.toJsonBytes());
        OnboardingWindow* window = tour.openTour();
        QCOMPARE(window->state()->customShortcuts().paste, QStringLiteral("x"));
        window->state()->setCurrentStep(2);
        settle();
        QWidget* step = window->view()->stepView();

        ContentMethodCard* paste = card(step, QStringLiteral("Clipboard Paste"));
        QVERIFY(paste);
        QCOMPARE(labelTexts(paste),
                 (QStringList{"Clipboard Paste", "Quick paste with the V key", "V"}));
        QCOMPARE(labelTexts(card(step, QStringLiteral("File Picker"))),
                 (QStringList{"File Picker", "Browse and import from your file manager", "I"}));
        QCOMPARE(labelTexts(card(step, QStringLiteral("Drag & Drop"))),
                 (QStringList{"Drag & Drop", "Drag files, images, text, or URLs from anywhere"}));
        QCOMPARE(labelTexts(card(step, QStringLiteral("Screenshot"))),
                 (QStringList{"Screenshot", "Drop screenshots directly into kippets"}));
        QStringList badges;
        for (ContentTypeBadge* badge : step->findChildren<ContentTypeBadge*>()) {
            badges.append(badge->text());
        }
        QCOMPARE(badges, (QStringList{"Files", "Images", "URLs", "Text", "Colors"}));

        // Clicking cards and badges does nothing at all.
        int posted = 0;
        QObject watcher;
        connect(&NotificationCenter::shared(), &NotificationCenter::posted, &watcher,
                [&posted] { ++posted; });
        QSignalSpy preferences(&Preferences::shared(), &Preferences::changed);
        for (ContentMethodCard* each : step->findChildren<ContentMethodCard*>()) {
            QTest::mouseClick(each, Qt::LeftButton);
            QTest::mouseDClick(each, Qt::LeftButton);
        }
        for (ContentTypeBadge* each : step->findChildren<ContentTypeBadge*>()) {
            QTest::mouseClick(each, Qt::LeftButton);
        }
        settle();
        QCOMPARE(window->state()->currentStep(), 2);
        QCOMPARE(window->view()->stepView(), step);
        QCOMPARE(posted, 0);
        QCOMPARE(preferences.count(), 0);
        QVERIFY(window->isVisible());
    }

    void aLongDescriptionWrapsAndTheCardGrows() {
        QWidget column;
        column.setFixedWidth(260);
        auto* layout = new QVBoxLayout(&column);
        const QString longText =
            QStringLiteral("Drag files, images, text, or URLs from anywhere on the desktop, from "
                           "a browser tab, a mail, a chat or a folder window, and drop them here");
        auto* shortCard = new ContentMethodCard(
            QStringLiteral("camera.fill"), QStringLiteral("Screenshot"), QStringLiteral("Drop it"),
            Theme::Named::purple, std::nullopt, &column);
        auto* longCard =
            new ContentMethodCard(QStringLiteral("camera.fill"), QStringLiteral("Screenshot"),
                                  longText, Theme::Named::purple, QStringLiteral("V"), &column);
        layout->addWidget(shortCard);
        layout->addWidget(longCard);
        layout->addStretch(1);
        column.resize(260, 800);
        column.show();
        QVERIFY(QTest::qWaitForWindowExposed(&column));

        auto* sentence = longCard->findChild<QLabel*>(QStringLiteral("ContentMethodDescription"));
        QCOMPARE(sentence->text(), longText);
        QVERIFY(sentence->wordWrap());
        const int lineHeight = sentence->fontMetrics().lineSpacing();
        QVERIFY2(sentence->height() >= 3 * lineHeight,
                 qPrintable(QString::number(sentence->height())));
        QVERIFY(sentence->height() >= sentence->heightForWidth(sentence->width()));
        QVERIFY(sentence->width() <= longCard->width());
        QVERIFY(longCard->height() > shortCard->height() + 2 * lineHeight);
        QVERIFY(longCard->geometry().bottom() <= column.height());
    }
};

QTEST_MAIN(OnboardingStepsTest)
#include "OnboardingStepsTest.moc"
