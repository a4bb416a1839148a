#include "model/Kippet.h"
#include "model/KippetError.h"
#include "platform/Preferences.h"
#include "store/DataManagerError.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "support/AppHarness.h"
#include "support/TestEnvironment.h"

#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTest>

namespace {
KippetItem fileItem(const QString& name, const QByteArray& content,
                    std::optional<QString> extension) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = KippetItemType::file;
    item.content = content;
    item.metadata.name = name;
    item.metadata.fileExtension = std::move(extension);
    item.isProcessing = true;
    item.addedDate = testClock().now();
    return item;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void overwrite(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
}
} // namespace

class KippetManagerItemsTest : public QObject {
    Q_OBJECT
private slots:
    void itemFileIsWrittenRenamedOnceAndRemovedWithTheItem() {
        AppHarness app;
        app.start();
        Kippet* kippet =
            app.manager().createKippet(QStringLiteral("K"), {}, QStringLiteral("x"), false);
        const KippetItem item =
            fileItem(QStringLiteral("report.pdf"), "%PDF-1.4", QStringLiteral(" pdf "));
        app.manager().addItem(item, kippet);
        const QString base =
            app.manager().itemsDirectory(kippet) + QLatin1Char('/') + ItemStorage::idText(item.id);
        QCOMPARE(readFile(base), QByteArray("%PDF-1.4"));
        QVERIFY_THROWS_EXCEPTION(KippetError, app.manager().addItem(item, kippet));
        QCOMPARE(kippet->items().size(), 1);

        app.restart();
        kippet = app.manager().allKippets().first();
        QCOMPARE(kippet->items().size(), 1);
        // The rename moves the file as it is: its bytes are not written again.
        overwrite(base, "as on disk");
        const QUrl url = app.manager().fileURL(kippet->items().first(), kippet);
        QCOMPARE(url.toLocalFile(), base + QStringLiteral(".pdf"));
        QVERIFY(!QFile::exists(base));
        QCOMPARE(readFile(base + QStringLiteral(".pdf")), QByteArray("as on disk"));
        QCOMPARE(app.manager().fileURL(kippet->items().first(), kippet), url);

        app.manager().removeItem(kippet->items().first(), kippet);
        QVERIFY(kippet->items().isEmpty());
        QVERIFY(!QFile::exists(base + QStringLiteral(".pdf")));

        app.restart();
        QVERIFY(app.manager().allKippets().first()->items().isEmpty());
    }

    void aHostileExtensionCannotLeaveTheKippetsFolder() {
        AppHarness app;
        app.start();
        Kippet* kippet =
            app.manager().createKippet(QStringLiteral("K"), {}, QStringLiteral("x"), false);
        const QString folder = app.manager().itemsDirectory(kippet);
        for (const QString& hostile : {QStringLiteral("../../escaped"), QStringLiteral("/tmp/x"),
                                       QStringLiteral("tar.gz"), QStringLiteral("p df")}) {
            const KippetItem item = fileItem(hostile, hostile.toUtf8(), hostile);
            QCOMPARE(KippetManager::itemFileExtension(item), std::nullopt);
            const QString path = app.manager().fileURL(item, kippet).toLocalFile();
            QCOMPARE(path, folder + QLatin1Char('/') + ItemStorage::idText(item.id));
            QCOMPARE(readFile(path), hostile.toUtf8());
        }
        QVERIFY(!QFile::exists(QDir(folder).absoluteFilePath(
            QStringLiteral("../../") + ItemStorage::idText(QUuid()) + QStringLiteral(".escaped"))));
        QCOMPARE(QDir(folder + QStringLiteral("/..")).entryList(QDir::Files), QStringList());
    }

    void extensionsComeFromMetadataMimeTypeOrImageBytes() {
        KippetItem image;
        image.type = KippetItemType::image;
        image.content = "not an image";
        QCOMPARE(KippetManager::itemFileExtension(image),
                 std::optional<QString>(QStringLiteral("png")));
        KippetItem pdf;
        pdf.type = KippetItemType::file;
        pdf.metadata.mimeType = QStringLiteral("application/pdf");
        QCOMPARE(KippetManager::itemFileExtension(pdf),
                 std::optional<QString>(QStringLiteral("pdf")));
        KippetItem text;
        text.type = KippetItemType::text;
        QCOMPARE(KippetManager::itemFileExtension(text), std::nullopt);
    }

    void aFileReferenceResolvesToTheUsersOwnFile() {
        AppHarness app;
        app.start();
        Kippet* kippet =
            app.manager().createKippet(QStringLiteral("K"), {}, QStringLiteral("x"), false);
        const QString own = app.folder() + QStringLiteral("/own file.txt");
        overwrite(own, "mine");
        const KippetItem item =
            fileItem(QStringLiteral("own file.txt"), QUrl::fromLocalFile(own).toEncoded(),
                     QStringLiteral("txt"));
        app.manager().addItem(item, kippet);
        QCOMPARE(app.manager().fileURL(item, kippet).toLocalFile(), own);
        QCOMPARE(QDir(app.manager().itemsDirectory(kippet)).entryList(QDir::Files), QStringList());
        app.manager().removeItem(item, kippet);
        QCOMPARE(readFile(own), QByteArray("mine"));
    }

    void aFailedRemovalChangesNothing() {
        AppHarness app;
        app.start();
        Kippet* kippet =
            app.manager().createKippet(QStringLiteral("K"), {}, QStringLiteral("x"), false);
        const KippetItem item = fileItem(QStringLiteral("a.bin"), "abc", std::nullopt);
        app.manager().addItem(item, kippet);
        const QString path = app.manager().fileURL(item, kippet).toLocalFile();
        QVERIFY(app.failStore(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON kippet_items "
                                             "BEGIN SELECT RAISE(ABORT, 'locked'); END")));
        QVERIFY_THROWS_EXCEPTION(DataManagerError, app.manager().removeItem(item, kippet));
        QCOMPARE(kippet->items().size(), 1);
        QVERIFY(QFile::exists(path));
        QVERIFY(app.failStore(QStringLiteral("DROP TRIGGER refuse")));

        app.restart();
        QCOMPARE(app.manager().allKippets().first()->items().size(), 1);
    }

    void savingKeepsEveryItemFieldWithCustomCategoryAndProcessingFlag() {
        AppHarness app;
        app.start();
        Kippet* kippet =
            app.manager().createKippet(QStringLiteral("K"), {}, QStringLiteral("x"), false);
        app.manager().addItem(fileItem(QStringLiteral("a.png"), "a", QStringLiteral("png")),
                              kippet);
        app.manager().addItem(fileItem(QStringLiteral("b.txt"), "b", QStringLiteral("txt")),
                              kippet);
        QList<KippetItem> items = kippet->items();
        items[0].category = ItemCategory::designAssets;
        items[0].customCategory = QStringLiteral("Logos");
        items[0].isProcessing = false;
        items[0].metadata.aiTitle = QStringLiteral("Logo");
        items[0].metadata.aiDescription = QStringLiteral("A logo");
        items[0].metadata.aiTags = QStringList{QStringLiteral("brand")};
        items[1].category = ItemCategory::waitingForAnalysis;
        kippet->setItems(items);
        app.manager().saveKippet(kippet);

        app.restart();
        const QList<KippetItem> back = app.manager().allKippets().first()->items();
        QCOMPARE(back, items);
        QVERIFY(back[1].isProcessing); // an analysis cut short by quitting can be resumed
    }
};

QTEST_MAIN(KippetManagerItemsTest)
#include "KippetManagerItemsTest.moc"
