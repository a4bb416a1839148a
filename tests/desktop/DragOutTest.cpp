#include "DesktopSession.h"
#include "support/OwnedProcesses.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

namespace {
using WindowId = DesktopSession::WindowId;

// PCManFM showing a folder: it fetches what is dragged over it stamped with the wall clock's
// seconds, a time the X server never reaches.
class FileManager {
public:
    FileManager(DesktopSession& desktop, const QString& folder) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), desktop.display());
        environment.insert(QStringLiteral("HOME"), desktop.home());
        // It ends with the case, however the case ends, and what it starts with it.
        OwnedProcesses::tie(process_, environment);
        process_.setStandardOutputFile(QProcess::nullDevice());
        process_.setStandardErrorFile(QProcess::nullDevice());
        process_.start(QStringLiteral("pcmanfm"), {QStringLiteral("--no-desktop"), folder});
    }
    ~FileManager() {
        process_.kill();
        process_.waitForFinished();
    }
    FileManager(const FileManager&) = delete;
    FileManager& operator=(const FileManager&) = delete;

private:
    QProcess process_;
};

QByteArray clipboard(DesktopSession& desktop, const QString& type) {
    return desktop.output(QStringLiteral("xclip"),
                          {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                           QStringLiteral("-o"), QStringLiteral("-t"), type});
}
} // namespace

class DragOutTest : public QObject {
    Q_OBJECT
private slots:
    void everyCopyAfterDragsOutIsOnTheClipboard() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        const QString path = desktop.home() + QStringLiteral("/report.txt");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Quarterly figures\n");
        file.close();
        DesktopSession::Seed seed{
            QStringLiteral("Receipts"), QPointF(100, 150), true, false, false, {path}};
        desktop.seed({seed});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const QString folder = desktop.home() + QStringLiteral("/Documents");
        QVERIFY(QDir().mkpath(folder));
        FileManager manager(desktop, folder);
        QVERIFY(DesktopSession::waitUntil(
            [&] { return desktop.windowTitled(QStringLiteral("Documents")) != 0; }));
        const WindowId files = desktop.windowTitled(QStringLiteral("Documents"));
        const WindowId panel = desktop.windowTitled(QStringLiteral("Receipts"));
        const QRect frame = desktop.geometry(panel);
        // Window managers place a new window each their own way, some under the panel, which
        // stays above it and would take the drop: the file manager goes beside it.
        if (desktop.geometry(files).intersects(frame)) {
            QVERIFY(desktop.runChecked(QStringLiteral("xdotool"),
                                       {QStringLiteral("windowmove"), QString::number(files),
                                        QString::number(frame.right() + 60),
                                        QString::number(frame.top())}));
            QVERIFY2(DesktopSession::waitUntil(
                         [&] { return !desktop.geometry(files).intersects(frame); }),
                     qPrintable(QStringLiteral("the file manager stays at %1, under the panel")
                                    .arg(DesktopSession::described(desktop.geometry(files)))));
        }
        // Scrolled to its end, the panel shows the file's card.
        QVERIFY(desktop.scrollToEnd(panel, frame.center()));
        const QPoint card(frame.left() + 104, frame.bottom() - 237);

        for (int drag = 0; drag < 3; ++drag) {
            const QPoint into = desktop.geometry(files).center();
            QVERIFY(desktop.pressOn(panel, card));
            for (int step = 1; step <= 10; ++step)
                QVERIFY(desktop.moveTo(card + (into - card) * step / 10));
            // The drag is under way once the app owns the drag selection.
            QVERIFY2(DesktopSession::waitUntil(
                         [&] { return desktop.selectionOwner("XdndSelection") != 0; }),
                     qPrintable(QStringLiteral("drag %1 did not start").arg(drag)));
            // Over the file manager the two talk: the app says where the pointer is, the file
            // manager asks for the dragged types and says whether it takes them. Each move is
            // let go only once both have handled what came before, so the drop meets a target
            // that has answered.
            for (int wiggle = 1; wiggle <= 6; ++wiggle) {
                QVERIFY(desktop.moveTo(into + QPoint(wiggle * 7, wiggle * 3)));
                QVERIFY2(desktop.appHasCaughtUp(panel), "the app did not catch up in the drag");
                QVERIFY2(desktop.appHasCaughtUp(files),
                         "the file manager did not catch up in the drag");
                QVERIFY2(desktop.appHasCaughtUp(panel), "the app did not catch up in the drag");
            }
            QVERIFY(desktop.release());
            const QString copied = folder + QStringLiteral("/report.txt");
            QVERIFY2(DesktopSession::waitUntil([&] { return QFile::exists(copied); }),
                     qPrintable(QStringLiteral("drag %1 was not taken").arg(drag)));
            QFile::remove(copied);

            // Another owner first, so only a new copy can put the file there.
            QCOMPARE(desktop.run(QStringLiteral("xclip"),
                                 {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                  QStringLiteral("-i"), QStringLiteral("/dev/null")}),
                     0);
            QVERIFY(DesktopSession::waitUntil([&] { return desktop.openMenus().isEmpty(); }));
            QVERIFY(desktop.clickOn(panel, card, 3));
            // "Copy File" ends the card's menu.
            QVERIFY(DesktopSession::waitUntil([&] { return !desktop.openMenus().isEmpty(); }));
            QVERIFY(desktop.key(QStringLiteral("Up Return")));
            QVERIFY2(DesktopSession::waitUntil(
                         [&] {
                             return clipboard(desktop, QStringLiteral("TARGETS"))
                                 .contains("text/uri-list");
                         },
                         10000),
                     qPrintable(QStringLiteral("copy after drag %1").arg(drag)));
            QVERIFY(
                clipboard(desktop, QStringLiteral("text/uri-list")).endsWith("/report.txt\r\n"));
        }
        QVERIFY(!desktop.appOutput().contains(QStringLiteral("Cannot set X11 selection owner")));
    }
};

QTEST_GUILESS_MAIN(DragOutTest)
#include "DragOutTest.moc"
