#pragma once

#include "dashboard/DashboardTab.h"

#include <QMainWindow>
#include <functional>

// The dashboard's window. Copy, cut, paste and select-all with the control key go to the focus
// widget whatever other modifiers are held, so Ctrl+Shift+V pastes like Ctrl+V.
class DashboardWindow : public QMainWindow {
    Q_OBJECT
public:
    // Builds the dashboard's root view, starting on the given tab.
    using ViewFactory = std::function<QWidget*(DashboardTab tab)>;

    static constexpr int defaultWidth = 1200;
    static constexpr int defaultHeight = 800;

    explicit DashboardWindow(DashboardTab tab);

    static void setViewFactory(ViewFactory factory);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
