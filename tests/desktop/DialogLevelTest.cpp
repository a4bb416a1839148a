#include "DesktopSession.h"

#include <QFile>
#include <QTest>

namespace {
using WindowId = DesktopSession::WindowId;

const QStringList fourKippets{QStringLiteral("Receipts"), QStringLiteral("Travel"),
                              QStringLiteral("Recipes"), QStringLiteral("Ideas")};

// Four collapsed panels in a row across the middle of a 1440 × 900 screen, where dialogs open.
void seedFourPanels(DesktopSession& desktop) {
    QList<DesktopSession::Seed> seeds;
    for (qsizetype i = 0; i < fourKippets.size(); ++i)
        seeds.append({fourKippets[i], QPointF(260 + 240 * i, 330)});
    desktop.seed(seeds);
}

QList<WindowId> panelsOf(const DesktopSession& desktop) {
    QList<WindowId> panels;
    for (const QString& name : fourKippets)
        panels.append(desktop.windowsTitled(name));
    return panels;
}

// Every panel lies below the window in the window manager's stacking order.
bool isAboveAll(const DesktopSession& desktop, WindowId window, const QList<WindowId>& others) {
    const int index = desktop.stackIndex(window);
    for (WindowId other : others) {
        if (desktop.stackIndex(other) > index)
            return false;
    }
    return index >= 0;
}

// Motif's function bits, which every window manager but openbox honours as the buttons it
// offers; openbox keeps "minimise" for every dialog, and minimises a sheet with its parent.
constexpr std::uint32_t motifMinimise = 0x08;
constexpr std::uint32_t motifMaximise = 0x10;

bool asksForMinimiseOrMaximise(const DesktopSession& desktop, WindowId window) {
    return desktop.motifFunctions(window) & (motifMinimise | motifMaximise);
}

bool allowsMaximise(const DesktopSession& desktop, WindowId window) {
    const QStringList actions = desktop.allowedActions(window);
    return actions.contains(QStringLiteral("_NET_WM_ACTION_MAXIMIZE_HORZ")) ||
           actions.contains(QStringLiteral("_NET_WM_ACTION_MAXIMIZE_VERT"));
}

// The first window that appears after `before`, once it shows; 0, with a warning saying what
// was seen, when none shows.
WindowId waitForNewWindow(const DesktopSession& desktop, const QList<WindowId>& before) {
    WindowId found = 0;
    const bool shown = DesktopSession::waitUntil([&] {
        const QList<WindowId> added = desktop.windowsSince(before);
        found = added.isEmpty() ? 0 : added.constLast();
        return found != 0 && desktop.isViewable(found);
    });
    if (shown)
        return found;
    qWarning("no new window showed: %s", found ? "one was listed but never mapped" : "none listed");
    return 0;
}

// Minimises the window as a task bar asks, and waits until the window manager has minimised it
// (a window that comes back must have gone first) and the app has handled whatever it asked on
// hearing it: what shows then is what stays.
bool minimiseAndCatchUp(DesktopSession& desktop, WindowId window) {
    // As the app hears that a window it shows is mapped, it asks the window manager to raise it
    // and give it the keyboard. Under load, marco dropped a minimise asked that early without
    // ever hiding the window. A user minimises a window that has come to rest: once the window
    // manager has handled what came before, the app what it heard of that, and the window
    // manager what the app asked then.
    if (!desktop.windowManagerHasCaughtUp() || !desktop.appHasCaughtUp(window) ||
        !desktop.windowManagerHasCaughtUp())
        return false;
    // IceWM honours a dialog's wish to offer no minimise, and refuses a task bar's minimise of
    // it too, though not every time: there the dialog need only stay.
    if (desktop.windowManager() == QLatin1String("icewm")) {
        desktop.askToMinimise(window);
    } else if (!desktop.minimise(window)) {
        qWarning("\"%s\" was never minimised", qPrintable(desktop.title(window)));
        return false;
    }
    return desktop.windowManagerHasCaughtUp() && desktop.appHasCaughtUp(window) &&
           desktop.windowManagerHasCaughtUp() && desktop.appHasCaughtUp(window) &&
           desktop.windowManagerHasCaughtUp();
}

// Where the window and the others stand in the window manager's stacking, for a failure.
QString stackedAt(const DesktopSession& desktop, WindowId window, const QList<WindowId>& others) {
    QStringList below;
    for (const WindowId other : others)
        below.append(QString::number(desktop.stackIndex(other)));
    return QStringLiteral("\"%1\" at %2 of %3, the others at %4")
        .arg(desktop.title(window))
        .arg(desktop.stackIndex(window))
        .arg(desktop.stacking().size())
        .arg(below.join(QLatin1Char(',')));
}

// Marked modal where the window manager keeps that state: JWM supports no _NET_WM_STATE_MODAL
// and drops it from the window's states.
bool isMarkedModal(const DesktopSession& desktop, WindowId window) {
    return desktop.windowManager() == QLatin1String("jwm") ||
           desktop.states(window).contains(QStringLiteral("_NET_WM_STATE_MODAL"));
}

bool isShownNotMinimised(const DesktopSession& desktop, WindowId window) {
    return desktop.isViewable(window) &&
           !desktop.states(window).contains(QStringLiteral("_NET_WM_STATE_HIDDEN"));
}
} // namespace

