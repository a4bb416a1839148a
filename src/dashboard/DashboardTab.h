#pragma once

#include <QString>

// The dashboard's two tabs.
enum class DashboardTab { kippets, settings };

// "Kippets" or "Settings".
QString rawValue(DashboardTab tab);
