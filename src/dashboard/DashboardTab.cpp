#include "dashboard/DashboardTab.h"

#include "ui/SymbolNames.h"

const QList<DashboardTab>& allDashboardTabs() {
    static const QList<DashboardTab> tabs{DashboardTab::kippets, DashboardTab::settings};
    return tabs;
}

QString rawValue(DashboardTab tab) {
    return tab == DashboardTab::kippets ? QStringLiteral("Kippets") : QStringLiteral("Settings");
}

QString symbolName(DashboardTab tab) {
    return tab == DashboardTab::kippets ? SymbolNames::tray2Fill : SymbolNames::gear;
}

std::optional<DashboardTab> dashboardTabFromRawValue(const QString& raw) {
    for (DashboardTab tab : allDashboardTabs())
        if (rawValue(tab) == raw)
            return tab;
    return std::nullopt;
}
