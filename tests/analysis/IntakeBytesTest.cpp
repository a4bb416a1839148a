#include "IntakeHarness.h"
#include "analysis/ItemBuilders.h"
#include "store/ItemStorage.h"
#include "support/TaskRunner.h"

#include <QTest>
#include <functional>

class IntakeBytesTest : public QObject {
    Q_OBJECT
private slots:
    void theGuiThreadKeepsProcessingEventsWhileALargeFileIsAdded() {
        IntakeHarness h;
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
        IntakeHarness h;
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
};

QTEST_GUILESS_MAIN(IntakeBytesTest)
#include "IntakeBytesTest.moc"
