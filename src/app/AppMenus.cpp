#include "app/AppMenus.h"

#include "app/AppCommands.h"
#include "app/BuildSettings.h"
#include "app/Dialogs.h"
#include "app/MenuBarManager.h"
#include "app/UpdateChecker.h"
#include "model/Kippet.h"
#include "platform/Log.h"
#include "store/KippetManager.h"
#include "ui/TransitionStage.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QWindow>

namespace {
QString shortcutLine(Qt::Key key, const QString& command) {
    return QKeySequence(Qt::CTRL | key).toString(QKeySequence::NativeText) + QStringLiteral(" - ") +
           command;
}

// Only real windows get the shared actions: a menu or a popup would show them as its items.
bool takesSharedActions(const QWidget* window) {
    if (!window || !window->isWindow() || qobject_cast<const QMenu*>(window) ||
        qobject_cast<const QMenuBar*>(window))
        return false;
    // A panel's transition stage is part of the panel, shown and closed by it alone: hidden and
    // shown again on its own it would stand on the screen as a stale picture.
    if (qobject_cast<const TransitionStage*>(window))
        return false;
    // The status item's icon is a window of Qt's own that the desktop's tray embeds: it belongs
    // to the tray, not to the app's windows. Hidden, the tray lets go of it and does not take it
    // back when it shows again, so the way back to the hidden windows would go with them.
    if (window->inherits("QSystemTrayIconSys"))
        return false;
    const Qt::WindowType type = window->windowType();
    if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::SplashScreen)
        return false;
    // A modal dialog waits for its own answer; a command from the menus would open a second one.
    return window->windowModality() == Qt::NonModal &&
           window->contextMenuPolicy() != Qt::ActionsContextMenu;
}

// The dashboard and the preview window have a title bar; the panels are frameless tiles.
QWidget* activeTitledWindow() {
    QWidget* window = QApplication::activeWindow();
    if (!window || window->windowType() != Qt::Window ||
        window->windowFlags().testFlag(Qt::FramelessWindowHint))
        return nullptr;
    return window;
}

QList<QWidget*> visibleAppWindows() {
    QList<QWidget*> windows;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && takesSharedActions(window))
            windows.append(window);
    }
    return windows;
}
} // namespace

