#pragma once

#include "analysis/LocalModelServer.h"
#include "analysis/OpenAIAnalyzer.h"
#include "app/Relauncher.h"
#include "app/SyncAvailability.h"
#include "app/Workspace.h"
#include "dashboard/SegmentedControl.h"
#include "dashboard/SettingsServices.h"
#include "dashboard/SettingsStatusRow.h"
#include "dashboard/SettingsTabView.h"
#include "platform/Clock.h"
#include "platform/Preferences.h"
#include "support/AppHarness.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTest>
#include <memory>

// Records what the settings' restart would do instead of starting anything: the value of
// "icloud_sync_enabled" in the preferences file as a new process would read it.
class RecordingRelauncher : public Relauncher {
public:
    RecordingRelauncher() : Relauncher(QString(), {}, QString(), {}) {}

    std::optional<QString> relaunch() override {
        ++calls;
        QSettings file(Preferences::shared().fileName(), QSettings::IniFormat);
        storedOnDisk = file.value(QStringLiteral("icloud_sync_enabled"));
        return std::nullopt;
    }

    int calls = 0;
    QVariant storedOnDisk;
};

// The settings tab in a two-tab dashboard on the app harness: its store and manager, the local
// model server answering from a local HTTP server, recorded dialogs, notifications and web
// pages, and the test clock.
class SettingsHarness {
public:
    SettingsHarness() {
        app.start();
        workspace.setRecordingOnly(true);
        SyncAvailability::setAvailable(false);
        OpenAIAnalyzer::setDefaultKeySource({}, {});
    }
    ~SettingsHarness() {
        dashboard.reset();
        SyncAvailability::setAvailable(false);
        OpenAIAnalyzer::setDefaultKeySource({}, {});
    }

    static AboutInfo testAbout() {
        return AboutInfo{QStringLiteral("1.0"),
                         QStringLiteral("7"),
                         QStringLiteral("6.4"),
                         QUrl(QStringLiteral("https://help.example.org")),
                         QUrl(QStringLiteral("https://help.example.org/privacy")),
                         QUrl(QStringLiteral("https://keys.example.org/api-keys"))};
    }

    SettingsServices services() {
        SettingsServices built = SettingsServices::shared();
        built.keychain = nullptr;
        built.workspace = &workspace;
        built.relauncher = relauncher;
        built.about = testAbout();
        built.dailyKippetSwitched = [this](bool enabled) { dailySwitches.append(enabled); };
        built.createDailyKippet = [this] { ++createCalls; };
        return built;
    }

    // Builds the tab and shows it as the dashboard's second tab.
    SettingsTabView& open(std::optional<SettingsServices> with = std::nullopt) {
        dashboard = std::make_unique<QTabWidget>();
        dashboard->addTab(new QWidget(), QStringLiteral("Kippets"));
        view = new SettingsTabView(with ? *with : services());
        dashboard->addTab(view, QStringLiteral("Settings"));
        dashboard->setCurrentIndex(1);
        dashboard->resize(900, 700);
        dashboard->show();
        return *view;
    }
    void showKippetsTab() { dashboard->setCurrentIndex(0); }
    void showSettingsTab() { dashboard->setCurrentIndex(1); }

    template <typename T> T* find(const QString& name) const {
        T* child = view->findChild<T*>(name);
        if (!child)
            qFatal("no child %s", qPrintable(name));
        return child;
    }
    SettingsStatusRow* aiStatus() const {
        return find<SettingsStatusRow>(QStringLiteral("settings_aiStatusRow"));
    }
    SegmentedControl* modePicker() const {
        return find<SegmentedControl>(QStringLiteral("settings_aiModePicker"));
    }
    bool shown(const QString& name) const { return find<QWidget>(name)->isVisibleTo(view); }
    void pick(SegmentedControl* picker, int index) {
        QTest::mouseClick(picker->segment(index), Qt::LeftButton);
    }
    // Waits until the local model server has answered and is not probing again.
    void waitForStatus() {
        LocalModelServer* server = &app.localModel();
        QVERIFY(TaskRunner::waitUntil(
            [server] { return server->hasAnswered() && !server->isProbing(); }));
    }

    AppHarness app;
    Workspace workspace;
    std::shared_ptr<RecordingRelauncher> relauncher = std::make_shared<RecordingRelauncher>();
    QList<bool> dailySwitches;
    int createCalls = 0;
    std::unique_ptr<QTabWidget> dashboard;
    SettingsTabView* view = nullptr;
};
