#include "dashboard/DashboardTab.h"

QString rawValue(DashboardTab tab) {
    return tab == DashboardTab::kippets ? QStringLiteral("Kippets") : QStringLiteral("Settings");
}
