#include "analysis/ImageDecoder.h"
#include "app/Dialogs.h"
#include "model/Kippet.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "support/RecordedDrag.h"
#include "support/TestEnvironment.h"
#include "window/ExpandedKippetLayout.h"
#include "window/FloatingKippetView.h"
#include "window/FloatingKippetWindow.h"
#include "window/ItemCard.h"
#include "window/ItemsArea.h"
#include "window/PanelDriver.h"
#include "window/ThumbnailCache.h"

#include <QClipboard>
#include <QDropEvent>
#include <QTest>
#include <sys/resource.h>
#include <zlib.h>

using namespace PanelDriver;

// What the desktop can hand a kippet window that is not what it looks like: a folder from the
// file manager, a file URL whose name holds NULs, a PNG whose chunk claims gigabytes. None of it
// may alert, crash or cost memory out of proportion; each follows the drop's fall-through.
namespace {

// As a drag ends: it enters the view (which becomes the drop's target), then drops.
void drop(FloatingKippetWindow* window, const QMimeData& data) {
    QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewOf(window), &enter);
    QDropEvent event(QPointF(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewOf(window), &event);
}

void paste(FloatingKippetWindow* window, QMimeData* data) {
    QApplication::clipboard()->setMimeData(data);
    type(window, Qt::Key_V, Qt::ControlModifier);
}

// How long a case waits for what the intake does on its way (reading, storing, analysing): as
// the suite's other intake cases wait, long enough for a busy machine.
constexpr int intakeWaitMs = 20000;

// Whether the log says an item's analysis has ended, whichever way it went.
bool analysisEnded(const LogCapture& log) {
    return log.contains(QStringLiteral("✅ [analyzeItem] Stored item verification")) ||
           log.contains(QStringLiteral("✅ [analyzeItem] Heuristic result"));
}

QByteArray bigEndian32(quint32 value) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char((value >> (24 - 8 * i)) & 0xff);
    return bytes;
}

QByteArray chunk(const QByteArray& type, const QByteArray& data) {
    const QByteArray typed = type + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(typed.constData()), typed.size());
    return bigEndian32(data.size()) + typed + bigEndian32(quint32(crc));
}

QByteArray pngHead() {
    QByteArray header = bigEndian32(8) + bigEndian32(8);
    header += QByteArray("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, no interlace
    const QByteArray chromaticities = bigEndian32(31270) + bigEndian32(32900) + bigEndian32(64000) +
                                      bigEndian32(33000) + bigEndian32(30000) + bigEndian32(60000) +
                                      bigEndian32(15000) + bigEndian32(6000);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
           chunk("gAMA", bigEndian32(45455)) + chunk("cHRM", chromaticities);
}

// 128 bytes, of which a tEXt chunk claims 1,952,776,229.
QByteArray hostilePng() {
    QByteArray bytes = pngHead() + bigEndian32(1952776229) + "tEXt";
    bytes += QByteArray("Comment").leftJustified(128 - bytes.size(), ' ');
    return bytes;
}

QByteArray validPng() {
    QByteArray rows;
    for (int row = 0; row < 8; ++row)
        rows += '\0' + QByteArray(24, char(0x80));
    QByteArray packed(compressBound(rows.size()), '\0');
    uLongf packedSize = packed.size();
    compress(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
             reinterpret_cast<const Bytef*>(rows.constData()), rows.size());
    packed.truncate(qsizetype(packedSize));
    return pngHead() + chunk("tEXt", QByteArray("Comment\0fine", 12)) + chunk("IDAT", packed) +
           chunk("IEND", {});
}

// The most memory this process has held so far.
qint64 peakResidentBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}

QString writeFile(const QString& folder, const QString& name, const QByteArray& bytes) {
    QFile file(folder + QStringLiteral("/") + name);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write a test file");
    return file.fileName();
}

bool inOrder(const QStringList& lines, const QStringList& expected) {
    qsizetype at = 0;
    for (const QString& line : lines)
        if (at < expected.size() && line == expected[at])
            ++at;
    return at == expected.size();
}

bool holdsFileItem(const Kippet* kippet) {
    for (const KippetItem& item : kippet->items())
        if (item.type == KippetItemType::file)
            return true;
    return false;
}

