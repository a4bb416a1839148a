#include "analysis/AIPreferences.h"
#include "app/AppMenus.h"
#include "app/DailyKippet.h"
#include "app/DailyKippetScheduler.h"
#include "app/Dialogs.h"
#include "app/UnsavedEdits.h"
#include "app/UpdateChecker.h"
#include "dashboard/SettingsHarness.h"
#include "dashboard/SettingsSection.h"
#include "editors/KippetTodoEditorView.h"
#include "model/Kippet.h"
#include "model/KippetColor.h"
#include "model/KippetModel.h"
#include "model/OnboardingState.h"
#include "onboarding/iCloudSyncStepView.h"
#include "platform/Animations.h"
#include "platform/NotificationNames.h"
#include "store/KippetManager.h"
#include "store/StoreError.h"
#include "store/StoreManager.h"
#include "support/TestHttpServer.h"
#include "ui/SlideReveal.h"
#include "ui/Theme.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimeEdit>

using namespace std::chrono_literals;

namespace {
const QString modelReply = QStringLiteral(R"({"object":"list","data":[{"id":"llama3"}]})");

KippetItem uncategorizedLink() {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = KippetItemType::url;
    item.content = QByteArray("https://github.com/kippets/kippets");
    item.addedDate = QDateTime::currentDateTimeUtc();
    item.category = ItemCategory::uncategorized;
    return item;
}

struct AnimationsOn {
    AnimationsOn() { Animations::setEnabled(true); }
    ~AnimationsOn() { Animations::setEnabled(false); }
};

double opacityOf(const QWidget* widget) {
    const auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    return effect ? effect->opacity() : 1.0;
}

void step(std::chrono::milliseconds span) {
    testClock().advance(span);
    AppHarness::settle();
}

// Mid-way a part that comes or goes is partly there: its box between nothing and its full
// height, its content between clear and opaque.
void checkMidWay(SlideReveal* reveal) {
    QVERIFY(reveal->isVisible());
    QVERIFY2(reveal->fraction() > 0 && reveal->fraction() < 1,
             qPrintable(QString::number(reveal->fraction())));
    QVERIFY(reveal->height() > 0 && reveal->height() < reveal->content()->height());
    const double opacity = opacityOf(reveal->content());
    QVERIFY2(opacity > 0 && opacity < 1, qPrintable(QString::number(opacity)));
    // Let down from the top: the content's bottom edge shows first.
    QCOMPARE(reveal->content()->geometry().bottom(), reveal->height() - 1);
}

void checkIn(SlideReveal* reveal) {
    QVERIFY(reveal->isVisible());
    QCOMPARE(reveal->fraction(), 1.0);
    QCOMPARE(reveal->height(), reveal->content()->height());
    QCOMPARE(reveal->content()->y(), 0);
    QVERIFY(!reveal->content()->graphicsEffect());
}

int topOf(QWidget* widget, QWidget* within) {
    return widget->mapTo(within, QPoint()).y();
}

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}
} // namespace

class SettingsTabViewTest : public QObject {
    Q_OBJECT
private slots:
    void sectionsFollowTheModeAndARealChangeReanalysesOnce() {
        SettingsHarness h;
        h.app.preferences().setBool(QStringLiteral("ai_enabled"), false);
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("onDevice"));
        Kippet* kippet = h.app.addKippet(QStringLiteral("Links"));
        const KippetItem item = uncategorizedLink();
        h.app.manager().addItem(item, kippet);
        int itemChanges = 0;
        connect(kippet, &Kippet::itemsChanged, [&itemChanges] { ++itemChanges; });
        SettingsTabView& view = h.open();

        QCOMPARE(h.modePicker()->currentIndex(), 0);
        QVERIFY(!h.shown(QStringLiteral("settings_apiKeySection")));
        QVERIFY(!h.shown(QStringLiteral("settings_aiOffNote")));

        // The segment already chosen: nothing is redone.
        h.pick(h.modePicker(), 0);
        QCOMPARE(kippet->items().first().category, ItemCategory::uncategorized);
        QCOMPARE(itemChanges, 0);

        h.pick(h.modePicker(), 1);
        QCOMPARE(view.preferences().mode(), AIMode::byok);
        QCOMPARE(h.app.preferences().stringValue(QStringLiteral("ai_mode")),
                 QStringLiteral("byok"));
        QVERIFY(h.shown(QStringLiteral("settings_apiKeySection")));
        QVERIFY(kippet->items().first().category != ItemCategory::uncategorized);
        QCOMPARE(itemChanges, 1);
        QCOMPARE(h.aiStatus()->text(),
                 QStringLiteral("Enter your OpenAI API key in the section below."));
        QCOMPARE(h.aiStatus()->symbol(), QStringLiteral("key.fill"));

