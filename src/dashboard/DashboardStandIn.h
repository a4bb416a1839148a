#pragma once

#include "dashboard/DashboardTab.h"

#include <QTabWidget>

// The dashboard's root view until the full one exists: its two tabs, switched by the
// notifications "dashboardSwitchToKippets" and "dashboardSwitchToSettings".
class DashboardStandIn : public QTabWidget {
    Q_OBJECT
public:
    explicit DashboardStandIn(DashboardTab selectedTab, QWidget* parent = nullptr);

    DashboardTab selectedTab() const;
    void selectTab(DashboardTab tab);

private:
    bool settingsBuilt_ = false;
};