ItemsArea* expandedItems(AppHarness& app, Kippet* kippet) {
    FloatingKippetWindow* window = showActive(app, kippet);
    if (!kippet->isExpanded())
        window->toggleExpanded();
    AppHarness::settle();
    return qobject_cast<ExpandedKippetLayout*>(viewOf(window)->currentLayout())->itemsArea();
}
} // namespace

class OddDropsTest : public QObject {
    Q_OBJECT
private slots:
    void aDroppedFolderFallsThroughToItsLinkWithoutAnAlert() {
        for (const char* manager : {"dolphin", "thunar", "pcmanfm"}) {
            AppHarness app;
            start(app);
            Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
            FloatingKippetWindow* window = showActive(app, kippet);
            const QString documents = RecordedDrag::copyDocuments(app.folder());
            const auto data =
                RecordedDrag::load(QStringLiteral("%1-folder").arg(manager), documents);
            const QString link = QUrl::fromLocalFile(documents + QStringLiteral("/Projects"))
                                     .toString(QUrl::FullyEncoded);
            LogCapture log;
            drop(window, *data);
            QTRY_COMPARE_WITH_TIMEOUT(kippet->items().size(), 1, intakeWaitMs);
            // The drop's last step: it ended here, and an alert would have come before.
            QTRY_VERIFY_WITH_TIMEOUT(log.contains(QStringLiteral("✅ Analysis complete")),
                                     intakeWaitMs);
            const KippetItem item = kippet->items().first();
            QCOMPARE(item.type, KippetItemType::url);
            QCOMPARE(item.metadata.urlString, std::optional<QString>(link));
            QCOMPARE(item.metadata.name, link);
            QVERIFY2(app.dialogs().shown().isEmpty(), manager);
            QVERIFY2(
                inOrder(log.lines(),
                        {QStringLiteral("📦 Handling drop with 1 provider(s)"),
                         QStringLiteral("📦 Processing provider 1/1"),
                         QStringLiteral("🔍 Checking provider types..."),
                         QStringLiteral("   Found fileURL type"),
                         QStringLiteral("   ❌ loadFileRepresentation failed: Failed to "
                                        "read file data"),
                         QStringLiteral("   ❌ All fileURL loading methods failed"),
                         QStringLiteral("   Found URL type"),
                         QStringLiteral("   ✅ Loaded URL: ") + link,
                         QStringLiteral("✅ Created item: ") + link + QStringLiteral(", type: url"),
                         QStringLiteral("✅ Added item to kippet"),
                         QStringLiteral("✅ Analysis complete")}),
                qPrintable(log.lines().join('\n')));
            QVERIFY(!log.contains(QStringLiteral("❌ Failed to create item from provider")));
        }
    }

    // No file's name holds a NUL; the MIME database crashes on some such names.
    void aFileUrlWithNulsInItsNameIsNoFile() {
        AppHarness app;
        start(app);
        Kippet* dropped = app.addKippet(QStringLiteral("Dropped"), {100, 100});
        Kippet* pasted = app.addKippet(QStringLiteral("Pasted"), {500, 100});
        const QByteArray uriList = "file:///home/user/a.m%00%00.f\r\n";
        QMimeData data;
        data.setData(QStringLiteral("text/uri-list"), uriList);
        QVERIFY(data.urls().first().toLocalFile().contains(QChar(0)));
        const QString link = QStringLiteral("file:///home/user/a.m%00%00.f");
        LogCapture log;
        drop(showActive(app, dropped), data);
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(QStringLiteral("✅ Analysis complete")), intakeWaitMs);
        QCOMPARE(dropped->items().size(), 1);
        QCOMPARE(dropped->items().first().type, KippetItemType::url);
        QVERIFY(log.contains(QStringLiteral("   ✅ Loaded URL: ") + link));
        QVERIFY(!log.contains(QStringLiteral("   Found fileURL type")));

