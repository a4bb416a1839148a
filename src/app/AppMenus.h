#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QAction;
class QMenuBar;
class QWidget;

// The application's menus "Kippets", "File", "Edit", "Window" and "Help". Their actions are made
// once and shared by every menu bar built from them (the dashboard's); their shortcuts are
// application-wide and also given to each window that becomes active, so the keys work from
// every window, also while no menu bar shows. A window that carries out a Ctrl key itself claims
// it through its ShortcutOverride. Owned by the application delegate; GUI thread only.
class AppMenus : public QObject {
    Q_OBJECT
public:
    explicit AppMenus(QObject* parent = nullptr);
    ~AppMenus() override;

    // A new menu bar holding the five menus, owned by `parent`.
    QMenuBar* createMenuBar(QWidget* parent) const;
    // The shared action with the object name ("newKippet", "paste", "showAllKippets", …).
    QAction* action(const QString& objectName) const;
    const QList<QAction*>& actions() const { return actions_; }
    // Gives a top-level window the shared actions; menus, popups and modal dialogs get none.
    void attach(QWidget* window) const;

    // The commands behind the actions.
    void showAbout();
    void checkForUpdates();
    void showPreferences();
    // Hides every window of the app until a reopen request brings them back.
    void hideApplication();
    // Shows the windows the last hiding took away; false when there were none.
    bool unhideApplication();
    // The window was put away by a command of its own while the app was hidden (a panel
    // tucked from the tray): showing the app again leaves it where that command put it.
    void forgetHiddenWindow(const QWidget* window);
    void createNewKippetFromMenu();
    void createDailyKippetFromMenu();
    // Close, minimise and zoom act on the active window only when it has a title bar (the
    // dashboard, the preview window), never on the frameless panels.
    void closeWindow();
    void minimizeWindow();
    void zoomWindow();
    // Undo, redo, cut, copy, paste and select-all go to the focused widget when it has them.
    void sendEditAction(const char* slot);
    void showDashboardFromMenu();
    // Every open kippet's panel to the front, made when missing; "No Active Kippets" without
    // any. Tucked kippets are shown too and stay tucked.
    void showAllKippets();
    void bringAllToFront();
    void showHelp();

    static QString aboutText();
    static QString helpText();

private:
    struct Menu {
        QString title;
        // nullptr stands for a separator.
        QList<QAction*> items;
    };

    QAction* makeAction(const QString& objectName, const QString& title, const QKeySequence& keys,
                        void (AppMenus::*command)());
    void windowFocused();

    QList<Menu> menus_;
    QList<QAction*> actions_;
    QList<QPointer<QWidget>> hiddenWindows_;
    bool attachPending_ = false;
};
