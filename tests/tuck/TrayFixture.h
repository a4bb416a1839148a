#pragma once

#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "platform/Preferences.h"
#include "support/AppHarness.h"
#include "tuck/DesktopTuckWindowFactory.h"
#include "tuck/TuckAwayPanel.h"
#include "tuck/TuckAwayPullTab.h"
#include "tuck/TuckAwayView.h"
#include "tuck/TuckAwayWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMenu>
#include <QTest>

struct TrayFixture {
    // The app's own tuck windows.
    DesktopTuckWindowFactory factory;
    AppHarness app;

    TrayFixture() {
        app.setTuckWindowFactory(&factory);
        app.start();
    }
    ~TrayFixture() { flushDeletes(); }

    MenuBarManager& registry() { return app.registry(); }
    // The trays that closed from inside their own controls go now.
    static void flushDeletes() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Tucks the open kippets away and returns the tray.
    TuckAwayWindow* tuck() {
        registry().tuckAwayKippets();
        return tray();
    }
    TuckAwayWindow* tray() { return dynamic_cast<TuckAwayWindow*>(registry().tuckAwayWindow()); }
    static void clickTab(TuckAwayWindow* tray) {
        QTest::mouseClick(tray->view()->pullTab(), Qt::LeftButton, {}, QPoint(14, 35));
    }
    // Presses the tab, moves by `distance` points to the right and lets go.
    static void dragTab(TuckAwayWindow* tray, int distance) {
        TuckAwayPullTab* tab = tray->view()->pullTab();
        QTest::mousePress(tab, Qt::LeftButton, {}, QPoint(10, 35));
        QTest::mouseMove(tab, QPoint(10 + distance, 35));
        QTest::mouseRelease(tab, Qt::LeftButton, {}, QPoint(10 + distance, 35));
    }
    static QAction* action(QMenu* menu, const QString& text) {
        for (QAction* action : menu->actions()) {
            if (action->text() == text)
                return action;
            if (action->menu()) {
                if (QAction* inner = TrayFixture::action(action->menu(), text))
                    return inner;
            }
        }
        return nullptr;
    }
};
