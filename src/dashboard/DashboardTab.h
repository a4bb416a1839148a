#pragma once

#include <QList>
#include <QString>
#include <optional>

// The dashboard's two tabs.
enum class DashboardTab { kippets, settings };

const QList<DashboardTab>& allDashboardTabs();
// "Kippets" or "Settings".
QString rawValue(DashboardTab tab);
QString symbolName(DashboardTab tab);
std::optional<DashboardTab> dashboardTabFromRawValue(const QString& raw);
