#include "tuck/TuckIntake.h"
#include "model/Kippet.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/FakeFileChooser.h"
#include "support/RecordedDrag.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QTest>

namespace {
QByteArray encoded(const char* format, QColor color = Qt::red) {
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QString writeFile(const QString& folder, const QString& name, const QByteArray& bytes) {
    const QString path = QDir(folder).filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return path;
}

// One started app with one open, stored kippet, and the road into it.
struct Tucked {
    AppHarness app;
    Kippet* kippet = nullptr;
    Tucked() {
        app.start();
        kippet = app.addKippet(QStringLiteral("Inbox"));
    }
    void drop(const QMimeData& data) { TaskRunner::finish(TuckIntake::drop(kippet, data)); }
    void paste(const QMimeData& data) { TaskRunner::finish(TuckIntake::paste(kippet, data)); }
    QList<KippetItemModel> rows() {
        const std::optional<KippetModel> row = app.store().fetchKippet(kippet->id());
        return row ? row->items : QList<KippetItemModel>();
    }
    QStringList itemFiles() {
        return QDir(app.manager().itemsDirectory(kippet)).entryList(QDir::Files);
    }
    QStringList names() const {
        QStringList names;
        for (const KippetItem& item : kippet->items())
            names.append(item.metadata.name);
        return names;
    }
    // Every item in memory has its row, with the same bytes, and none is waiting for analysis.
    void verifyStoredAsIs() {
        const QList<KippetItemModel> stored = rows();
        QCOMPARE(stored.size(), kippet->items().size());
        for (int i = 0; i < stored.size(); ++i) {
            const KippetItem& item = kippet->items()[i];
            QCOMPARE(stored[i].id, item.id);
            QCOMPARE(stored[i].content, item.content);
            QCOMPARE(stored[i].categoryRaw, QStringLiteral("Uncategorized"));
            QVERIFY(!stored[i].isProcessing);
            QVERIFY(!item.isProcessing);
            QCOMPARE(item.category, ItemCategory::uncategorized);
        }
    }
};
} // namespace

class TuckIntakeTest : public QObject {
    Q_OBJECT
private slots:
    void dropsBecomeStoredItemsOfTheirKind() {
        Tucked t;
        const QByteArray pdf("%PDF-1.4\n%%EOF\n");
        const QString file = writeFile(t.app.folder(), QStringLiteral("report.pdf"), pdf);
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(file)});
        files.setText(QUrl::fromLocalFile(file).toString());
        t.drop(files);
        QMimeData png;
        png.setData(QStringLiteral("image/png"), encoded("PNG"));
        t.drop(png);
        QMimeData jpeg;
        jpeg.setData(QStringLiteral("image/jpeg"), encoded("JPEG", Qt::blue));
        t.drop(jpeg);
        QMimeData link;
        link.setUrls({QUrl(QStringLiteral("https://example.org/a%20b"))});
        link.setText(QStringLiteral("https://example.org/a%20b"));
        t.drop(link);
        const QString long120 = QString(QStringLiteral("0123456789")).repeated(12);
        QMimeData text;
        text.setText(long120);
        t.drop(text);

