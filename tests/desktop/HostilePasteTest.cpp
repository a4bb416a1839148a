#include "DesktopSession.h"
#include "support/HostileImageFiles.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QTest>

namespace {
// The peak resident memory of a process so far (VmHWM), in bytes; -1 when unknown.
qint64 peakMemory(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

QByteArray ordinaryPng() {
    QImage image(48, 32, QImage::Format_RGB32);
    image.fill(QColor(200, 40, 90));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
} // namespace

// A hostile picture pasted with Ctrl+V into the built app costs the app nothing: it is decoded,
// and refused, by a decoder process, and the next paste is stored as if it had never been.
class HostilePasteTest : public QObject {
    Q_OBJECT
private slots:
    void aHostilePasteCostsTheAppNothingAndTheNextIsStored() {
        DesktopSession desktop;
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Inbox"), QPointF(120, 500), true}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const DesktopSession::WindowId inbox = desktop.windowTitled(QStringLiteral("Inbox"));
        const QRect panel = desktop.geometry(inbox);
        QVERIFY(!panel.isEmpty());
        const qint64 peakBefore = peakMemory(desktop.appProcessId());
        QVERIFY(peakBefore > 0);

        // Forty kilobytes of dashed lines: no check of the bytes tells what drawing them costs.
        const QString hostile = desktop.home() + QStringLiteral("/hostile.svgz");
        const QString ordinary = desktop.home() + QStringLiteral("/ordinary.png");
        for (const auto& [path, bytes] :
             {std::pair{hostile, HostileImageFiles::svgzOfDashedPaths(111000)},
              std::pair{ordinary, ordinaryPng()}}) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        const auto copy = [&](const QString& type, const QString& path) {
            return desktop.run(QStringLiteral("xclip"),
                               {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                QStringLiteral("-t"), type, QStringLiteral("-i"), path});
        };

        QCOMPARE(copy(QStringLiteral("image/svg+xml"), hostile), 0);
        QVERIFY(desktop.click(DesktopSession::grabPoint(panel)));
        // Ctrl+V goes where the keyboard is: the panel has it once the window manager says so and
        // the app has heard of it.
        QVERIFY2(DesktopSession::waitUntil([&] { return desktop.activeWindow() == inbox; }),
                 qPrintable(desktop.title(desktop.activeWindow())));
        QVERIFY(desktop.appHasCaughtUp(inbox));
        desktop.key(QStringLiteral("ctrl+v"));
        QVERIFY2(DesktopSession::waitUntil(
                     [&] {
                         return desktop.appOutput().contains(
                             QStringLiteral("falling through to Priority 2"));
                     },
                     60000),
                 qPrintable(desktop.appOutput()));

        QCOMPARE(copy(QStringLiteral("image/png"), ordinary), 0);
        desktop.key(QStringLiteral("ctrl+v"));
        QVERIFY2(DesktopSession::waitUntil(
                     [&] {
                         return desktop.appOutput().contains(
                             QStringLiteral("✅ Image added to kippet"));
                     },
                     60000),
                 qPrintable(desktop.appOutput()));
        QVERIFY(desktop.isAppRunning());
        const qint64 grown = peakMemory(desktop.appProcessId()) - peakBefore;
        QVERIFY2(grown <= 100LL * 1024 * 1024,
                 qPrintable(QStringLiteral("the app's peak grew by %1 MB").arg(grown >> 20)));
    }
};

QTEST_GUILESS_MAIN(HostilePasteTest)
#include "HostilePasteTest.moc"
