#include "analysis/ItemLoaders.h"
#include "analysis/KippetIntake.h"
#include "model/Kippet.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/FakeFileChooser.h"
#include "support/IntakeFixture.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

namespace {
QByteArray pdfBytes() {
    return QByteArray("%PDF-1.4\n1 0 obj <<>> endobj\n%%EOF\n");
}

const KippetItem* itemNamed(const Kippet& kippet, const QString& name) {
    for (const KippetItem& item : kippet.items())
        if (item.metadata.name == name)
            return &item;
    return nullptr;
}
} // namespace

class IntakeDropTest : public QObject {
    Q_OBJECT
private slots:
    void droppedFilesLinksAndTextsBecomeStoredAnalysedItems() {
        IntakeFixture h;
        const QString png =
            h.writeFile(QStringLiteral("Red Square.PNG"), IntakeFixture::pngBytes());
        const QString pdf = h.writeFile(QStringLiteral("report.pdf"), pdfBytes());
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(png), QUrl::fromLocalFile(pdf),
                       QUrl(QStringLiteral("https://www.example.org/page"))});
        LogCapture log;
        TaskRunner::finish(h.intake->handleDrop(files));
        QMimeData link;
        link.setText(QStringLiteral(" https://example.org/x "));
        TaskRunner::finish(h.intake->handleDrop(link));
        QMimeData text;
        text.setText(QStringLiteral("Buy milk"));
        TaskRunner::finish(h.intake->handleDrop(text));

        const QList<KippetItem> items = h.kippet->items();
        QCOMPARE(items.size(), 5);
        const KippetItem& image = items[0];
        QCOMPARE(image.type, KippetItemType::image);
        QCOMPARE(image.metadata.name, QStringLiteral("Red Square.PNG"));
        QCOMPARE(image.metadata.fileExtension, std::optional<QString>(QStringLiteral("png")));
        QCOMPARE(image.metadata.mimeType, std::optional<QString>(QStringLiteral("image/png")));
        QCOMPARE(image.metadata.fileSize, std::optional<qint64>(IntakeFixture::pngBytes().size()));
        QCOMPARE(image.metadata.thumbnail, std::optional<QByteArray>(IntakeFixture::pngBytes()));
        QCOMPARE(image.content, IntakeFixture::pngBytes());

        const KippetItem& file = items[1];
        QCOMPARE(file.type, KippetItemType::file);
        QCOMPARE(file.metadata.name, QStringLiteral("report.pdf"));
        QCOMPARE(file.metadata.fileExtension, std::optional<QString>(QStringLiteral("pdf")));
        QCOMPARE(file.metadata.mimeType, std::optional<QString>(QStringLiteral("application/pdf")));
        QCOMPARE(file.metadata.fileSize, std::optional<qint64>(pdfBytes().size()));
        QVERIFY(!file.metadata.thumbnail);

        QCOMPARE(items[2].type, KippetItemType::url);
        QCOMPARE(items[2].metadata.name, QStringLiteral("example.org"));
        QCOMPARE(items[2].metadata.urlString,
                 std::optional<QString>(QStringLiteral("https://www.example.org/page")));
        QCOMPARE(items[3].type, KippetItemType::url);
        QCOMPARE(items[3].metadata.name, QStringLiteral("example.org"));
        QCOMPARE(items[3].content, QByteArray("https://example.org/x"));
        QCOMPARE(items[4].type, KippetItemType::text);
        QCOMPARE(items[4].metadata.name, QStringLiteral("Buy milk"));
        QVERIFY(!items[4].metadata.fileSize && !items[4].metadata.mimeType);

        for (const KippetItem& item : items) {
            QCOMPARE(item.category, ItemCategory::documents);
            QVERIFY(!item.isProcessing);
        }
        const QList<KippetItemModel> rows = h.storedItems();
        QCOMPARE(rows.size(), 5);
        for (int i = 0; i < rows.size(); ++i) {
            QCOMPARE(rows[i].id, items[i].id);
            QCOMPARE(rows[i].categoryRaw, QStringLiteral("Documents"));
            QCOMPARE(rows[i].content, items[i].content);
        }
        // Only the file item has bytes in the item folder, under its id without extension.
        QCOMPARE(h.itemFiles(), QStringList{file.id.toString(QUuid::WithoutBraces).toUpper()});
        QFile written(QDir(h.manager().itemsDirectory(h.kippet)).filePath(h.itemFiles().first()));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), pdfBytes());

        QVERIFY(log.contains(QStringLiteral("📦 Handling drop with 3 provider(s)")));
        QVERIFY(log.contains(QStringLiteral("   Found image type")));
        QVERIFY(log.contains(QStringLiteral("   Detected as URL")));
        QVERIFY(log.contains(QStringLiteral("✅ Created item: report.pdf, type: file")));
    }

    void duplicateIsRefusedAndTheRestOfTheDropIsAddedInOrder() {
        IntakeFixture h;
        const QString a = h.writeFile(QStringLiteral("a.txt"), "alpha");
        const QString b = h.writeFile(QStringLiteral("b.txt"), "beta");
        const QString c = h.writeFile(QStringLiteral("c.txt"), "gamma");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(a), QUrl::fromLocalFile(b), QUrl::fromLocalFile(a),
                      QUrl::fromLocalFile(c)});
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        LogCapture log;
        TaskRunner::finish(h.intake->handleDrop(data));

        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors[0][0].toString(),
                 QStringLiteral("This item already exists in the kippet."));
        QVERIFY(log.contains(
            QStringLiteral("❌ Error adding item: This item already exists in the kippet.")));
        QStringList names;
        for (const KippetItem& item : h.kippet->items())
            names.append(item.metadata.name);
        QCOMPARE(names, QStringList({"a.txt", "b.txt", "c.txt"}));
        // Each item was analysed before the next one was loaded.
        QCOMPARE(h.itemCountsSeen, QList<int>({1, 2, 3}));
        QCOMPARE(h.storedItems().size(), 3);
        QCOMPARE(h.itemFiles().size(), 3);
    }

    // Two drops of one large file, both still being read when the first lands: one item, and the
    // other is refused with the alert.
    void overlappingDropsOfOneFileStoreItOnce() {
        IntakeFixture h;
        const QString path = h.writeFile(QStringLiteral("film.mov"),
                                         QByteArray(2 * ItemLoaders::inlineReadBytes, 'f'));
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        const auto first =
            TaskRunner::settle(h.intake->handleDrop({ItemProvider::forLocalFile(path)}));
        const auto second =
            TaskRunner::settle(h.intake->handleDrop({ItemProvider::forLocalFile(path)}));
        QVERIFY(h.kippet->items().isEmpty());
        TaskRunner::result(first);
        TaskRunner::result(second);
        QCOMPARE(h.kippet->items().size(), 1);
        QCOMPARE(h.kippet->items()[0].metadata.name, QStringLiteral("film.mov"));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors[0][0].toString(),
                 QStringLiteral("This item already exists in the kippet."));
        QCOMPARE(h.storedItems().size(), 1);
    }

    // A file that cannot be read falls through to its URL: no alert, and the drop goes on.
    void unreadableFileFallsThroughToItsLink() {
        IntakeFixture h;
        const QString ok = h.writeFile(QStringLiteral("ok.txt"), "fine");
        const QUrl missing = QUrl::fromLocalFile(h.folder() + QStringLiteral("/missing.txt"));
        QMimeData data;
        data.setUrls({missing, QUrl::fromLocalFile(ok)});
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        LogCapture log;
        TaskRunner::finish(h.intake->handleDrop(data));
        QCOMPARE(errors.size(), 0);
        QVERIFY(log.contains(
            QStringLiteral("   ❌ loadFileRepresentation failed: Failed to read file data")));
        QVERIFY(log.contains(QStringLiteral("   ✅ Loaded URL: ") + missing.toString()));
        QCOMPARE(h.kippet->items().size(), 2);
        QCOMPARE(h.kippet->items()[0].type, KippetItemType::url);
        QCOMPARE(h.kippet->items()[0].metadata.urlString,
                 std::optional<QString>(missing.toString(QUrl::FullyEncoded)));
        QCOMPARE(h.kippet->items()[1].metadata.name, QStringLiteral("ok.txt"));
        QCOMPARE(h.analyzer->analyzedItems.size(), 2);
    }

    void failedFileWriteLeavesNoItemNoRowAndNoAnalysis() {
        IntakeFixture h;
        // A plain file where the kippet's item folder belongs: the folder cannot be made.
        const QString folder = h.manager().itemsDirectory(h.kippet);
        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString doc = h.writeFile(QStringLiteral("notes.md"), "# notes");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(doc)});
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        TaskRunner::finish(h.intake->handleDrop(data));
        QCOMPARE(errors.size(), 1);
        QVERIFY(!errors[0][0].toString().isEmpty());
        QVERIFY(h.kippet->items().isEmpty());
        QVERIFY(h.storedItems().isEmpty());
        QVERIFY(h.analyzer->analyzedItems.isEmpty());
    }

    void failedStoreLeavesNoItemNoFileAndNoAnalysis() {
        IntakeFixture h;
        QSqlQuery(h.store().container()->database())
            .exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON kippet_items BEGIN "
                                 "SELECT RAISE(ABORT, 'disk is full'); END"));
        const QString doc = h.writeFile(QStringLiteral("plan.txt"), "plan");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(doc)});
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        TaskRunner::finish(h.intake->handleDrop(data));
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0][0].toString().contains(QStringLiteral("disk is full")),
                 qPrintable(errors[0][0].toString()));
        QVERIFY(h.kippet->items().isEmpty());
        QVERIFY(h.itemFiles().isEmpty());
        QVERIFY(h.analyzer->analyzedItems.isEmpty());
        QVERIFY(h.storedItems().isEmpty());
    }

    void fileBeyondTheStoresValueLimitIsRefusedByName() {
        IntakeFixture h;
        QFile huge(h.folder() + QStringLiteral("/disk image.iso"));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(ItemLoaders::maximumItemBytes + 1)); // sparse
        huge.close();
        const QString small = h.writeFile(QStringLiteral("small.txt"), "small");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(huge.fileName()), QUrl::fromLocalFile(small)});
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        TaskRunner::finish(h.intake->handleDrop(data));
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors[0][0].toString().contains(QStringLiteral("“disk image.iso”")));
        QCOMPARE(h.kippet->items().size(), 1);
        QCOMPARE(h.storedItems().size(), 1);
    }

    void imageDataWithoutAFileIsNamedByTheTime() {
        qputenv("TZ", "UTC");
        IntakeFixture h;
        QMimeData data;
        data.setData(QStringLiteral("image/png"), IntakeFixture::pngBytes(Qt::green));
        TaskRunner::finish(h.intake->handleDrop(data));
        QCOMPARE(h.kippet->items().size(), 1);
        const KippetItem item = h.kippet->items()[0];
        QCOMPARE(item.metadata.name, QStringLiteral("Image 2026-01-15 09.30.00"));
        QCOMPARE(item.metadata.mimeType, std::optional<QString>(QStringLiteral("image/png")));
        QVERIFY(!item.metadata.fileExtension);
        QVERIFY(h.itemFiles().isEmpty());
        QVERIFY(itemNamed(*h.kippet, QStringLiteral("Image 2026-01-15 09.30.00")));
    }

    void emptyDropOnlyLogsTheCount() {
        IntakeFixture h;
        LogCapture log;
        TaskRunner::finish(h.intake->handleDrop(QList<ItemProvider>()));
        QCOMPARE(log.lines(), QStringList{QStringLiteral("📦 Handling drop with 0 provider(s)")});
    }

    void importAddsChosenFilesInOrderAndReportsUnreadableOnes() {
        IntakeFixture h;
        const QString one = h.writeFile(QStringLiteral("one.csv"), "a,b");
        const QString two =
            h.writeFile(QStringLiteral("two.png"), IntakeFixture::pngBytes(Qt::blue));
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        TaskRunner::finish(h.intake->importFiles(
            {QUrl::fromLocalFile(one), QUrl::fromLocalFile(h.folder() + QStringLiteral("/nope")),
             QUrl::fromLocalFile(QStringLiteral("/dev/zero")), QUrl::fromLocalFile(two),
             QUrl::fromLocalFile(one)}));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors[0][0].toString(),
                 QStringLiteral("3 of 5 items could not be kept. Failed to read file data. This "
                                "item already exists in the kippet."));
        QCOMPARE(h.kippet->items().size(), 2);
        QCOMPARE(h.kippet->items()[1].type, KippetItemType::image);
        QCOMPARE(h.itemCountsSeen, QList<int>({1, 2}));
        QCOMPARE(h.itemFiles().size(), 1);
    }

    void importAsksTheFileChooserAndACancelChangesNothing() {
        FakeFileChooser chooser;
        IntakeFixture h;
        TaskRunner::finish(h.intake->importChosenFiles());
        QCOMPARE(chooser.requests, 1);
        QVERIFY(h.kippet->items().isEmpty());
        chooser.answer =
            QList<QUrl>{QUrl::fromLocalFile(h.writeFile(QStringLiteral("x.txt"), "x"))};
        TaskRunner::finish(h.intake->importChosenFiles());
        QCOMPARE(chooser.requests, 2);
        QCOMPARE(h.kippet->items().size(), 1);
    }
};

QTEST_MAIN(IntakeDropTest)
#include "IntakeDropTest.moc"