        const QList<KippetItem> items = t.kippet->items();
        QCOMPARE(items.size(), 5);
        QCOMPARE(items[0].type, KippetItemType::file);
        QCOMPARE(items[0].metadata.name, QStringLiteral("report.pdf"));
        QCOMPARE(items[0].content, pdf);
        QVERIFY(!items[0].metadata.mimeType && !items[0].metadata.fileSize);
        QCOMPARE(items[1].type, KippetItemType::image);
        QCOMPARE(items[1].metadata.name, QStringLiteral("Dropped Image.png"));
        QCOMPARE(items[1].metadata.mimeType, std::optional<QString>(QStringLiteral("image/png")));
        QCOMPARE(items[1].content, encoded("PNG"));
        // JPEG bytes are kept as the PNG their name and type promise.
        QCOMPARE(items[2].metadata.name, QStringLiteral("Dropped Image.png"));
        QVERIFY(items[2].content.startsWith("\x89PNG"));
        const QImage stored = QImage::fromData(items[2].content, "PNG");
        QCOMPARE(stored.size(), QSize(8, 6));
        QCOMPARE(items[3].type, KippetItemType::url);
        QCOMPARE(items[3].metadata.name, QStringLiteral("https://example.org/a%20b"));
        QCOMPARE(items[3].metadata.urlString,
                 std::optional<QString>(QStringLiteral("https://example.org/a%20b")));
        QCOMPARE(items[4].type, KippetItemType::text);
        QCOMPARE(items[4].metadata.name, long120.left(50));
        QCOMPARE(items[4].content, long120.toUtf8());
        t.verifyStoredAsIs();
        // Only the file item has its bytes in the item folder.
        QCOMPARE(t.itemFiles().size(), 1);
        QFile written(QDir(t.app.manager().itemsDirectory(t.kippet)).filePath(t.itemFiles()[0]));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), pdf);
    }

    void theSameFileTwiceIsAddedOnceAndFoldersAreSkipped() {
        Tucked t;
        const QString documents = RecordedDrag::copyDocuments(t.app.folder());
        const auto three = RecordedDrag::load(QStringLiteral("pcmanfm-three-files"), documents);
        t.drop(*three);
        QCOMPARE(t.names(),
                 QStringList({"picture.png", "report.pdf", QStringLiteral("Résumé 2024.txt")}));
        QCOMPARE(t.kippet->items()[0].type, KippetItemType::file);
        const auto one = RecordedDrag::load(QStringLiteral("thunar-one-file"), documents);
        t.drop(*one);
        QCOMPARE(t.kippet->items().size(), 3);
        for (const QString& source :
             {QStringLiteral("pcmanfm"), QStringLiteral("dolphin"), QStringLiteral("thunar")}) {
            const auto folder = RecordedDrag::load(source + QStringLiteral("-folder"), documents);
            t.drop(*folder);
        }
        QCOMPARE(t.kippet->items().size(), 3);
        t.verifyStoredAsIs();
        QCOMPARE(t.itemFiles().size(), 3);
    }

    void contentNamingAFileIsStoredWithoutAnItemFile() {
        Tucked t;
        const QString file = writeFile(t.app.folder(), QStringLiteral("pointer.txt"),
                                       "file:///home/user/elsewhere.txt");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        t.drop(data);
        QCOMPARE(t.kippet->items().size(), 1);
        QCOMPARE(t.rows().size(), 1);
        QCOMPARE(t.itemFiles(), QStringList());
    }

    void browserDragsGiveTheirImageOrLinkOrText() {
        Tucked t;
        const QString documents = RecordedDrag::copyDocuments(t.app.folder());
        t.drop(*RecordedDrag::load(QStringLiteral("firefox-image"), documents));
        t.drop(*RecordedDrag::load(QStringLiteral("chromium-link"), documents));
        t.drop(*RecordedDrag::load(QStringLiteral("firefox-text"), documents));
        const QList<KippetItem> items = t.kippet->items();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0].metadata.name, QStringLiteral("Dropped Image.png"));
        QVERIFY(!QImage::fromData(items[0].content, "PNG").isNull());
        QCOMPARE(items[1].type, KippetItemType::url);
        QCOMPARE(items[1].metadata.name, QStringLiteral("https://example.org/page"));
        QCOMPARE(items[2].type, KippetItemType::text);
        t.verifyStoredAsIs();
    }

    void pasteTakesOneKindByPriority() {
        Tucked t;
        QMimeData imageAndText;
        imageAndText.setData(QStringLiteral("image/png"), encoded("PNG"));
        imageAndText.setText(QStringLiteral("a caption"));
        t.paste(imageAndText);
        QCOMPARE(t.names(), QStringList{QStringLiteral("Pasted Image.png")});

        QMimeData web;
        web.setText(QStringLiteral("https://example.org"));
        t.paste(web);
        QCOMPARE(t.kippet->items().last().type, KippetItemType::url);
        QCOMPARE(t.kippet->items().last().metadata.name, QStringLiteral("https://example.org"));
        QCOMPARE(t.kippet->items().last().content, QByteArray("https://example.org"));

        for (const QString& plain : {QStringLiteral("mailto:a@b.c"), QStringLiteral("hello")}) {
            QMimeData text;
            text.setText(plain);
            t.paste(text);
            QCOMPARE(t.kippet->items().last().type, KippetItemType::text);
            QCOMPARE(t.kippet->items().last().metadata.name, plain);
        }
        QCOMPARE(t.kippet->items().size(), 4);
        t.verifyStoredAsIs();
    }

    void aPastedLinkThatIsNoFileIsAdded() {
        Tucked t;
        const QString documents = RecordedDrag::copyDocuments(t.app.folder());
        // What a browser leaves when a link is dragged or copied with its URL: the list has no
        // file, and the link must still arrive.
        t.paste(*RecordedDrag::load(QStringLiteral("firefox-link"), documents));
        QCOMPARE(t.kippet->items().size(), 1);
        QCOMPARE(t.kippet->items()[0].type, KippetItemType::url);
        QCOMPARE(t.kippet->items()[0].metadata.name, QStringLiteral("https://example.org/page"));
        // Only web links are taken from such a list.
        QMimeData links;
        links.setUrls(
            {QUrl(QStringLiteral("mailto:a@b.c")), QUrl(QStringLiteral("http://x.org/y"))});
        t.paste(links);
        QCOMPARE(t.names(), (QStringList{"https://example.org/page", "http://x.org/y"}));
        t.verifyStoredAsIs();
    }

    void pastedFilesSkipThoseAlreadyThere() {
        Tucked t;
        const QString documents = RecordedDrag::copyDocuments(t.app.folder());
        QMimeData first;
        first.setUrls({QUrl::fromLocalFile(documents + QStringLiteral("/report.pdf"))});
        t.paste(first);
        t.paste(*RecordedDrag::load(QStringLiteral("thunar-clipboard-copy-files"), documents));
        QCOMPARE(t.names(),
                 QStringList({"report.pdf", "picture.png", QStringLiteral("Résumé 2024.txt")}));
        t.verifyStoredAsIs();
    }

    void anImageThatCannotBeMadePngEndsThePaste() {
        Tucked t;
        QMimeData broken;
        // A JPEG signature with nothing decodable behind it.
        broken.setData(QStringLiteral("image/jpeg"), QByteArray("\xFF\xD8\xFF\xE0garbage", 11));
        broken.setText(QStringLiteral("alt text"));
        t.paste(broken);
        QCOMPARE(t.kippet->items().size(), 0);
        QCOMPARE(t.rows().size(), 0);
    }

    void importAddsTheChosenFilesOnly() {
        Tucked t;
        FakeFileChooser chooser;
        TaskRunner::finish(TuckIntake::importChosenFiles(t.kippet));
        QCOMPARE(chooser.requests, 1);
        QCOMPARE(t.kippet->items().size(), 0);
        const QString a = writeFile(t.app.folder(), QStringLiteral("a.txt"), "alpha");
        chooser.answer = QList<QUrl>{QUrl::fromLocalFile(a), QUrl::fromLocalFile(t.app.folder())};
        TaskRunner::finish(TuckIntake::importChosenFiles(t.kippet));
        QCOMPARE(t.names(), QStringList{QStringLiteral("a.txt")});
        t.verifyStoredAsIs();
    }

    void aFailingStoreLeavesNoTraceAndLogs() {
        Tucked t;
        QVERIFY(t.app.failStore(QStringLiteral("CREATE TRIGGER no_items BEFORE INSERT ON "
                                               "kippet_items BEGIN SELECT RAISE(ABORT, 'disk "
                                               "full'); END")));
        const QString file = writeFile(t.app.folder(), QStringLiteral("a.txt"), "alpha");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(file)});
        LogCapture log;
        t.drop(data);
        QCOMPARE(t.kippet->items().size(), 0);
        QCOMPARE(t.itemFiles(), QStringList());
        QVERIFY(log.contains(QStringLiteral("⚠️ [TuckIntake] Could not add 'a.txt'")));
        t.app.restart();
        Kippet* again = t.app.byName(QStringLiteral("Inbox"));
        QVERIFY(again);
        QCOMPARE(again->items().size(), 0);
    }
};

QTEST_MAIN(TuckIntakeTest)
#include "TuckIntakeTest.moc"