        // The paste takes the URL as the drop did: a link, analysed; no file, and no alert.
        LogCapture pasteLog;
        auto* clipboard = new QMimeData;
        clipboard->setData(QStringLiteral("text/uri-list"), uriList);
        paste(showActive(app, pasted), clipboard);
        QTRY_COMPARE_WITH_TIMEOUT(pasted->items().size(), 1, intakeWaitMs);
        const KippetItem item = pasted->items().first();
        QCOMPARE(item.type, KippetItemType::url);
        QCOMPARE(item.metadata.urlString, std::optional<QString>(link));
        QTRY_VERIFY2_WITH_TIMEOUT(analysisEnded(pasteLog), qPrintable(pasteLog.lines().join('\n')),
                                  intakeWaitMs);
        QVERIFY2(pasteLog.contains(QStringLiteral("📋 Starting paste operation")),
                 qPrintable(pasteLog.lines().join('\n')));
        QVERIFY(!holdsFileItem(pasted));
        QVERIFY(app.dialogs().shown().isEmpty());
    }

    void aPngThatClaimsGigabytesIsNoImageAndCostsNoMemory() {
        const QByteArray hostile = hostilePng();
        QCOMPARE(hostile.size(), 128);
        const std::optional<QImage> valid = ImageDecoder::decode(validPng());
        QVERIFY(valid);
        QCOMPARE(valid->size(), QSize(8, 8));

        AppHarness app;
        start(app);
        Kippet* files = app.addKippet(QStringLiteral("Files"), {100, 100});
        Kippet* bytes = app.addKippet(QStringLiteral("Bytes"), {500, 100});
        Kippet* pasted = app.addKippet(QStringLiteral("Pasted"), {900, 100});
        const qint64 before = peakResidentBytes();

        QMimeData asFile;
        asFile.setUrls({QUrl::fromLocalFile(writeFile(app.folder(), "tiny.png", hostile))});
        drop(showActive(app, files), asFile);
        QTRY_COMPARE_WITH_TIMEOUT(files->items().size(), 1, intakeWaitMs);
        QMimeData asBytes;
        asBytes.setData(QStringLiteral("image/png"), hostile);
        drop(showActive(app, bytes), asBytes);
        QTRY_COMPARE_WITH_TIMEOUT(bytes->items().size(), 1, intakeWaitMs);
        auto* clipboard = new QMimeData;
        clipboard->setData(QStringLiteral("image/png"), hostile);
        LogCapture log;
        paste(showActive(app, pasted), clipboard);
        // The clipboard holds nothing but the picture: once it is refused, the paste has nothing
        // to fall through to, and ends there.
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(QStringLiteral("❌ Failed to create valid image data, "
                                                             "falling through to Priority 2")),
                                 intakeWaitMs);
        // The paste kept nothing, and says so once it has ended.
        QTRY_COMPARE_WITH_TIMEOUT(app.dialogs().shown().size(), 1, intakeWaitMs);
        QVERIFY(pasted->items().isEmpty());
        QVERIFY(!ImageDecoder::decode(hostile));
        QVERIFY(!ImageDecoder::declaredSize(hostile));
        const qint64 grown = peakResidentBytes() - before;
        QVERIFY2(grown < 100 * 1024 * 1024, qPrintable(QString::number(grown)));

        // Stored, then loaded at the next start and drawn.
        const QUuid filesId = files->id();
        app.restart();
        Kippet* loaded = app.manager().kippet(filesId);
        QVERIFY(loaded);
        QCOMPARE(loaded->items().size(), 1);
        const KippetItem item = loaded->items().first();
        QCOMPARE(item.content, hostile);
        const qint64 loadedAt = peakResidentBytes();
        ItemsArea* items = expandedItems(app, loaded);
        QTRY_VERIFY_WITH_TIMEOUT(items->thumbnails().isSettled(item.id), intakeWaitMs);
        QVERIFY(!items->cardFor(item.id)->showsPicture());
        const qint64 drawn = peakResidentBytes() - loadedAt;
        QVERIFY2(drawn < 100 * 1024 * 1024, qPrintable(QString::number(drawn)));
        // The drops were kept as files; only the paste, which kept nothing, is said.
        QCOMPARE(app.dialogs().shown().size(), 1);
        QCOMPARE(app.dialogs().shown().first().title, QStringLiteral("Error"));
        QCOMPARE(app.dialogs().shown().first().text, QStringLiteral("Failed to read image data"));
    }
};

QTEST_MAIN(OddDropsTest)
#include "OddDropsTest.moc"
