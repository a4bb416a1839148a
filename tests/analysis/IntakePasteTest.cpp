#include "analysis/KippetIntake.h"
#include "model/Kippet.h"
#include "store/KippetManager.h"
#include "store/StoreContainer.h"
#include "store/StoreManager.h"
#include "support/FullDisk.h"
#include "support/IntakeFixture.h"
#include "support/RecordedDrag.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QSemaphore>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>
#include <unistd.h>

namespace {
QImage paintedImage() {
    QImage image(8, 5, QImage::Format_ARGB32);
    image.fill(QColor(10, 120, 200));
    return image;
}

// Encodes pasted pictures as the app does, each only once the test lets one go: pastes stay on
// their way for as long as the test needs. Whatever is still held goes when it ends.
class HeldEncoder {
public:
    ~HeldEncoder() { state_->gate.release(1000); }
    KippetIntake::ImageEncoder encoder() const {
        return [state = state_](const PastedImage& image) {
            state->gate.acquire();
            return PastedImageEncoder::encode(image);
        };
    }
    void letOneGo() { state_->gate.release(); }

private:
    struct State {
        QSemaphore gate;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

QStringList names(const Kippet& kippet) {
    QStringList result;
    for (const KippetItem& item : kippet.items())
        result.append(item.metadata.name);
    return result;
}
} // namespace

class IntakePasteTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("TZ", "UTC"); }

    void imageBeatsUrlsAndText() {
        IntakeFixture h;
        QMimeData data;
        data.setImageData(paintedImage());
        data.setUrls({QUrl(QStringLiteral("https://example.org"))});
        data.setText(QStringLiteral("caption"));
        LogCapture log;
        TaskRunner::finish(h.intake->pasteFromPasteboard(data));

        QCOMPARE(h.kippet->items().size(), 1);
        const KippetItem item = h.kippet->items()[0];
        QCOMPARE(item.type, KippetItemType::image);
        QCOMPARE(item.metadata.name, QStringLiteral("Pasted Image 2026-01-15 09.30.00.png"));
        QCOMPARE(item.metadata.fileExtension, std::optional<QString>(QStringLiteral("png")));
        QCOMPARE(item.metadata.mimeType, std::optional<QString>(QStringLiteral("image/png")));
        QCOMPARE(item.metadata.fileSize, std::optional<qint64>(item.content.size()));
        QCOMPARE(item.metadata.thumbnail, std::optional<QByteArray>(item.content));
        QCOMPARE(QImage::fromData(item.content, "PNG").convertToFormat(QImage::Format_ARGB32),
                 paintedImage());
        QVERIFY(h.itemFiles().isEmpty());
        QCOMPARE(h.storedItems().size(), 1);
        QVERIFY(log.contains(QStringLiteral("✅ Image added to kippet")));
        QVERIFY(log.contains(QStringLiteral("✅ Analysis complete")));
    }

