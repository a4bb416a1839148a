#pragma once

class QWidget;

// Where a window of ours stands among the desktop's windows. X11 knows only "above ordinary
// windows", so the two levels the app needs are kept apart here: floating windows (panels,
// tabs, the tray, editor panels, the tour, the confetti) stay above ordinary windows on every
// workspace; modal windows (choosers, alerts, sheets, the preview, the text viewer) stand above
// every floating window for as long as they show and take the keyboard when they appear.
// Without X11 only the window flags are set.
class WindowLevel {
public:
    // Before the first show: the flags are set here, and a visible window would be hidden.
    static void makeFloating(QWidget* window);
    // Before the first show. A dialog loses its minimise and maximise buttons: hidden away it
    // would leave the window it blocks with nothing to answer on screen.
    static void makeModal(QWidget* window);
    // An ordinary window of the workspace it opened on (the dashboard). Window managers minimise
    // an application's window group together, and some count every window without a parent of
    // its own (floating windows among them) as belonging to the whole group: an ordinary window
    // stands outside the group, so minimising it leaves the floating windows in view.
    static void makeOrdinary(QWidget* window);
    // Gives the window the keyboard back, also while a child window that is closing holds it.
    static void giveKeyboardTo(QWidget* window);
    // Shows the window in front with the keyboard, un-minimised: a window the window manager
    // minimised still counts as shown to Qt, and neither showing nor raising maps it again.
    static void bringToFront(QWidget* window);
    // Un-minimises a window the window manager minimised and shows it; nothing else.
    static void showUnminimised(QWidget* window);
    // Whether the window is kept above the floating windows.
    static bool isModal(const QWidget* window);
};
