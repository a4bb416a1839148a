#pragma once

#include "app/DashboardWindow.h"
#include "dashboard/DashboardView.h"
#include "dashboard/KippetTile.h"
#include "dashboard/KippetTileList.h"
#include "dashboard/SheetHarness.h"

#include <QApplication>
#include <QLocale>
#include <QTest>

// The dashboard as the app shows it, over the sheet harness: the registry's real dashboard
// window on the kippets tab, laid out at its default size, locale pinned to US English.
class DashboardHarness : public SheetHarness {
public:
    DashboardHarness() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    DashboardView* open() {
        registry().showDashboard();
        DashboardWindow* window = registry().dashboardWindow();
        window->resize(DashboardWindow::defaultWidth, DashboardWindow::defaultHeight);
        settle();
        return view();
    }
    DashboardView* view() {
        return qobject_cast<DashboardView*>(app.registry().dashboardWindow()->centralWidget());
    }
    static void settle() {
        QApplication::sendPostedEvents();
        AppHarness::settle();
    }
    // The names on the cards or rows in view, top to bottom.
    QStringList shownNames() {
        settle();
        QStringList names;
        for (KippetTile* tile : view()->tileList()->tiles())
            if (tile->isVisible())
                names.append(tile->kippet()->name());
        return names;
    }
    KippetTile* tileOf(const QString& name) {
        settle();
        return view()->tileList()->tileFor(app.byName(name));
    }
    Kippet* closedKippet(const QString& name) {
        Kippet* kippet = createKippet(name);
        manager().closeKippet(kippet);
        return kippet;
    }
};