    void sameImageTwiceInOneSecondIsADuplicate() {
        IntakeFixture h;
        QMimeData data;
        data.setImageData(paintedImage());
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        LogCapture log;
        TaskRunner::finish(h.intake->pasteFromPasteboard(data));
        TaskRunner::finish(h.intake->pasteFromPasteboard(data));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors[0][0].toString(),
                 QStringLiteral("This item already exists in the kippet."));
        QVERIFY(log.contains(QStringLiteral("❌ Error: duplicateItem")));
        testClock().advance(std::chrono::seconds(1));
        TaskRunner::finish(h.intake->pasteFromPasteboard(data));
        QCOMPARE(names(*h.kippet), QStringList({"Pasted Image 2026-01-15 09.30.00.png",
                                                "Pasted Image 2026-01-15 09.30.01.png"}));
    }

    // Pasted again while the first is still on its way, the same picture is the same item: it is
    // named by the moment of its paste, not by when its bytes came back, and refused as a
    // duplicate once the first has landed.
    void overlappingPastesOfOnePictureStoreItOnce() {
        IntakeFixture h;
        testClock().setNow(QDateTime(QDate(2026, 1, 15), QTime(9, 30), Qt::UTC));
        HeldEncoder held;
        h.intake->setImageEncoder(held.encoder());
        QMimeData data;
        data.setData(QStringLiteral("image/png"), IntakeFixture::pngBytes());
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        QList<std::shared_ptr<TaskRunner::Settled<void>>> pastes;
        for (int paste = 0; paste < 3; ++paste)
            pastes.append(TaskRunner::settle(h.intake->pasteFromPasteboard(data)));
        QVERIFY(h.kippet->items().isEmpty());
        // Large pictures come back one by one, seconds apart.
        for (int landed = 1; landed <= 3; ++landed) {
            held.letOneGo();
            QVERIFY(TaskRunner::waitUntil(
                [&] { return h.kippet->items().size() + errors.size() >= landed; }));
            testClock().advance(std::chrono::seconds(1));
        }
        for (const auto& paste : pastes)
            TaskRunner::result(paste);
        QCOMPARE(names(*h.kippet), QStringList({"Pasted Image 2026-01-15 09.30.00.png"}));
        QCOMPARE(errors.size(), 2);
        for (const QList<QVariant>& error : errors)
            QCOMPARE(error[0].toString(),
                     QStringLiteral("This item already exists in the kippet."));
        QCOMPARE(h.storedItems().size(), 1);

        // A different picture pasted meanwhile is an item of its own, and so is the first one
        // pasted again in another second.
        QMimeData other;
        other.setData(QStringLiteral("image/png"), IntakeFixture::pngBytes(Qt::blue));
        const auto again = TaskRunner::settle(h.intake->pasteFromPasteboard(data));
        const auto different = TaskRunner::settle(h.intake->pasteFromPasteboard(other));
        held.letOneGo();
        held.letOneGo();
        TaskRunner::result(again);
        TaskRunner::result(different);
        QCOMPARE(names(*h.kippet), QStringList({"Pasted Image 2026-01-15 09.30.00.png",
                                                "Pasted Image 2026-01-15 09.30.03.png",
                                                "Pasted Image 2026-01-15 09.30.03.png"}));
        QCOMPARE(errors.size(), 2);
    }

    void copiedFilesArriveInOrderAndADuplicateOrMissingFileDoesNotStopTheRest() {
        IntakeFixture h;
        const QString a = h.writeFile(QStringLiteral("a.txt"), "A");
        const QString logo = h.writeFile(QStringLiteral("logo.png"), IntakeFixture::pngBytes());
        const QString b = h.writeFile(QStringLiteral("b.zip"), "PK\x03\x04");
        TaskRunner::finish(h.intake->importFiles({QUrl::fromLocalFile(a)}));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(logo), QUrl::fromLocalFile(a),
                      QUrl(QStringLiteral("ssh://host.example.org")),
                      QUrl::fromLocalFile(h.folder() + QStringLiteral("/gone.txt")),
                      QUrl::fromLocalFile(b)});
        data.setText(QStringLiteral("not read"));
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        LogCapture log;
        TaskRunner::finish(h.intake->pasteFromPasteboard(data));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors[0][0].toString(),
                 QStringLiteral("This item already exists in the kippet."));
        QVERIFY(log.contains(
            QStringLiteral("❌ Error adding item: This item already exists in the kippet.")));
        // The file that is gone is taken as a drop takes it: as a link to where it was.
        const QString gone = QUrl::fromLocalFile(h.folder() + QStringLiteral("/gone.txt"))
                                 .toString(QUrl::FullyEncoded);
        QCOMPARE(names(*h.kippet),
                 QStringList({"a.txt", "logo.png", "host.example.org", gone, "b.zip"}));
        const QList<KippetItem> items = h.kippet->items();
        QCOMPARE(items[1].type, KippetItemType::image);
        QCOMPARE(items[1].metadata.thumbnail, std::optional<QByteArray>(IntakeFixture::pngBytes()));
        QCOMPARE(items[2].type, KippetItemType::url);
        QCOMPARE(items[3].type, KippetItemType::url);
        QCOMPARE(items[4].type, KippetItemType::file);
        QCOMPARE(items[4].metadata.fileExtension, std::optional<QString>(QStringLiteral("zip")));
        QCOMPARE(h.itemCountsSeen, QList<int>({1, 2, 3, 4, 5}));
        QCOMPARE(h.itemFiles().size(), 2); // a.txt and b.zip
    }

    // A folder copied in the file manager is pasted as the same item its drop makes, without an
    // alert; so is a file that cannot be read.
    void aCopiedFolderOrUnreadableFileBecomesTheItemItsDropMakes() {
        IntakeFixture h;
        const QString documents = RecordedDrag::copyDocuments(h.folder());
        std::unique_ptr<QMimeData> copied =
            RecordedDrag::load(QStringLiteral("thunar-clipboard-copy-files"), documents);
        // Thunar's clipboard of a copied folder: the same formats, naming the folder.
        QMimeData clipboard;
        for (const QString& format : copied->formats())
            clipboard.setData(format, copied->data(format).replace("report.pdf", "Projects"));
        QVERIFY(QFileInfo(documents + QStringLiteral("/Projects")).isDir());
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        TaskRunner::finish(h.intake->pasteFromPasteboard(clipboard));
        QVERIFY(errors.isEmpty());
        QCOMPARE(h.kippet->items().size(), 3);
        const KippetItem pasted = h.kippet->items().at(1);
        const QString folderUrl = QUrl::fromLocalFile(documents + QStringLiteral("/Projects"))
                                      .toString(QUrl::FullyEncoded);
        QCOMPARE(pasted.type, KippetItemType::url);
        QCOMPARE(pasted.content, folderUrl.toUtf8());
        QCOMPARE(h.storedItems().size(), 3);

        h.manager().removeItem(pasted, h.kippet);
        std::unique_ptr<QMimeData> dropped =
            RecordedDrag::load(QStringLiteral("thunar-folder"), documents);
        TaskRunner::finish(h.intake->handleDrop(*dropped));
        QVERIFY(errors.isEmpty());
        const KippetItem drop = h.kippet->items().constLast();
        QCOMPARE(drop.type, pasted.type);
        QCOMPARE(drop.metadata.name, pasted.metadata.name);
        QCOMPARE(drop.content, pasted.content);
        QCOMPARE(drop.metadata.urlString, pasted.metadata.urlString);

        // Root reads every file, whatever its permissions say.
        if (::geteuid() != 0) {
            const QString locked = h.writeFile(QStringLiteral("locked.txt"), "secret");
            QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
            QMimeData unreadable;
            unreadable.setUrls({QUrl::fromLocalFile(locked)});
            TaskRunner::finish(h.intake->pasteFromPasteboard(unreadable));
            QVERIFY(errors.isEmpty());
            QCOMPARE(h.kippet->items().constLast().content,
                     QUrl::fromLocalFile(locked).toString(QUrl::FullyEncoded).toUtf8());
        }
    }

    // A full disk fails every item after the first the same way: the paste and the drop each say
    // so once, in words, and log every item they could not keep.
    void aFullDiskGivesOneAlertPerPasteOrDrop() {
        IntakeFixture h;
        QList<QUrl> urls;
        for (int i = 0; i < 12; ++i) {
            // Two small files fit the pages the store has; the others need pages of their own.
            const bool small = i == 0 || i == 5;
            const QByteArray bytes =
                small ? QByteArray::number(i) : QByteArray(40 * 1024, char('a' + i));
            urls.append(
                QUrl::fromLocalFile(h.writeFile(QStringLiteral("file %1.txt").arg(i), bytes)));
        }
        QSqlQuery query(h.store().container()->database());
        QVERIFY(query.exec(QStringLiteral("PRAGMA page_count")) && query.next());
        const qint64 pages = query.value(0).toLongLong();
        QVERIFY(query.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages)));

        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        QMimeData data;
        data.setUrls(urls);
        {
            LogCapture log;
            TaskRunner::finish(h.intake->pasteFromPasteboard(data));
            QCOMPARE(errors.size(), 1);
            QCOMPARE(errors[0][0].toString(),
                     QStringLiteral("The disk is full: 10 of 12 items could not be kept."));
            QCOMPARE(log.lines()
                         .filter(QStringLiteral("❌ Error adding item: Failed to save: "
                                                "database or disk is full"))
                         .size(),
                     10);
            QCOMPARE(names(*h.kippet), QStringList({"file 0.txt", "file 5.txt"}));
            QCOMPARE(h.storedItems().size(), 2);
            QCOMPARE(h.itemFiles().size(), 2);
        }
        {
            LogCapture log;
            TaskRunner::finish(h.intake->handleDrop(data));
            QCOMPARE(errors.size(), 2);
            QCOMPARE(errors[1][0].toString(),
                     QStringLiteral("12 of 12 items could not be kept. This item already exists "
                                    "in the kippet. The disk is full."));
            QCOMPARE(log.lines().filter(QStringLiteral("❌ Error adding item: ")).size(), 12);
        }
        QCOMPARE(h.kippet->items().size(), 2);
    }

    // A paste on a disk with no room left (a small tmpfs, filled): SQLite meets the full disk
    // while it commits, and the alert says so in words.
    void aPasteOnARealFullDiskSaysTheDiskIsFull() {
        KIPPETS_RUN_ON_A_FULL_DISK();
        FullDisk disk;
        IntakeFixture h;
        QVERIFY(h.app.folder().startsWith(disk.folder()));
        QVERIFY(FullDisk::emptyStoreLog(h.store().container()->database(),
                                        h.store().container()->storePath()));
        QVERIFY(disk.fill());
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        QMimeData data;
        data.setText(QStringLiteral("a line to keep"));
        TaskRunner::finish(h.intake->pasteFromPasteboard(data));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors[0][0].toString(),
                 QStringLiteral("The disk is full: the item could not be kept."));
        QVERIFY(h.kippet->items().isEmpty());
        QVERIFY(h.storedItems().isEmpty());

        QVERIFY(disk.release());
        TaskRunner::finish(h.intake->pasteFromPasteboard(data));
        QCOMPARE(errors.size(), 1);
        QCOMPARE(h.storedItems().size(), 1);
    }

    void stringsBecomeLinksOnlyForWebSchemes() {
        IntakeFixture h;
        QMimeData mail;
        mail.setText(QStringLiteral("mailto:ann@example.org"));
        TaskRunner::finish(h.intake->pasteFromPasteboard(mail));
        QMimeData web;
        web.setText(QStringLiteral("\n https://www.example.org/a b \n"));
        TaskRunner::finish(h.intake->pasteFromPasteboard(web));
        QMimeData link;
        link.setText(QStringLiteral("  https://www.example.org/docs\n"));
        TaskRunner::finish(h.intake->pasteFromPasteboard(link));
        const QList<KippetItem> items = h.kippet->items();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[0].type, KippetItemType::text);
        QCOMPARE(items[0].content, QByteArray("mailto:ann@example.org"));
        QCOMPARE(items[1].type, KippetItemType::text); // a space inside is no URL
        QCOMPARE(items[2].type, KippetItemType::url);
        QCOMPARE(items[2].metadata.name, QStringLiteral("example.org"));
    }

    void sameTextTwiceIsRefused() {
        IntakeFixture h;
        QMimeData data;
        data.setText(QStringLiteral("remember this"));
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        TaskRunner::finish(h.intake->pasteFromPasteboard(data));
        TaskRunner::finish(h.intake->pasteFromPasteboard(data));
        QCOMPARE(h.kippet->items().size(), 1);
        QCOMPARE(errors.size(), 1);
        QCOMPARE(h.storedItems().size(), 1);
    }

    void emptyClipboardAddsNothing() {
        IntakeFixture h;
        QMimeData data;
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        LogCapture log;
        TaskRunner::finish(h.intake->pasteFromPasteboard(data));
        QCOMPARE(log.lines(), QStringList({QStringLiteral("📋 Starting paste operation"),
                                           QStringLiteral("❌ No image found in clipboard, "
                                                          "checking Priority 2")}));
        QVERIFY(h.kippet->items().isEmpty());
        QVERIFY(errors.isEmpty());
    }

    void undecodableImageFallsThroughToText() {
        IntakeFixture h;
        QMimeData data;
        // A PNG signature with nothing after it: taken as an image, which then does not decode.
        data.setData(QStringLiteral("image/png"), IntakeFixture::pngBytes().left(20));
        data.setText(QStringLiteral("fallback text"));
        LogCapture log;
        TaskRunner::finish(h.intake->pasteFromPasteboard(data));
        QVERIFY(log.contains(QStringLiteral("falling through to Priority 2")));
        QCOMPARE(names(*h.kippet), QStringList{QStringLiteral("fallback text")});

        // Bytes of no format the intake takes are not an image at all.
        QMimeData other;
        other.setData(QStringLiteral("image/png"), QByteArray("not an image"));
        other.setText(QStringLiteral("other text"));
        LogCapture otherLog;
        TaskRunner::finish(h.intake->pasteFromPasteboard(other));
        QVERIFY(otherLog.contains(
            QStringLiteral("❌ No image found in clipboard, checking Priority 2")));
        QCOMPARE(names(*h.kippet),
                 QStringList({QStringLiteral("fallback text"), QStringLiteral("other text")}));
    }
};

QTEST_MAIN(IntakePasteTest)
#include "IntakePasteTest.moc"
