#include "dashboard/DashboardStandIn.h"

#include "dashboard/SettingsTabView.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"

DashboardStandIn::DashboardStandIn(DashboardTab selectedTab, QWidget* parent) : QTabWidget(parent) {
    setObjectName(QStringLiteral("DashboardView"));
    addTab(new QWidget(this), rawValue(DashboardTab::kippets));
    addTab(new QWidget(this), rawValue(DashboardTab::settings));
    // The settings are built when first shown, so a dashboard opened on its kippets asks no
    // service for them.
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == 1 && !settingsBuilt_) {
            settingsBuilt_ = true;
            QWidget* placeholder = widget(1);
            removeTab(1);
            placeholder->deleteLater();
            insertTab(1, new SettingsTabView(SettingsServices::shared(), this),
                      rawValue(DashboardTab::settings));
            setCurrentIndex(1);
        }
    });
    selectTab(selectedTab);
    NotificationCenter& center = NotificationCenter::shared();
    center.observe(NotificationName::dashboardSwitchToKippets, this,
                   [this](const auto&) { selectTab(DashboardTab::kippets); });
    center.observe(NotificationName::dashboardSwitchToSettings, this,
                   [this](const auto&) { selectTab(DashboardTab::settings); });
}

DashboardTab DashboardStandIn::selectedTab() const {
    return currentIndex() == 1 ? DashboardTab::settings : DashboardTab::kippets;
}

void DashboardStandIn::selectTab(DashboardTab tab) {
    setCurrentIndex(tab == DashboardTab::kippets ? 0 : 1);
}
