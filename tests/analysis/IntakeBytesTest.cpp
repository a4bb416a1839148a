#include "analysis/ItemBuilders.h"
#include "analysis/KippetIntake.h"
#include "model/Kippet.h"
#include "platform/WorkerPool.h"
#include "store/ItemStorage.h"
#include "store/KippetManager.h"
#include "store/StoreManager.h"
#include "support/IntakeFixture.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>
#include <functional>

class IntakeBytesTest : public QObject {
    Q_OBJECT
private slots:
    void theGuiThreadKeepsProcessingEventsWhileALargeFileIsAdded() {
        IntakeFixture h;
        QByteArray bytes(200 * 1024 * 1024, Qt::Uninitialized);
        for (qsizetype i = 0; i < bytes.size(); i += 4096)
            bytes[i] = char(i / 4096);
        const QString path = h.writeFile(QStringLiteral("large.bin"), bytes);
        const KippetItem item = TaskRunner::finish(ItemBuilders::createFileItem(path));

        auto adding = TaskRunner::settle(h.intake->addItemToKippet(item));
        // The item is listed at once; its bytes are still being written.
        QVERIFY(!adding->done);
        QCOMPARE(h.kippet->items().size(), 1);
        int turns = 0;
        std::function<void()> probe = [&] {
            if (adding->done)
                return;
            ++turns;
            QMetaObject::invokeMethod(QCoreApplication::instance(), probe, Qt::QueuedConnection);
        };
        QMetaObject::invokeMethod(QCoreApplication::instance(), probe, Qt::QueuedConnection);
        QVERIFY(TaskRunner::result(adding));
        QVERIFY(turns > 0);

        const QList<KippetItemModel> rows = h.storedItems();
        QCOMPARE(rows.size(), 1);
        QVERIFY(rows.first().content == bytes);
        QFile file(h.manager().itemsDirectory(h.kippet) + QLatin1Char('/') +
                   ItemStorage::idText(item.id));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == bytes);
    }

    void anItemRemovedWhileItsBytesAreWrittenLeavesNothing() {
        IntakeFixture h;
        const QString path =
            h.writeFile(QStringLiteral("gone.bin"), QByteArray(2 * 1024 * 1024, 'g'));
        const KippetItem item = TaskRunner::finish(ItemBuilders::createFileItem(path));
        auto adding = TaskRunner::settle(h.intake->addItemToKippet(item));
        QVERIFY(!adding->done);
        h.manager().removeItem(item, h.kippet);
        QVERIFY(!TaskRunner::result(adding));
        QVERIFY(h.kippet->items().isEmpty());
        QVERIFY(h.storedItems().isEmpty());
        QCOMPARE(h.itemFiles(), QStringList());
        QCOMPARE(QDir(h.store().container()->externalFolder()).entryList(QDir::Files),
                 QStringList());
    }

    // Files are read and written ahead of their turn: what a refused item had written goes with
    // it, and the items around it are stored whole.
    void anImportIntoAFailingStoreKeepsTheOtherFilesAndNoStrayBytes() {
        IntakeFixture h;
        QList<QUrl> urls;
        for (const QString& name :
             {QStringLiteral("one.bin"), QStringLiteral("two.bin"), QStringLiteral("three.bin")})
            urls.append(QUrl::fromLocalFile(
                h.writeFile(name, QByteArray(100 * 1024, name.at(1).toLatin1()))));
        QSqlQuery query(h.store().container()->database());
        QVERIFY(query.exec(QStringLiteral(
            "CREATE TEMP TRIGGER refuse BEFORE INSERT ON kippet_items WHEN NEW.metadata_name = "
            "'two.bin' BEGIN SELECT RAISE(ABORT, 'disk on fire'); END")));
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);

        TaskRunner::finish(h.intake->importFiles(urls));
        WorkerPool::waitForDone();

        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors[0][0].toString().contains(QStringLiteral("disk on fire")),
                 qPrintable(errors[0][0].toString()));
        QCOMPARE(h.itemCountsSeen, QList<int>({1, 2}));
        const QList<KippetItem> items = h.kippet->items();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0].metadata.name, QStringLiteral("one.bin"));
        QCOMPARE(items[1].metadata.name, QStringLiteral("three.bin"));
        const QList<KippetItemModel> rows = h.storedItems();
        QCOMPARE(rows.size(), 2);
        QVERIFY(rows[1].content == QByteArray(100 * 1024, 'h'));
        QStringList itemFiles = {ItemStorage::idText(items[0].id),
                                 ItemStorage::idText(items[1].id)};
        itemFiles.sort();
        QCOMPARE(h.itemFiles(), itemFiles);
        QCOMPARE(QDir(h.store().container()->externalFolder()).entryList(QDir::Files).size(), 2);
        QCOMPARE(QDir(h.store().container()->externalFolder())
                     .entryList({QStringLiteral("*.part")}, QDir::Files),
                 QStringList());
    }

    void preparedBytesGoWithTheirLastCopyAndServeOnlyTheKippetTheyWereWrittenFor() {
        IntakeFixture h;
        const QByteArray bytes(100 * 1024, 'p');
        const QString path = h.writeFile(QStringLiteral("p.bin"), bytes);
        const auto build = [path] { return ItemBuilders::readFileItem(path); };
        const QString external = h.store().container()->externalFolder();
        {
            QFuture<KippetManager::PreparedItem> unused = h.manager().prepareItem(build, h.kippet);
            unused.waitForFinished();
            QCOMPARE(QDir(external).entryList({QStringLiteral("*.part")}, QDir::Files).size(), 1);
            QCOMPARE(h.itemFiles().size(), 1);
        }
        WorkerPool::waitForDone();
        QCOMPARE(QDir(external).entryList(QDir::Files), QStringList());
        QCOMPARE(h.itemFiles(), QStringList());

        Kippet* other =
            h.manager().createKippet(QStringLiteral("Other"), KippetColor::standardBlue(),
                                     QStringLiteral("tray.fill"), false);
        QFuture<KippetManager::PreparedItem> preparing = h.manager().prepareItem(build, h.kippet);
        preparing.waitForFinished();
        KippetManager::PreparedItem prepared = preparing.result();
        preparing = {};
        const KippetItem item = *prepared.item;
        QVERIFY(TaskRunner::finish(h.manager().addItemAsync(std::move(prepared), other)));
        WorkerPool::waitForDone();
        QCOMPARE(h.itemFiles(), QStringList());
        const QString itemFile =
            h.manager().itemsDirectory(other) + QLatin1Char('/') + ItemStorage::idText(item.id);
        QFile file(itemFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == bytes);
        QCOMPARE(QDir(external).entryList(QDir::Files).size(), 1);
        const std::optional<KippetModel> row = h.store().fetchKippet(other->id());
        QVERIFY(row);
        QCOMPARE(row->items.size(), 1);
        QVERIFY(row->items.first().content == bytes);
    }
};

QTEST_MAIN(IntakeBytesTest)
#include "IntakeBytesTest.moc"
