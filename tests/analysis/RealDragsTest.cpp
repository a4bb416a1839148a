#include "analysis/KippetIntake.h"
#include "model/Kippet.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/IntakeFixture.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

// Drops and pastes with the MIME data real applications put on an X11 drag or clipboard,
// recorded from a file manager, browsers and an editor (tests/analysis/drags). Each dragged
// object becomes one item, of the kind and name the user would expect.
namespace {
const QByteArray recordedFolder = "/home/user/Documents";

// One expected item: its type and name; an empty name stands for "Image " + a timestamp.
struct Expected {
    KippetItemType type;
    QString name;
};

QString drags() {
    return QStringLiteral(KIPPETS_TESTS_DIR "/analysis/drags");
}

// The recorded data as the drop or paste handler received it, with the recorded folder moved to
// where the test keeps copies of the same files.
std::unique_ptr<QMimeData> recorded(const QString& fixture, const QString& documents,
                                    const QStringList& leaveOut = {}) {
    QFile file(drags() + QStringLiteral("/") + fixture + QStringLiteral(".json"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing drag fixture");
    const QJsonObject recording = QJsonDocument::fromJson(file.readAll()).object();
    auto data = std::make_unique<QMimeData>();
    const QByteArray folder = documents.toUtf8();
    for (const QJsonValue& entry : recording["formats"].toArray()) {
        const QJsonObject format = entry.toObject();
        const QString encoding = format["encoding"].toString();
        const QString mime = format["mime"].toString();
        // Only a prefix was recorded, or Qt makes the type itself.
        if (encoding == "digest" || mime == "application/x-qt-image" || leaveOut.contains(mime))
            continue;
        QByteArray bytes = encoding == "utf8"
                               ? format["data"].toString().toUtf8()
                               : QByteArray::fromBase64(format["data"].toString().toLatin1());
        bytes.replace(recordedFolder, folder);
        bytes.replace(QByteArray(recordedFolder).replace("/", "%2F"),
                      QByteArray(folder).replace("/", "%2F"));
        data->setData(mime, bytes);
    }
    // A plain QMimeData does not decode image types by itself; the platform's did.
    if (recording["hasImage"].toBool() && data->hasFormat("image/png"))
        data->setImageData(QImage::fromData(data->data("image/png"), "PNG"));
    return data;
}

QByteArray documentBytes(const QString& name) {
    QFile file(drags() + QStringLiteral("/Documents/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A copy of the folder the file managers showed.
QString copyDocuments(const IntakeFixture& h) {
    const QString target = h.folder() + QStringLiteral("/Documents");
    QDirIterator files(drags() + QStringLiteral("/Documents"),
                       QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                       QDirIterator::Subdirectories);
    const QString source = drags() + QStringLiteral("/Documents");
    QDir().mkpath(target);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString copy = target + path.mid(source.size());
        if (QFileInfo(path).isDir())
            QDir().mkpath(copy);
        else
            QFile::copy(path, copy);
    }
    return target;
}

void compareItems(const Kippet& kippet, const QList<Expected>& expected) {
    const QList<KippetItem> items = kippet.items();
    QCOMPARE(items.size(), expected.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        QCOMPARE(items[i].type, expected[i].type);
        if (expected[i].name.isEmpty())
            QVERIFY2(items[i].metadata.name.startsWith(QStringLiteral("Image ")),
                     qPrintable(items[i].metadata.name));
        else
            QCOMPARE(items[i].metadata.name, expected[i].name);
    }
}

const QString sentence = QStringLiteral("The quick brown fox jumps over the lazy dog.");
const QList<Expected> threeFiles = {{KippetItemType::image, QStringLiteral("picture.png")},
                                    {KippetItemType::file, QStringLiteral("report.pdf")},
                                    {KippetItemType::file, QStringLiteral("Résumé 2024.txt")}};
const QList<Expected> oneFile = {{KippetItemType::file, QStringLiteral("report.pdf")}};
const QList<Expected> oneLink = {{KippetItemType::url, QStringLiteral("example.org")}};
const QList<Expected> oneText = {{KippetItemType::text, sentence}};
} // namespace

Q_DECLARE_METATYPE(QList<Expected>)

class RealDragsTest : public QObject {
    Q_OBJECT
private slots:
    void eachDraggedObjectIsOneItem_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QList<Expected>>("expected");
        for (const char* manager : {"pcmanfm", "thunar", "dolphin"}) {
            QTest::addRow("%s one file", manager)
                << QStringLiteral("%1-one-file").arg(manager) << oneFile;
            QTest::addRow("%s three files", manager)
                << QStringLiteral("%1-three-files").arg(manager) << threeFiles;
        }
        const QList<Expected> browserImage = {{KippetItemType::image, QString()}};
        for (const char* browser : {"chromium", "firefox"}) {
            QTest::addRow("%s image", browser)
                << QStringLiteral("%1-image").arg(browser) << browserImage;
            QTest::addRow("%s link", browser) << QStringLiteral("%1-link").arg(browser) << oneLink;
            QTest::addRow("%s text", browser) << QStringLiteral("%1-text").arg(browser) << oneText;
        }
        QTest::addRow("mousepad text") << QStringLiteral("mousepad-text") << oneText;
    }
    void eachDraggedObjectIsOneItem() {
        QFETCH(QString, fixture);
        QFETCH(QList<Expected>, expected);
        IntakeFixture h;
        const std::unique_ptr<QMimeData> data = recorded(fixture, copyDocuments(h));
        LogCapture log;
        TaskRunner::finish(h.intake->handleDrop(*data));
        compareItems(*h.kippet, expected);
        QVERIFY(log.contains(
            QStringLiteral("📦 Handling drop with %1 provider(s)").arg(expected.size())));
        QCOMPARE(h.analyzer->analyzedItems.size(), expected.size());
    }

    void filesKeepTheirBytesAndTypes() {
        IntakeFixture h;
        const std::unique_ptr<QMimeData> data =
            recorded(QStringLiteral("pcmanfm-three-files"), copyDocuments(h));
        TaskRunner::finish(h.intake->handleDrop(*data));
        const QList<KippetItem> items = h.kippet->items();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0].content, documentBytes(QStringLiteral("picture.png")));
        QCOMPARE(items[0].metadata.mimeType, std::optional<QString>(QStringLiteral("image/png")));
        QCOMPARE(items[1].metadata.mimeType,
                 std::optional<QString>(QStringLiteral("application/pdf")));
        QCOMPARE(items[2].content, documentBytes(QStringLiteral("Résumé 2024.txt")));
        QCOMPARE(items[2].metadata.fileExtension, std::optional<QString>(QStringLiteral("txt")));
    }

    void aBrowserImageIsItsImageNotALink() {
        IntakeFixture h;
        // Chromium hands over the image file's own bytes, Firefox a PNG of the picture.
        const std::unique_ptr<QMimeData> chromium =
            recorded(QStringLiteral("chromium-image"), copyDocuments(h));
        LogCapture log;
        TaskRunner::finish(h.intake->handleDrop(*chromium));
        QCOMPARE(h.kippet->items().size(), 1);
        const KippetItem image = h.kippet->items().first();
        QCOMPARE(image.content, documentBytes(QStringLiteral("picture.png")));
        QCOMPARE(image.metadata.thumbnail, std::optional<QByteArray>(image.content));
        QCOMPARE(image.metadata.mimeType, std::optional<QString>(QStringLiteral("image/png")));
        QVERIFY(!image.metadata.fileExtension);
        QVERIFY(log.contains(QStringLiteral("   Found image type")));
        QVERIFY(log.contains(QStringLiteral("   ✅ Loaded image as Data (1932 bytes)")));
        QVERIFY(!log.contains(QStringLiteral("   Found URL type")));

        const std::unique_ptr<QMimeData> firefox =
            recorded(QStringLiteral("firefox-image"), copyDocuments(h));
        TaskRunner::finish(h.intake->handleDrop(*firefox));
        QCOMPARE(h.kippet->items().size(), 2);
        QVERIFY(h.kippet->items()[1].content.startsWith("\x89PNG"));
        QCOMPARE(h.kippet->items()[1].content.size(), 2374);
    }

    void aFolderFallsThroughToItsLink() {
        for (const char* manager : {"pcmanfm", "thunar", "dolphin"}) {
            IntakeFixture h;
            const QString documents = copyDocuments(h);
            const std::unique_ptr<QMimeData> data =
                recorded(QStringLiteral("%1-folder").arg(manager), documents);
            QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
            TaskRunner::finish(h.intake->handleDrop(*data));
            QCOMPARE(errors.size(), 0);
            QCOMPARE(h.kippet->items().size(), 1);
            QCOMPARE(h.kippet->items()[0].type, KippetItemType::url);
            QCOMPARE(
                h.kippet->items()[0].metadata.urlString,
                std::optional<QString>(
                    QUrl::fromLocalFile(documents + "/Projects").toString(QUrl::FullyEncoded)));
        }
    }

    void aUrlGivenOnlyAsBytesIsStillALink() {
        IntakeFixture h;
        // Firefox's link drag without the types Qt reads URLs and text from.
        const std::unique_ptr<QMimeData> data =
            recorded(QStringLiteral("firefox-link"), copyDocuments(h),
                     {"text/uri-list", "text/plain", "text/plain;charset=utf-8"});
        QVERIFY(!data->hasUrls() && !data->hasText());
        LogCapture log;
        TaskRunner::finish(h.intake->handleDrop(*data));
        compareItems(*h.kippet, oneLink);
        QVERIFY(
            log.contains(QStringLiteral("   ✅ Loaded URL from Data: https://example.org/page")));
        QCOMPARE(h.kippet->items().first().metadata.urlString,
                 std::optional<QString>(QStringLiteral("https://example.org/page")));
    }

    void pastesTakeWhatTheClipboardHolds_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QList<Expected>>("expected");
        for (const char* manager : {"pcmanfm", "thunar", "dolphin"}) {
            QTest::addRow("%s copied files", manager)
                << QStringLiteral("%1-clipboard-copy-files").arg(manager) << threeFiles;
            QTest::addRow("%s cut file", manager)
                << QStringLiteral("%1-clipboard-cut-file").arg(manager) << oneFile;
        }
        for (const char* browser : {"chromium", "firefox"}) {
            QTest::addRow("%s image", browser)
                << QStringLiteral("%1-clipboard-copy-image").arg(browser)
                << QList<Expected>{{KippetItemType::image, QStringLiteral("Pasted Image")}};
            QTest::addRow("%s link", browser)
                << QStringLiteral("%1-clipboard-copy-link").arg(browser) << oneLink;
            QTest::addRow("%s text", browser)
                << QStringLiteral("%1-clipboard-copy-text").arg(browser) << oneText;
        }
        QTest::addRow("mousepad text") << QStringLiteral("mousepad-clipboard-copy-text") << oneText;
    }
    void pastesTakeWhatTheClipboardHolds() {
        QFETCH(QString, fixture);
        QFETCH(QList<Expected>, expected);
        IntakeFixture h;
        const std::unique_ptr<QMimeData> data = recorded(fixture, copyDocuments(h));
        TaskRunner::finish(h.intake->pasteFromPasteboard(*data));
        const QList<KippetItem> items = h.kippet->items();
        QCOMPARE(items.size(), expected.size());
        for (qsizetype i = 0; i < items.size(); ++i) {
            QCOMPARE(items[i].type, expected[i].type);
            QVERIFY2(items[i].metadata.name.startsWith(expected[i].name),
                     qPrintable(items[i].metadata.name));
        }
    }
};

QTEST_MAIN(RealDragsTest)
#include "RealDragsTest.moc"
