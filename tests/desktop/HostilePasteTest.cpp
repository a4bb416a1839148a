#include "DesktopSession.h"
#include "support/DecoderMemory.h"
#include "support/HostileImageFiles.h"

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTest>
#include <atomic>
#include <thread>

namespace {
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
        const QByteArray drawing = HostileImageFiles::svgzOfDashedPaths(111000);
        for (const auto& [path, bytes] :
             {std::pair{hostile, drawing}, std::pair{ordinary, ordinaryPng()}}) {
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
        QVERIFY(desktop.clickGrabPoint(inbox));
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
        // Refused by the decoder that drew it, for what drawing it cost there (its CPU budget or
        // its memory bound): not by a check in the app, nor for a decoder lost otherwise.
        const QString output = desktop.appOutput();
        const qsizetype refused =
            output.indexOf(QStringLiteral("⚠️ [ImageDecoder] Refused a picture of %1 bytes: ")
                               .arg(drawing.size()));
        QVERIFY2(refused >= 0, qPrintable(output));
        const QString why = output.mid(refused).section(u'\n', 0, 0);
        QVERIFY2(why.contains(QStringLiteral("ms of CPU time")) ||
                     why.contains(QStringLiteral("MB of memory")),
                 qPrintable(why));
        QVERIFY2(refused < output.indexOf(QStringLiteral("falling through to Priority 2")),
                 qPrintable(output));
        // The refusal is said, in an alert the user closes before the next paste.
        const auto alert = [&] {
            const DesktopSession::WindowId window = desktop.windowTitled(QStringLiteral("Error"));
            return window != 0 && desktop.isViewable(window) ? window : 0;
        };
        QVERIFY(DesktopSession::waitUntil([&] { return alert() != 0; }));
        QVERIFY(desktop.keyUntil(alert(), QStringLiteral("Return"), [&] { return alert() == 0; }));
        QVERIFY(desktop.clickGrabPoint(inbox));
        QVERIFY2(DesktopSession::waitUntil([&] { return desktop.activeWindow() == inbox; }),
                 qPrintable(desktop.title(desktop.activeWindow())));
        QVERIFY(desktop.appHasCaughtUp(inbox));

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

    // Eight pastes of a 164-byte drawing that asks for 10⁶ × 10⁶, one right after another: each
    // becomes an item, the app's peak grows by at most 150 MB more than for one of them (whose
    // analysis looks at 4096 × 4096 pixels), and its decoders stay under 1.5 GB together.
    void eightHugeDrawingsStayWithinTheMemoryBudgets() {
        // A sanitizer build keeps what the app frees resident for a while, to catch a use after
        // it: the budgets are of memory held, so freed memory is let go at once.
        DesktopSession::Options options;
        const QString sanitizer = qEnvironmentVariable("ASAN_OPTIONS");
        options.appEnvironment << QStringLiteral("ASAN_OPTIONS=%1%2quarantine_size_mb=0")
                                      .arg(sanitizer, sanitizer.isEmpty() ? "" : ":");
        DesktopSession desktop(options);
        QVERIFY2(desktop.isReady(), qPrintable(desktop.failure()));
        desktop.seed({{QStringLiteral("Inbox"), QPointF(120, 500), true}});
        QVERIFY2(desktop.launch(2), qPrintable(desktop.appOutput()));
        const QRect panel = desktop.geometry(desktop.windowTitled(QStringLiteral("Inbox")));
        QVERIFY(!panel.isEmpty());
        const qint64 app = desktop.appProcessId();
        const auto copy = [&](const QString& type, const QString& path) {
            return desktop.run(QStringLiteral("xclip"),
                               {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                QStringLiteral("-t"), type, QStringLiteral("-i"), path});
        };
        // One ordinary paste first: what analysis loads once (its models) is no picture's.
        const QString ordinary = desktop.home() + QStringLiteral("/ordinary.png");
        {
            QFile file(ordinary);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ordinaryPng());
        }
        QCOMPARE(copy(QStringLiteral("image/png"), ordinary), 0);
        desktop.clickGrabPoint(desktop.windowTitled(QStringLiteral("Inbox")));
        desktop.key(QStringLiteral("ctrl+v"));
        QVERIFY2(
            DesktopSession::waitUntil(
                [&] { return desktop.appOutput().contains(QStringLiteral("✅ Analysis complete")); },
                120000),
            qPrintable(desktop.appOutput()));
        const qint64 peakBefore = peakMemory(app);
        QVERIFY(peakBefore > 0);
        DecoderMemoryWatch watch(app);
        const auto pasteDrawing = [&](int paste) {
            const QByteArray drawing =
                QByteArray("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1000000\" "
                           "height=\"1000000\"><rect x=\"0\" y=\"0\" width=\"500000\" "
                           "height=\"500000\" fill=\"#") +
                QByteArray::number(100000 + paste) + "\" stroke=\"none\"/></svg>\n\n\n\n\n\n";
            QCOMPARE(drawing.size(), 164);
            const QString path = desktop.home() + QStringLiteral("/huge%1.svg").arg(paste);
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(drawing);
            file.close();
            QCOMPARE(copy(QStringLiteral("image/svg+xml"), path), 0);
            desktop.key(QStringLiteral("ctrl+v"));
        };
        const auto analysed = [&](int items) {
            const bool all = DesktopSession::waitUntil(
                [&] {
                    return desktop.appOutput().count(
                               QStringLiteral("[analyzeItem] AI analysis returned")) == items;
                },
                240000);
            // A failure's own message is cut short: what the app said goes out whole beside it.
            if (!all)
                qWarning().noquote() << "the app said:" << Qt::endl << desktop.appOutput();
            return all;
        };
        // The first drawing alone: what one analysis of a 4096 × 4096 picture costs the app.
        pasteDrawing(0);
        QVERIFY(analysed(2));
        const qint64 one = peakMemory(app) - peakBefore;
        // Seven more, each as soon as the app has read the one before from the clipboard, while
        // those before are still decoded and analysed: their pixels wait for room in the app's
        // budget instead of adding up.
        const QString started = QStringLiteral("📋 Starting paste operation");
        for (int paste = 1; paste < 8; ++paste) {
            pasteDrawing(paste);
            QVERIFY2(DesktopSession::waitUntil(
                         [&] { return desktop.appOutput().count(started) == paste + 2; }, 60000),
                     qPrintable(desktop.appOutput()));
        }
        QVERIFY(analysed(9));
        // Pictures were decoded side by side, and one waited for another's pixels to go.
        const QString waited = QStringLiteral("⏳ [ImageDecoder] The pixels of a ");
        QVERIFY2(desktop.appOutput().contains(waited), qPrintable(desktop.appOutput()));
        QCOMPARE(desktop.appOutput().count(QStringLiteral("✅ Image added to kippet")), 9);
        const qint64 decoders = watch.stop();
        QVERIFY(desktop.isAppRunning());
        const qint64 grown = peakMemory(app) - peakBefore;
        qInfo("The app's peak grew by %lld MB for one drawing, %lld MB for eight; the decoders "
              "held %lld MB together",
              one >> 20, grown >> 20, decoders >> 20);
        QVERIFY2(grown <= one + 150LL * 1024 * 1024,
                 qPrintable(QStringLiteral("the app's peak grew by %1 MB for one drawing and %2 MB "
                                           "for eight")
                                .arg(one >> 20)
                                .arg(grown >> 20)));
        QVERIFY2(decoders > 0 && decoders < 1536LL * 1024 * 1024,
                 qPrintable(QStringLiteral("the decoders held %1 MB").arg(decoders >> 20)));
    }
};

QTEST_GUILESS_MAIN(HostilePasteTest)
#include "HostilePasteTest.moc"