AppMenus::AppMenus(QObject* parent) : QObject(parent) {
    using Key = QKeySequence;
    QAction* about = makeAction(QStringLiteral("about"), QStringLiteral("About Kippets"), {},
                                &AppMenus::showAbout);
    QAction* updates =
        makeAction(QStringLiteral("checkForUpdates"), QStringLiteral("Check for Updates..."), {},
                   &AppMenus::checkForUpdates);
    QAction* preferences =
        makeAction(QStringLiteral("preferences"), QStringLiteral("Preferences..."),
                   Key(Qt::CTRL | Qt::Key_Comma), &AppMenus::showPreferences);
    QAction* hide = makeAction(QStringLiteral("hide"), QStringLiteral("Hide Kippets"),
                               Key(Qt::CTRL | Qt::Key_H), &AppMenus::hideApplication);
    QAction* quit = makeAction(QStringLiteral("quit"), QStringLiteral("Quit Kippets"),
                               Key(Qt::CTRL | Qt::Key_Q), nullptr);
    connect(quit, &QAction::triggered, this, &AppCommands::quit);
    menus_.append({QStringLiteral("Kippets"),
                   {about, nullptr, updates, nullptr, preferences, nullptr, hide, nullptr, quit}});

    QAction* newKippet = makeAction(QStringLiteral("newKippet"), QStringLiteral("New Kippet..."),
                                    Key(Qt::CTRL | Qt::Key_N), &AppMenus::createNewKippetFromMenu);
    QAction* newDaily =
        makeAction(QStringLiteral("newDailyKippet"), QStringLiteral("New Daily Kippet"), {},
                   &AppMenus::createDailyKippetFromMenu);
    QAction* close = makeAction(QStringLiteral("closeWindow"), QStringLiteral("Close Window"),
                                Key(Qt::CTRL | Qt::Key_W), &AppMenus::closeWindow);
    menus_.append({QStringLiteral("File"), {newKippet, newDaily, nullptr, close}});

    const auto edit = [this](const QString& name, const QString& title, const Key& keys,
                             const char* slot) {
        QAction* action = makeAction(name, title, keys, nullptr);
        connect(action, &QAction::triggered, this, [this, slot] { sendEditAction(slot); });
        return action;
    };
    menus_.append(
        {QStringLiteral("Edit"),
         {edit(QStringLiteral("undo"), QStringLiteral("Undo"), Key(Qt::CTRL | Qt::Key_Z), "undo"),
          edit(QStringLiteral("redo"), QStringLiteral("Redo"),
               Key(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), "redo"),
          nullptr,
          edit(QStringLiteral("cut"), QStringLiteral("Cut"), Key(Qt::CTRL | Qt::Key_X), "cut"),
          edit(QStringLiteral("copy"), QStringLiteral("Copy"), Key(Qt::CTRL | Qt::Key_C), "copy"),
          edit(QStringLiteral("paste"), QStringLiteral("Paste"), Key(Qt::CTRL | Qt::Key_V),
               "paste"),
          edit(QStringLiteral("selectAll"), QStringLiteral("Select All"), Key(Qt::CTRL | Qt::Key_A),
               "selectAll")}});

    QAction* dashboard = makeAction(QStringLiteral("dashboard"), QStringLiteral("Dashboard"),
                                    Key(Qt::CTRL | Qt::Key_D), &AppMenus::showDashboardFromMenu);
    QAction* showAll =
        makeAction(QStringLiteral("showAllKippets"), QStringLiteral("Show All Kippets"),
                   Key(Qt::CTRL | Qt::Key_P), &AppMenus::showAllKippets);
    QAction* minimize = makeAction(QStringLiteral("minimize"), QStringLiteral("Minimize"),
                                   Key(Qt::CTRL | Qt::Key_M), &AppMenus::minimizeWindow);
    QAction* zoom =
        makeAction(QStringLiteral("zoom"), QStringLiteral("Zoom"), {}, &AppMenus::zoomWindow);
    QAction* front =
        makeAction(QStringLiteral("bringAllToFront"), QStringLiteral("Bring All to Front"), {},
                   &AppMenus::bringAllToFront);
    menus_.append({QStringLiteral("Window"),
                   {dashboard, nullptr, showAll, nullptr, minimize, zoom, nullptr, front}});

    QAction* help = makeAction(QStringLiteral("help"), QStringLiteral("Kippets Help"),
                               Key(Qt::CTRL | Qt::Key_Question), &AppMenus::showHelp);
    menus_.append({QStringLiteral("Help"), {help}});

    connect(qApp, &QGuiApplication::focusWindowChanged, this, &AppMenus::windowFocused);
    attach(QApplication::activeWindow());
}

AppMenus::~AppMenus() = default;

QAction* AppMenus::makeAction(const QString& objectName, const QString& title,
                              const QKeySequence& keys, void (AppMenus::*command)()) {
    auto* action = new QAction(title, this);
    action->setObjectName(objectName);
    action->setShortcut(keys);
    action->setShortcutContext(Qt::ApplicationShortcut);
    // The menus belong to the dashboard; the roles would move items into a platform menu.
    action->setMenuRole(QAction::NoRole);
    if (command)
        connect(action, &QAction::triggered, this, command);
    actions_.append(action);
    return action;
}

QMenuBar* AppMenus::createMenuBar(QWidget* parent) const {
    auto* bar = new QMenuBar(parent);
    bar->setNativeMenuBar(false);
    for (const Menu& entry : menus_) {
        QMenu* menu = bar->addMenu(entry.title);
        for (QAction* item : entry.items) {
            if (item)
                menu->addAction(item);
            else
                menu->addSeparator();
        }
    }
    return bar;
}

QAction* AppMenus::action(const QString& objectName) const {
    for (QAction* candidate : actions_) {
        if (candidate->objectName() == objectName)
            return candidate;
    }
    return nullptr;
}

void AppMenus::attach(QWidget* window) const {
    if (!takesSharedActions(window) || window->actions().contains(actions_.first()))
        return;
    window->addActions(actions_);
}

void AppMenus::windowFocused() {
    // The launch activates every restored panel in turn: one attachment, to the window that
    // ends up active, is all a key press needs.
    if (std::exchange(attachPending_, true))
        return;
    QMetaObject::invokeMethod(
        this,
        [this] {
            attachPending_ = false;
            attach(QApplication::activeWindow());
        },
        Qt::QueuedConnection);
}

QString AppMenus::aboutText() {
    // The build's version, as the settings' About section shows it.
    return QStringList{QStringLiteral("Version ") + BuildSettings::version(), QString(),
                       QStringLiteral("A powerful kippet manager for Linux."), QString(),
                       QStringLiteral("Organize your files, links, notes, and more with "
                                      "AI-powered categorization.")}
        .join(QLatin1Char('\n'));
}

