#include "dashboard/DashboardStandIn.h"

#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"

DashboardStandIn::DashboardStandIn(DashboardTab selectedTab, QWidget* parent) : QTabWidget(parent) {
    setObjectName(QStringLiteral("DashboardView"));
    addTab(new QWidget(this), rawValue(DashboardTab::kippets));
    addTab(new QWidget(this), rawValue(DashboardTab::settings));
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