        h.pick(h.modePicker(), 1);
        QCOMPARE(itemChanges, 1);

        h.pick(h.modePicker(), 2);
        QVERIFY(!h.shown(QStringLiteral("settings_apiKeySection")));
        QVERIFY(h.shown(QStringLiteral("settings_aiOffNote")));
        QCOMPARE(h.aiStatus()->text(),
                 QStringLiteral("AI is off. Items are organized by file type."));
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("settings_aiOffNote"))->text(),
                 QStringLiteral("Custom sorting instructions are ignored when AI is off."));
        // The sections stand in their order.
        QStringList headers;
        for (SettingsSection* section : view.findChildren<SettingsSection*>())
            headers.append(section->header());
        QCOMPARE(headers, QStringList({"Intelligence", "Advanced — OpenAI", "iCloud",
                                       "Daily Kippet", "Appearance", "About"}));
    }

    // The key section, the off-mode note, the daily rows and the icon style row move in from
    // their top edge and fade in on the clock, and leave the same way; what lies below moves.
    void partsThatComeAndGoMoveAndFade() {
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("onDevice"));
        SettingsTabView& view = h.open();
        AppHarness::settle();
        AnimationsOn animations;
        QWidget* form = h.find<QWidget>(QStringLiteral("SettingsForm"));
        QWidget* iCloud = h.find<QWidget>(QStringLiteral("settings_iCloudSection"));
        const int iCloudAt = topOf(iCloud, form);
        SlideReveal* api = view.apiKeyReveal();
        QVERIFY(!api->isVisible());

        h.pick(h.modePicker(), 1);
        step(100ms);
        checkMidWay(api);
        QVERIFY(topOf(iCloud, form) > iCloudAt);
        step(300ms);
        checkIn(api);
        const int iCloudBelowKeys = topOf(iCloud, form);
        QVERIFY(iCloudBelowKeys > iCloudAt + api->content()->height() / 2);

        // Off: the key section leaves as the note comes in.
        h.pick(h.modePicker(), 2);
        step(100ms);
        checkMidWay(api);
        checkMidWay(view.offNoteReveal());
        QVERIFY(topOf(iCloud, form) < iCloudBelowKeys);
        step(300ms);
        QVERIFY(!api->isVisible());
        QCOMPARE(api->fraction(), 0.0);
        checkIn(view.offNoteReveal());
        QVERIFY(h.shown(QStringLiteral("settings_aiOffNote")));
        QVERIFY(!h.shown(QStringLiteral("settings_apiKeySection")));

        QTest::mouseClick(h.find<QCheckBox>(QStringLiteral("DailyKippetSwitch")), Qt::LeftButton);
        step(100ms);
        checkMidWay(view.dailyRowsReveal());
        step(300ms);
        checkIn(view.dailyRowsReveal());
        QVERIFY(h.shown(QStringLiteral("CreateTodaysKippet")));

        h.pick(h.find<SegmentedControl>(QStringLiteral("TuckStylePicker")), 1);
        step(100ms);
        checkMidWay(view.iconStyleReveal());
        step(300ms);
        checkIn(view.iconStyleReveal());
        h.pick(h.find<SegmentedControl>(QStringLiteral("TuckStylePicker")), 0);
        step(100ms);
        checkMidWay(view.iconStyleReveal());
        step(300ms);
        QVERIFY(!view.iconStyleReveal()->isVisible());
    }

    void theTourWritingTheModeMovesTheSelection() {
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("onDevice"));
        SettingsTabView& view = h.open();
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("off"));
        QCOMPARE(h.modePicker()->currentIndex(), 2);
        QCOMPARE(view.preferences().mode(), AIMode::off);
        QVERIFY(h.shown(QStringLiteral("settings_aiOffNote")));
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        QCOMPARE(h.modePicker()->currentIndex(), 1);
        QVERIFY(h.shown(QStringLiteral("settings_apiKeySection")));
        QCOMPARE(h.app.preferences().stringValue(QStringLiteral("ai_mode")),
                 QStringLiteral("byok"));
    }

    void theStatusRowReportsTheLocalModelServer() {
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("onDevice"));
        h.waitForStatus();
        const QString address = h.app.modelServer().baseUrl().toString() + QStringLiteral("/v1");
        h.app.modelServer().setHandler(
            [](const TestHttpRequest&) { return TestHttpResponse::json(modelReply.toUtf8()); });
        SettingsTabView& view = h.open();
        // Showing the tab probes anew; until the answer it is checking.
        QCOMPARE(view.onDeviceStatusLabel(), QStringLiteral("Checking…"));
        QCOMPARE(h.aiStatus()->symbol(), QStringLiteral("exclamationmark.triangle.fill"));
        h.waitForStatus();
        QCOMPARE(view.onDeviceStatusLabel(),
                 QStringLiteral("Local model is available: llama3 at ") + address);
        QVERIFY(view.onDeviceAvailable());
        QCOMPARE(h.aiStatus()->symbol(), QStringLiteral("checkmark.circle.fill"));
        QCOMPARE(h.aiStatus()->text(), view.onDeviceStatusLabel());

        struct Case {
            TestHttpResponse response;
            QString text;
        };
        const QList<Case> cases = {
            {TestHttpResponse::json(R"({"object":"list","data":[]})"),
             QStringLiteral("The local model server at %1 offers no usable model — load one")},
            {TestHttpResponse::html("<html>not a model list</html>"),
             QStringLiteral("The local model server at %1 gave an unexpected answer")},
        };
        for (const Case& c : cases) {
            h.app.modelServer().setHandler([c](const TestHttpRequest&) { return c.response; });
            // Hiding and showing the tab again checks again.
            h.showKippetsTab();
            h.showSettingsTab();
            h.waitForStatus();
            QCOMPARE(view.onDeviceStatusLabel(), c.text.arg(address));
            // A server that stopped offering a model no longer reads as available.
            QVERIFY(!view.onDeviceAvailable());
            QCOMPARE(h.aiStatus()->symbol(), QStringLiteral("exclamationmark.triangle.fill"));
        }

        // Nothing listens: the server re-probes itself when its address changes.
        const QString refused = QStringLiteral("http://127.0.0.1:%1/v1").arg(closedPort());
        h.app.preferences().setString(QStringLiteral("local_model_url"), refused);
        h.waitForStatus();
        QCOMPARE(view.onDeviceStatusLabel(),
                 QStringLiteral("No local model server answers at %1 — start one to analyse "
                                "content on this computer")
                     .arg(refused));
        QVERIFY(!view.onDeviceAvailable());
        QCOMPARE(SettingsTabView::onDeviceStatusText(AnalyzerUnavailableReason::missingCredentials,
                                                     QString(), refused),
                 QStringLiteral("Not available on this device"));
    }

    void theOrangeOnDeviceRowOpensTheLocalModelHelp() {
        SettingsHarness h;
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("onDevice"));
        h.app.preferences().setString(QStringLiteral("local_model_url"),
                                      QStringLiteral("http://127.0.0.1:%1/v1").arg(closedPort()));
        h.waitForStatus();
        SettingsTabView& view = h.open();
        auto* button = h.find<QPushButton>(QStringLiteral("OpenSettingsButton"));
        QCOMPARE(button->text(), QStringLiteral("Open Settings"));
        // While checking, and once nothing answered: orange, with the button.
        QVERIFY(button->isVisibleTo(&view));
        h.waitForStatus();
        QVERIFY(!view.onDeviceAvailable());
        QCOMPARE(h.aiStatus()->tint(), Theme::orange());
        QVERIFY(button->isVisibleTo(&view));
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(h.workspace.opened(),
                 QList<QUrl>({QUrl(QStringLiteral("https://help.example.org"))}));

        // The other modes have no button.
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("off"));
        QVERIFY(!button->isVisibleTo(&view));
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("byok"));
        QVERIFY(!button->isVisibleTo(&view));

        // A build that names no help page hides it, as its other links.
        h.app.preferences().setString(QStringLiteral("ai_mode"), QStringLiteral("onDevice"));
        SettingsServices bare = h.services();
        bare.about.helpUrl = QUrl();
        SettingsTabView& plain = h.open(bare);
        h.waitForStatus();
        QVERIFY(!plain.onDeviceAvailable());
        QVERIFY(!h.find<QPushButton>(QStringLiteral("OpenSettingsButton"))->isVisibleTo(&plain));
    }

    void theAboutAlertAndTheSettingsShowOneVersion() {
        SettingsHarness h;
        SettingsServices built = h.services();
        built.about = AboutInfo::fromBuild();
        h.open(built);
        QCOMPARE(AppMenus::aboutText().section(QLatin1Char('\n'), 0, 0),
                 QStringLiteral("Version 1.0"));
        // The build names no number of its own: a number all the same, never "Unknown".
        QCOMPARE(h.find<QLabel>(QStringLiteral("AboutVersion"))->text(),
                 QStringLiteral("Version 1.0 (1)"));
    }

    void theFirstOpeningFillsTheDefaults() {
        {
            SettingsHarness h;
            h.app.preferences().remove(QStringLiteral("ai_mode"));
            OpenAIAnalyzer::setDefaultKeySource([] { return true; }, {});
            h.open();
            QCOMPARE(h.app.preferences().stringValue(QStringLiteral("ai_mode")),
                     QStringLiteral("byok"));
            QCOMPARE(h.modePicker()->currentIndex(), 1);
        }
        SettingsHarness h;
        h.app.preferences().remove(QStringLiteral("ai_mode"));
        h.app.preferences().setInt(QStringLiteral("daily_kippet_minute"), 0);
        SettingsTabView& view = h.open();
        QCOMPARE(h.app.preferences().stringValue(QStringLiteral("ai_mode")),
                 QStringLiteral("onDevice"));
        QCOMPARE(view.apiKey(), QString());
        QCOMPARE(view.currentKeyHash(), QString());
        // Monochrome until written, the daily kippet off at 08:00.
        QCOMPARE(h.find<SegmentedControl>(QStringLiteral("TuckIconStylePicker"))->currentIndex(),
                 0);
        QCOMPARE(h.find<SegmentedControl>(QStringLiteral("TuckStylePicker"))->currentIndex(), 0);
        QVERIFY(!h.find<QCheckBox>(QStringLiteral("DailyKippetSwitch"))->isChecked());
        QVERIFY(!h.shown(QStringLiteral("DailyKippetTime")));
        QCOMPARE(view.dailyKippetTime(), QTime(8, 0));

        // A midnight that was chosen stays midnight.
        h.app.preferences().setInt(QStringLiteral("daily_kippet_hour"), 0);
        h.app.preferences().setBool(QStringLiteral("daily_kippet_hour_set"), true);
        SettingsTabView& again = h.open();
        QCOMPARE(again.dailyKippetTime(), QTime(0, 0));
    }

    void theKeyHashIsLowercaseSha256() {
        QCOMPARE(SettingsTabView::apiKeyHash(QString()), QString());
        QCOMPARE(
            SettingsTabView::apiKeyHash(QStringLiteral("abc")),
            QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    }

    void iCloudWithoutSynchronisationShowsOffAndKeepsTheStoredChoice_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<bool>("kept");
        QTest::newRow("never set") << QVariant() << true;
        QTest::newRow("true") << QVariant(true) << true;
        QTest::newRow("false") << QVariant(false) << false;
    }
    void iCloudWithoutSynchronisationShowsOffAndKeepsTheStoredChoice() {
        QFETCH(QVariant, stored);
        QFETCH(bool, kept);
        SettingsHarness h;
        h.app.preferences().remove(QStringLiteral("icloud_sync_enabled"));
        if (stored.isValid())
            h.app.preferences().setBool(QStringLiteral("icloud_sync_enabled"), stored.toBool());
        SettingsTabView& view = h.open();
        auto* toggle = h.find<QCheckBox>(QStringLiteral("ICloudSyncSwitch"));
        QVERIFY(!toggle->isEnabled());
        // Off beside the row that says why, whatever was stored.
        QVERIFY(!toggle->isChecked());
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("ICloudStatusRow"))->text(),
                 QStringLiteral("iCloud sync is not available on this system. Your kippets are "
                                "stored on this computer only."));
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("ICloudStatusRow"))->symbol(),
                 QStringLiteral("xmark.icloud"));
        QVERIFY(!h.shown(QStringLiteral("ICloudNoteRow")));
        QVERIFY(view.findChild<QLabel*>(QStringLiteral("HeaderSubtitle")) != nullptr);
        bool subtitle = false;
        for (QLabel* label : view.findChildren<QLabel*>(QStringLiteral("HeaderSubtitle")))
            subtitle = subtitle ||
                       label->text() == QStringLiteral("Sync your kippets across all your devices");
        QVERIFY(subtitle);

        // The tour's iCloud step shows its switch as the settings do.
        OnboardingState tourState;
        iCloudSyncStepView step(&tourState);
        auto* tourToggle = step.findChild<QCheckBox*>(QStringLiteral("ICloudSyncToggle"));
        QVERIFY(tourToggle);
        QCOMPARE(tourToggle->isChecked(), toggle->isChecked());
        QCOMPARE(tourToggle->isEnabled(), toggle->isEnabled());
        QCOMPARE(step.findChild<QLabel*>(QStringLiteral("ICloudStatusExplanation"))->text(),
                 QStringLiteral("iCloud sync is not available on this system. Your kippets are "
                                "stored on this computer only."));

        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(h.app.dialogs().shown().isEmpty());
        QVERIFY(!toggle->isChecked());
        // The stored choice stays as it was, for a system that can synchronise.
        QCOMPARE(view.iCloudSyncEnabled(), kept);
        QCOMPARE(tourState.iCloudSyncPreference(), kept);
        QCOMPARE(h.app.preferences().contains(QStringLiteral("icloud_sync_enabled")),
                 stored.isValid());
        if (stored.isValid())
            QCOMPARE(h.app.preferences().boolOr(QStringLiteral("icloud_sync_enabled"), !kept),
                     kept);
    }

    void iCloudCancelChangesNothingAndTheAlertNamesTheDirection() {
        SettingsHarness h;
        SyncAvailability::setAvailable(true);
        h.app.preferences().remove(QStringLiteral("icloud_sync_enabled"));
        h.open();
        auto* toggle = h.find<QCheckBox>(QStringLiteral("ICloudSyncSwitch"));
        QVERIFY(toggle->isChecked());
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("ICloudStatusRow"))->text(),
                 QStringLiteral("iCloud sync is active. Your kippets sync across devices."));
        LogCapture log;
        h.app.dialogs().queueAnswer(1);
        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(log.lines(),
                 QStringList({"[iCloud Sync] Settings toggle changed: true → false",
                              "[iCloud Sync] Showing restart confirmation alert...",
                              "[iCloud Sync] User cancelled iCloud toggle change — preference "
                              "unchanged"}));
        QVERIFY(toggle->isChecked());
        QVERIFY(!h.app.preferences().contains(QStringLiteral("icloud_sync_enabled")));
        QCOMPARE(h.relauncher->calls, 0);
        const Dialogs::Shown alert = h.app.dialogs().shown().last();
        QCOMPARE(alert.title, QStringLiteral("Restart Required"));
        QCOMPARE(alert.text, QStringLiteral("Kippets needs to restart to disable iCloud sync. Your "
                                            "data will be preserved locally on this device."));
        QCOMPARE(alert.buttons, QStringList({"Restart Now", "Cancel"}));

        // Stored off: the switch asks to turn it on.
        h.app.preferences().setBool(QStringLiteral("icloud_sync_enabled"), false);
        h.open();
        toggle = h.find<QCheckBox>(QStringLiteral("ICloudSyncSwitch"));
        QVERIFY(!toggle->isChecked());
        h.app.dialogs().queueAnswer(std::nullopt);
        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(h.app.dialogs().shown().last().text,
                 QStringLiteral("Kippets needs to restart to enable iCloud sync. Your data will be "
                                "preserved and will begin syncing across your devices."));
        QVERIFY(!toggle->isChecked());
        QCOMPARE(h.app.preferences().boolValue(QStringLiteral("icloud_sync_enabled")), false);
    }

    void restartNowStoresTheChoiceOnDiskBeforeRelaunching() {
        SettingsHarness h;
        SyncAvailability::setAvailable(true);
        h.app.preferences().setBool(QStringLiteral("icloud_sync_enabled"), true);
        SettingsTabView& view = h.open();
        LogCapture log;
        h.app.dialogs().queueAnswer(0);
        QTest::mouseClick(h.find<QCheckBox>(QStringLiteral("ICloudSyncSwitch")), Qt::LeftButton);
        QCOMPARE(h.relauncher->calls, 1);
        QCOMPARE(h.relauncher->storedOnDisk.toBool(), false);
        QVERIFY(h.relauncher->storedOnDisk.isValid());
        QVERIFY(!view.iCloudSyncEnabled());
        QVERIFY(log.contains(
            QStringLiteral("[iCloud Sync] User confirmed restart — saving preference: false")));
        QVERIFY(log.contains(
            QStringLiteral("[iCloud Sync] Relaunching app to apply iCloud sync change...")));
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("ICloudStatusRow"))->text(),
                 QStringLiteral("iCloud sync is off. Data is stored locally on this device only."));
    }

    // The restart quits: a note the store refused is not left behind without the quit's own
    // question, and going back keeps the app, the note and the stored choice.
    void restartAsksFirstWhenAnEditIsNotSaved() {
        SettingsHarness h;
        SyncAvailability::setAvailable(true);
        h.app.preferences().setBool(QStringLiteral("icloud_sync_enabled"), true);
        UnsavedEdits::Edit edit;
        edit.key = QStringLiteral("note:desk");
        edit.label = QStringLiteral("the note of “Desk”");
        bool storeTakesIt = false;
        edit.write = [&storeTakesIt] {
            if (!storeTakesIt)
                // SQLITE_FULL, as SQLite refuses a write on a full disk.
                throw StoreError(QStringLiteral("database or disk is full"), 13);
        };
        QVERIFY(h.app.unsavedEdits().save(edit));
        h.open();
        auto* toggle = h.find<QCheckBox>(QStringLiteral("ICloudSyncSwitch"));

        h.app.dialogs().queueAnswer(0);
        h.app.dialogs().queueAnswer(1);
        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(h.relauncher->calls, 0);
        QCOMPARE(h.app.dialogs().shown().size(), 2);
        const Dialogs::Shown question = h.app.dialogs().shown().last();
        QCOMPARE(question.title, QStringLiteral("Some changes are not saved"));
        QCOMPARE(question.text, QStringLiteral("Kippets could not save the note of “Desk”: the "
                                               "disk is full. If you quit now, what was not saved "
                                               "is lost."));
        QCOMPARE(question.buttons, QStringList({"Quit Anyway", "Go Back"}));
        QVERIFY(toggle->isChecked());
        QCOMPARE(h.app.preferences().boolValue(QStringLiteral("icloud_sync_enabled")), true);
        QVERIFY(!h.app.unsavedEdits().isEmpty());

        h.app.dialogs().queueAnswer(0);
        h.app.dialogs().queueAnswer(0);
        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(h.relauncher->calls, 1);
        QCOMPARE(h.relauncher->storedOnDisk.toBool(), false);

        // Once the store takes the note, the restart asks nothing more than the restart.
        storeTakesIt = true;
        h.app.dialogs().clearShown();
        h.app.dialogs().queueAnswer(0);
        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(h.relauncher->calls, 2);
        QCOMPARE(h.app.dialogs().shown().size(), 1);
    }

    // The restart quits: a todo entered just before, whose add still waits for its moment, is
    // stored before the new process starts.
    void aTodoEnteredJustBeforeTheRestartIsStored() {
        SettingsHarness h;
        SyncAvailability::setAvailable(true);
        Kippet* kippet = h.app.addKippet(QStringLiteral("Inbox"));
        KippetTodoEditorView todos(kippet, kippet->color().toQColor());
        todos.show();
        QTest::keyClicks(todos.addField(), QStringLiteral("bread"));
        QTest::keyClick(todos.addField(), Qt::Key_Return);
        QCOMPARE(todos.addField()->text(), QString());
        h.open();
        h.app.dialogs().queueAnswer(0);
        QTest::mouseClick(h.find<QCheckBox>(QStringLiteral("ICloudSyncSwitch")), Qt::LeftButton);
        QCOMPARE(h.relauncher->calls, 1);
        const std::optional<KippetModel> row = h.app.store().fetchKippet(kippet->id());
        QVERIFY(row);
        QStringList stored;
        for (const KippetTodoModel& todo : row->todos)
            stored.append(todo.text);
        QCOMPARE(stored, QStringList{QStringLiteral("bread")});
    }

    void aFailedRestartKeepsTheAppRunningAndSaysSo() {
        SettingsHarness h;
        SyncAvailability::setAvailable(true);
        bool quit = false;
        SettingsServices services = h.services();
        services.relauncher = std::make_shared<Relauncher>(
            QStringLiteral("/nonexistent/kippets"), QStringList{QStringLiteral("-x")},
            QDir::tempPath(), [&quit] { quit = true; });
        h.open(services);
        LogCapture log;
        h.app.dialogs().queueAnswer(0);
        QTest::mouseClick(h.find<QCheckBox>(QStringLiteral("ICloudSyncSwitch")), Qt::LeftButton);
        QVERIFY(!quit);
        QVERIFY(log.contains(QStringLiteral("❌ [iCloud Sync] Relaunch failed: ")));
        QCOMPARE(h.app.dialogs().shown().last().text,
                 QStringLiteral("Kippets could not restart itself. Quit and start it again to "
                                "apply the change."));
        // The choice is stored all the same: the next start applies it.
        QCOMPARE(h.app.preferences().boolValue(QStringLiteral("icloud_sync_enabled")), false);
    }

    void theRelauncherStartsTheSameProgramWithTheSameArguments() {
        QTemporaryDir folder;
        const QString out = folder.filePath(QStringLiteral("started.txt"));
        bool quit = false;
        Relauncher relauncher(QStringLiteral("/bin/sh"),
                              {QStringLiteral("-c"),
                               QStringLiteral("printf '%s\\n' \"$PWD\" \"$@\" > started.tmp && "
                                              "mv started.tmp started.txt"),
                               QStringLiteral("kippets"), QStringLiteral("-useTemporaryStorage"),
                               QStringLiteral("two words")},
                              folder.path(), [&quit] { quit = true; });
        QCOMPARE(relauncher.relaunch(), std::optional<QString>());
        QVERIFY(quit);
        QVERIFY(TaskRunner::waitUntil([&out] { return QFile::exists(out); }));
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                 QStringList(
                     {QDir(folder.path()).canonicalPath(), "-useTemporaryStorage", "two words"}));
    }

    // With the app's own services the switch starts and stops the app's scheduler, and "Check
    // for Updates..." asks the feed and tells the answer.
    void theAppsServicesAnswerTheSwitchAndTheUpdateButton() {
        SettingsHarness h;
        TestHttpServer feed;
        feed.setHandler(
            [](const TestHttpRequest&) { return TestHttpResponse::json("{\"version\":\"1.0\"}"); });
        QVERIFY(feed.start());
        UpdateChecker checker(QUrl(feed.baseUrl().toString() + QStringLiteral("/feed.json")),
                              QStringLiteral("1.0"));
        SettingsServices services = SettingsServices::shared();
        services.keychain = nullptr;
        services.workspace = &h.workspace;
        services.relauncher = h.relauncher;
        services.about = SettingsHarness::testAbout();
        services.updates = &checker;
        h.open(services);

        DailyKippetScheduler& scheduler = h.app.dailyScheduler();
        auto* toggle = h.find<QCheckBox>(QStringLiteral("DailyKippetSwitch"));
        QVERIFY(!scheduler.isRunning());
        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(scheduler.isRunning());
        QVERIFY(scheduler.isEnabled());
        QTest::mouseClick(toggle, Qt::LeftButton);
        QVERIFY(!scheduler.isRunning());
        QVERIFY(!scheduler.isEnabled());

        h.app.dialogs().clearShown();
        QTest::mouseClick(h.find<QPushButton>(QStringLiteral("CheckForUpdates")), Qt::LeftButton);
        QVERIFY(TaskRunner::waitUntil([&h] { return !h.app.dialogs().shown().isEmpty(); }));
        QCOMPARE(h.app.dialogs().shown().first().title, QStringLiteral("Software Update"));
        QCOMPARE(h.app.dialogs().shown().first().text,
                 QStringLiteral("Kippets 1.0 is up to date."));
        QCOMPARE(feed.requests().size(), 1);
    }

    void theDailyKippetSwitchTimeAndButton() {
        SettingsHarness h;
        SettingsTabView& view = h.open();
        auto* toggle = h.find<QCheckBox>(QStringLiteral("DailyKippetSwitch"));
        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(h.app.preferences().boolValue(QStringLiteral("daily_kippet_enabled")), true);
        QVERIFY(h.shown(QStringLiteral("DailyKippetTime")));
        QTest::mouseClick(toggle, Qt::LeftButton);
        QCOMPARE(h.app.preferences().boolValue(QStringLiteral("daily_kippet_enabled")), false);
        QCOMPARE(h.dailySwitches, QList<bool>({true, false}));
        QVERIFY(!h.shown(QStringLiteral("DailyKippetTime")));
        // Turned on elsewhere, the switch follows.
        h.app.preferences().setBool(QStringLiteral("daily_kippet_enabled"), true);
        QVERIFY(toggle->isChecked());
        QVERIFY(h.shown(QStringLiteral("CreateTodaysKippet")));

        h.find<QTimeEdit>(QStringLiteral("DailyKippetTime"))->setTime(QTime(0, 0));
        QCOMPARE(h.app.preferences().intValue(QStringLiteral("daily_kippet_hour")), 0);
        QCOMPARE(h.app.preferences().intValue(QStringLiteral("daily_kippet_minute")), 0);
        QCOMPARE(h.app.preferences().boolValue(QStringLiteral("daily_kippet_hour_set")), true);
        h.find<QTimeEdit>(QStringLiteral("DailyKippetTime"))->setTime(QTime(17, 45));
        QCOMPARE(h.app.preferences().intValue(QStringLiteral("daily_kippet_hour")), 17);
        QCOMPARE(h.app.preferences().intValue(QStringLiteral("daily_kippet_minute")), 45);
        QCOMPARE(view.dailyKippetTime(), QTime(17, 45));

        // Today's name taken: the button waits for a rename or the next day.
        auto* create = h.find<QPushButton>(QStringLiteral("CreateTodaysKippet"));
        QVERIFY(create->isEnabled());
        QTest::mouseClick(create, Qt::LeftButton);
        QCOMPARE(h.createCalls, 1);
        const QDate today = testClock().now().toLocalTime().date();
        Kippet* daily = h.app.manager().createKippet(
            dailyKippetName(today), KippetColor::standardBlue(), QStringLiteral("calendar"), true);
        QVERIFY(!create->isEnabled());
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("DailyKippetNote"))->text(),
                 QStringLiteral("Daily kippets are named by day and date (e.g., \"%1\").")
                     .arg(dailyKippetName(today)));
        h.app.manager().updateKippet(daily, QStringLiteral("Renamed"), daily->color(),
                                     daily->icon(), std::nullopt, std::nullopt);
        QVERIFY(create->isEnabled());
        h.app.manager().updateKippet(daily, dailyKippetName(today), daily->color(), daily->icon(),
                                     std::nullopt, std::nullopt);
        QVERIFY(!create->isEnabled());
        const QDateTime now = testClock().now().toLocalTime();
        testClock().advance(std::chrono::milliseconds(
            now.msecsTo(QDateTime(now.date().addDays(1), QTime(0, 0, 1)))));
        QVERIFY(create->isEnabled());
        QCOMPARE(h.find<SettingsStatusRow>(QStringLiteral("DailyKippetNote"))->text(),
                 QStringLiteral("Daily kippets are named by day and date (e.g., \"%1\").")
                     .arg(dailyKippetName(today.addDays(1))));
    }

    void cutoutOffHidesTheIconStyleAndKeepsIt() {
        SettingsHarness h;
        h.open();
        auto* style = h.find<SegmentedControl>(QStringLiteral("TuckStylePicker"));
        auto* icons = h.find<SegmentedControl>(QStringLiteral("TuckIconStylePicker"));
        QVERIFY(!icons->isVisibleTo(h.view));
        h.pick(style, 1);
        QCOMPARE(h.app.preferences().boolValue(QStringLiteral("kippet_tuck_cutout")), true);
        QVERIFY(icons->isVisibleTo(h.view));
        h.pick(icons, 1);
        QCOMPARE(h.app.preferences().boolValue(QStringLiteral("kippet_tuck_monochrome")), false);
        h.pick(style, 0);
        QCOMPARE(h.app.preferences().boolValue(QStringLiteral("kippet_tuck_cutout")), false);
        QVERIFY(!icons->isVisibleTo(h.view));
        QCOMPARE(h.app.preferences().boolValue(QStringLiteral("kippet_tuck_monochrome")), false);
        // Changed elsewhere, the pickers follow.
        h.app.preferences().setBool(QStringLiteral("kippet_tuck_cutout"), true);
        QCOMPARE(style->currentIndex(), 1);
        QCOMPARE(icons->currentIndex(), 1);
    }

    void aboutShowsTheBuildAndOpensItsPages() {
        SettingsHarness h;
        h.open();
        QCOMPARE(h.find<QLabel>(QStringLiteral("AboutVersion"))->text(),
                 QStringLiteral("Version 1.0 (7)"));
        QCOMPARE(h.find<QLabel>(QStringLiteral("AboutRequirement"))->text(),
                 QStringLiteral("Requires Qt 6.4 or later"));
        QTest::mouseClick(h.find<QPushButton>(QStringLiteral("HelpLink")), Qt::LeftButton);
        QTest::mouseClick(h.find<QPushButton>(QStringLiteral("PrivacyLink")), Qt::LeftButton);
        QCOMPARE(h.workspace.opened(),
                 QList<QUrl>({QUrl(QStringLiteral("https://help.example.org")),
                              QUrl(QStringLiteral("https://help.example.org/privacy"))}));

        h.app.preferences().sync();
        QFile file(h.app.preferences().fileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        QTest::mouseClick(h.find<QPushButton>(QStringLiteral("ShowOnboardingTutorial")),
                          Qt::LeftButton);
        QCOMPARE(h.app.notifications().count(NotificationName::showOnboarding), 1);
        h.app.preferences().sync();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);

        SettingsServices bare = h.services();
        bare.about = AboutInfo{};
        h.open(bare);
        QCOMPARE(h.find<QLabel>(QStringLiteral("AboutVersion"))->text(),
                 QStringLiteral("Version Unknown (Unknown)"));
        QCOMPARE(h.find<QLabel>(QStringLiteral("AboutRequirement"))->text(),
                 QStringLiteral("Requires Qt Unknown or later"));
        QVERIFY(!h.shown(QStringLiteral("HelpLink")));
        QVERIFY(!h.shown(QStringLiteral("PrivacyLink")));
    }
};

QTEST_MAIN(SettingsTabViewTest)
#include "SettingsTabViewTest.moc"