QString AppMenus::helpText() {
    return QStringList{
        QStringLiteral("Getting Started:"),
        QString(),
        QStringLiteral("1. Create a new kippet from the menu bar or File menu"),
        QStringLiteral("2. Drag & drop files, text, links, or images into your kippet"),
        QStringLiteral("3. AI will automatically categorize your items"),
        QStringLiteral("4. Click the + button on any kippet to create another"),
        QStringLiteral("5. Use the Dashboard to view all your kippets"),
        QString(),
        QStringLiteral("Keyboard Shortcuts:"),
        shortcutLine(Qt::Key_N, QStringLiteral("New Kippet")),
        shortcutLine(Qt::Key_D, QStringLiteral("Dashboard")),
        shortcutLine(Qt::Key_P, QStringLiteral("Show All Kippets")),
        shortcutLine(Qt::Key_W, QStringLiteral("Close Window")),
        shortcutLine(Qt::Key_Q, QStringLiteral("Quit Kippets"))}
        .join(QLatin1Char('\n'));
}

void AppMenus::showAbout() {
    Dialogs::shared().showInformation(QStringLiteral("Kippets"), aboutText(),
                                      QApplication::activeWindow());
}

void AppMenus::checkForUpdates() {
    if (!UpdateChecker::isInstalled()) {
        Log::line(QStringLiteral(
            "⚠️ [Updates] Update checker unavailable — cannot check for updates"));
        return;
    }
    UpdateChecker::shared().checkForUpdates(QApplication::activeWindow());
}

void AppMenus::showPreferences() {
    Dialogs::shared().showInformation(QStringLiteral("Preferences"),
                                      QStringLiteral("Preferences coming soon!"),
                                      QApplication::activeWindow());
}

void AppMenus::hideApplication() {
    const QList<QWidget*> windows = visibleAppWindows();
    for (QWidget* window : windows) {
        hiddenWindows_.append(window);
        window->hide();
    }
}

bool AppMenus::unhideApplication() {
    bool shown = false;
    for (const QPointer<QWidget>& window : std::exchange(hiddenWindows_, {})) {
        if (window && !window->isVisible()) {
            window->show();
            shown = true;
        }
    }
    return shown;
}

void AppMenus::forgetHiddenWindow(const QWidget* window) {
    hiddenWindows_.removeIf([window](const QPointer<QWidget>& hidden) { return hidden == window; });
}

void AppMenus::createNewKippetFromMenu() {
    AppCommands::newKippet();
}

void AppMenus::createDailyKippetFromMenu() {
    AppCommands::newDailyKippet();
}

void AppMenus::closeWindow() {
    if (QWidget* window = activeTitledWindow())
        window->close();
}

void AppMenus::minimizeWindow() {
    if (QWidget* window = activeTitledWindow())
        window->showMinimized();
}

void AppMenus::zoomWindow() {
    QWidget* window = activeTitledWindow();
    if (!window)
        return;
    if (window->isMaximized())
        window->showNormal();
    else
        window->showMaximized();
}

void AppMenus::sendEditAction(const char* slot) {
    QWidget* focused = QApplication::focusWidget();
    if (!focused)
        return;
    const QByteArray signature = QByteArray(slot) + "()";
    if (focused->metaObject()->indexOfMethod(signature.constData()) >= 0)
        QMetaObject::invokeMethod(focused, slot);
}

void AppMenus::showDashboardFromMenu() {
    AppCommands::showDashboard();
}

void AppMenus::showAllKippets() {
    const QList<Kippet*> active = KippetManager::shared().activeKippets();
    if (active.isEmpty()) {
        Dialogs::shared().showInformation(QStringLiteral("No Active Kippets"),
                                          QStringLiteral("Create a new kippet to get started!"),
                                          QApplication::activeWindow());
        return;
    }
    if (!MenuBarManager::isInstalled())
        return;
    for (Kippet* kippet : active)
        MenuBarManager::shared().showWindow(kippet);
}

void AppMenus::bringAllToFront() {
    QWidget* active = QApplication::activeWindow();
    for (QWidget* window : visibleAppWindows())
        window->raise();
    // The window that was in front stays in front of the others.
    if (active) {
        active->raise();
        active->activateWindow();
    }
}

void AppMenus::showHelp() {
    Dialogs::shared().showInformation(QStringLiteral("Kippets Help"), helpText(),
                                      QApplication::activeWindow());
}