class DialogLevelTest : public QObject {
    Q_OBJECT
private slots:
    void theImportChooserStandsAbovePanelsAndTakesTheTypedPath() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        seedFourPanels(desktop);
        const QString file = desktop.home() + QStringLiteral("/boarding-pass.txt");
        QFile pass(file);
        QVERIFY(pass.open(QIODevice::WriteOnly));
        pass.write("Gate 12, seat 14C\n");
        pass.close();
        QVERIFY2(desktop.launch(5), qPrintable(desktop.appOutput()));
        const QList<WindowId> panels = panelsOf(desktop);
        QCOMPARE(panels.size(), 4);

        const WindowId travel = desktop.windowTitled(QStringLiteral("Travel"));
        desktop.clickGrabPoint(travel);
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == travel; }));
        const QList<WindowId> before = desktop.stacking();
        desktop.key(QStringLiteral("i"));
        const WindowId chooser = waitForNewWindow(desktop, before);
        QVERIFY(chooser);
        // Above them once the window manager and the app have done with its coming, as the user
        // sees them, not only as the window manager lists them (JWM lists each layer top first).
        QVERIFY(desktop.windowManagerHasCaughtUp());
        QVERIFY(desktop.appHasCaughtUp(chooser));
        QVERIFY(desktop.windowManagerHasCaughtUp());
        QVERIFY2(isAboveAll(desktop, chooser, panels),
                 qPrintable(stackedAt(desktop, chooser, panels)));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == chooser; }));

        // The path typed goes into the chooser, not into the panel as single-key commands.
        desktop.type(file);
        desktop.key(QStringLiteral("Return"));
        QVERIFY2(DesktopSession::waitUntil([&] {
                     return desktop.appOutput().contains(
                         QStringLiteral("Starting analysis for item: boarding-pass.txt"));
                 }),
                 qPrintable(desktop.appOutput()));
        QVERIFY(DesktopSession::waitUntil([&] { return !desktop.stacking().contains(chooser); }));
        // The keyboard goes back to the panel that asked, not to the dashboard.
        QVERIFY2(DesktopSession::waitUntil([&] { return desktop.activeWindow() == travel; }),
                 qPrintable(desktop.title(desktop.activeWindow())));
        QCOMPARE(desktop.windowsTitled(QStringLiteral("Receipts")).size(), 1);
    }

    void theNewKippetAlertStandsAbovePanelsOverTheDashboard() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        seedFourPanels(desktop);
        QVERIFY2(desktop.launch(5), qPrintable(desktop.appOutput()));
        const QList<WindowId> panels = panelsOf(desktop);
        const WindowId dashboard = desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
        QVERIFY(dashboard);
        // The panels lie over the dashboard: it opens in the middle of the screen.
        QVERIFY(isAboveAll(desktop, panels.constFirst(), {dashboard}));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == dashboard; }));

        const QList<WindowId> before = desktop.stacking();
        desktop.key(QStringLiteral("ctrl+n"));
        const WindowId alert = waitForNewWindow(desktop, before);
        QVERIFY(alert);
        QCOMPARE(desktop.title(alert), QStringLiteral("Create New Kippet"));
        QVERIFY(isAboveAll(desktop, alert, panels + QList<WindowId>{dashboard}));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == alert; }));
        QVERIFY(isMarkedModal(desktop, alert));
        QVERIFY(!asksForMinimiseOrMaximise(desktop, alert));
        QVERIFY(!allowsMaximise(desktop, alert));
        // Minimised all the same, the alert comes back: it blocks the app while it is open.
        QVERIFY(minimiseAndCatchUp(desktop, alert));
        QVERIFY2(DesktopSession::waitUntil([&] { return isShownNotMinimised(desktop, alert); }),
                 qPrintable(desktop.states(alert).join(u' ')));

        // A panel clicked meanwhile stays below the alert, once the window manager has handled
        // the click and the app whatever the click brought it.
        const WindowId ideas = desktop.windowTitled(QStringLiteral("Ideas"));
        desktop.clickGrabPoint(ideas);
        QVERIFY(desktop.windowManagerHasCaughtUp());
        QVERIFY(desktop.appHasCaughtUp(ideas));
        QVERIFY(desktop.windowManagerHasCaughtUp());
        QVERIFY2(DesktopSession::waitUntil([&] { return isAboveAll(desktop, alert, panels); }),
                 qPrintable(stackedAt(desktop, alert, panels)));

        desktop.clickOn(alert, desktop.geometry(alert).topLeft() + QPoint(20, 8));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == alert; }));
        desktop.type(QStringLiteral("Groceries"));
        desktop.key(QStringLiteral("Return"));
        QVERIFY2(DesktopSession::waitUntil(
                     [&] { return desktop.windowTitled(QStringLiteral("Groceries")) != 0; }),
                 qPrintable(desktop.appOutput()));
        QCOMPARE(desktop.windowsTitled(QStringLiteral("Ideas")).size(), 1);
    }

    void theCreateSheetIsAModalTransientAboveThePanels() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        seedFourPanels(desktop);
        QVERIFY2(desktop.launch(5), qPrintable(desktop.appOutput()));
        const QList<WindowId> panels = panelsOf(desktop);
        const WindowId dashboard = desktop.windowTitled(QStringLiteral("Kippets Dashboard"));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == dashboard; }));

        // The dashboard's "New Kippet" button, at the right of its header.
        const QList<WindowId> before = desktop.stacking();
        const QRect frame = desktop.geometry(dashboard);
        desktop.clickOn(dashboard, QPoint(frame.right() - 89, frame.top() + 102));
        const WindowId sheet = waitForNewWindow(desktop, before);
        QVERIFY(sheet);
        QCOMPARE(desktop.title(sheet), QStringLiteral("Create New Kippet"));
        QCOMPARE(desktop.transientFor(sheet), dashboard);
        QVERIFY(isMarkedModal(desktop, sheet));
        QVERIFY(!asksForMinimiseOrMaximise(desktop, sheet));
        QVERIFY(isAboveAll(desktop, sheet, panels));
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == sheet; }));

        // Text typed at once goes into the sheet's name field, not into a panel's note.
        desktop.type(QStringLiteral("Garden"));
        desktop.key(QStringLiteral("Return"));
        QVERIFY2(DesktopSession::waitUntil(
                     [&] { return desktop.windowTitled(QStringLiteral("Garden")) != 0; }),
                 qPrintable(desktop.appOutput()));

        // Minimised, the sheet never stays away while the dashboard waits for it.
        const QList<WindowId> withoutSheet = desktop.stacking();
        desktop.clickOn(dashboard, QPoint(frame.right() - 89, frame.top() + 102));
        const WindowId again = waitForNewWindow(desktop, withoutSheet);
        QVERIFY(again);
        // It takes the keyboard as it shows, as the first one did.
        QVERIFY(DesktopSession::waitUntil([&] { return desktop.activeWindow() == again; }));
        QVERIFY(minimiseAndCatchUp(desktop, again));
        QVERIFY2(DesktopSession::waitUntil([&] { return isShownNotMinimised(desktop, again); }),
                 qPrintable(desktop.states(again).join(u' ')));
    }
};

QTEST_GUILESS_MAIN(DialogLevelTest)
#include "DialogLevelTest.moc"
