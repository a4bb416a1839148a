#include "analysis/ItemProvider.h"
#include "analysis/ContentTypes.h"
#include "analysis/IntakeError.h"
#include "analysis/ItemBuilders.h"
#include "analysis/ItemLoaders.h"
#include "platform/Clock.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"

#include <QBuffer>
#include <QCoroTask>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

namespace {
QByteArray pngBytes() {
    QImage image(4, 3, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the test file");
    return path;
}
} // namespace

class ItemProviderTest : public QObject {
    Q_OBJECT
private slots:
    void urlsGiveOneProviderEachAndHideTheRest() {
        QTemporaryDir dir;
        const QString png = writeFile(dir, QStringLiteral("red.png"), pngBytes());
        const QString pdf = writeFile(dir, QStringLiteral("doc.pdf"), QByteArray("%PDF-1.4\n"));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(png), QUrl(QStringLiteral("https://www.example.org/a")),
                      QUrl::fromLocalFile(pdf)});
        data.setText(QStringLiteral("ignored when URLs are there"));
        const QList<ItemProvider> providers = ItemProvider::fromMimeData(data);
        QCOMPARE(providers.size(), 3);

        QVERIFY(providers[0].hasItemConformingTo(ItemProviderType::image));
        QVERIFY(providers[0].hasItemConformingTo(ItemProviderType::fileURL));
        // A file's URL is a URL too, for when the file cannot be read.
        QVERIFY(providers[0].hasItemConformingTo(ItemProviderType::url));
        QCOMPARE(providers[0].url(), std::optional<QUrl>(QUrl::fromLocalFile(png)));
        QCOMPARE(providers[0].localFilePath(), std::optional<QString>(png));

        QVERIFY(!providers[1].hasItemConformingTo(ItemProviderType::image));
        QVERIFY(!providers[1].hasItemConformingTo(ItemProviderType::fileURL));
        QVERIFY(providers[1].hasItemConformingTo(ItemProviderType::url));
        QVERIFY(!providers[1].hasItemConformingTo(ItemProviderType::plainText));

        QVERIFY(!providers[2].hasItemConformingTo(ItemProviderType::image));
        QVERIFY(providers[2].hasItemConformingTo(ItemProviderType::fileURL));
        QCOMPARE(providers[2].registeredTypeIdentifiers(),
                 QStringList({QStringLiteral("application/pdf"), QStringLiteral("text/uri-list")}));
    }

    // No real file's name holds a control character, and the MIME database crashes on a NUL
    // before an extension: such a URL is offered as a URL, never as a file.
    void aFileUrlWithControlCharactersIsNoFile() {
        for (const QByteArray& uri :
             {QByteArray("file:///home/user/a.m%00%00.f"), QByteArray("file:///tmp/bell%07.txt"),
              QByteArray("file:///tmp/del%7F.txt"), QByteArray("file:///tmp/c1%C2%85.txt")}) {
            QMimeData data;
            data.setData(QStringLiteral("text/uri-list"), uri + "\r\n");
            QVERIFY(!ItemProvider::namesLocalFile(data.urls().first()));
            const QList<ItemProvider> providers = ItemProvider::fromMimeData(data);
            QCOMPARE(providers.size(), 1);
            QVERIFY(!providers[0].hasItemConformingTo(ItemProviderType::fileURL));
            QVERIFY(providers[0].hasItemConformingTo(ItemProviderType::url));
            QVERIFY(!providers[0].localFilePath());
            QCOMPARE(ContentTypes::mimeTypeForFile(data.urls().first().toLocalFile()),
                     std::nullopt);
        }
        QVERIFY(
            ItemProvider::namesLocalFile(QUrl::fromLocalFile(QStringLiteral("/tmp/ünï côde.txt"))));
        QCOMPARE(ContentTypes::mimeTypeForFile(QStringLiteral("/tmp/a.txt")),
                 std::optional<QString>(QStringLiteral("text/plain")));
    }

    void anImageWithItsTextIsOneObjectCopiedOutOfTheData() {
        auto data = std::make_unique<QMimeData>();
        data->setData(QStringLiteral("image/png"), pngBytes());
        data->setText(QStringLiteral("caption"));
        const QList<ItemProvider> providers = ItemProvider::fromMimeData(*data);
        data.reset();
        QCOMPARE(providers.size(), 1);
        QVERIFY(providers[0].hasItemConformingTo(ItemProviderType::image));
        QVERIFY(providers[0].hasItemConformingTo(ItemProviderType::plainText));
        QVERIFY(!providers[0].hasItemConformingTo(ItemProviderType::url));
        QCOMPARE(providers[0].imageBytes(), std::optional<QByteArray>(pngBytes()));
        QCOMPARE(providers[0].text(), std::optional<QString>(QStringLiteral("caption")));

        QMimeData empty;
        QVERIFY(ItemProvider::fromMimeData(empty).isEmpty());
    }

    void imageBytesAreTakenOnlyInFormatsTheIntakeDecodes() {
        QMimeData data;
        // A compressed SVG is never looked into, whatever type it is offered under.
        data.setData(QStringLiteral("image/svg+xml"), QByteArray("\x1f\x8b\x08\x00rest", 9));
        data.setData(QStringLiteral("image/png"), QByteArray("\x1f\x8b\x08\x00rest", 9));
        data.setData(QStringLiteral("image/jpeg"), pngBytes());
        const auto taken = ItemProvider::takenImageBytes(data);
        QVERIFY(taken);
        QCOMPARE(taken->first, pngBytes());
        QCOMPARE(taken->second, QStringLiteral("image/jpeg"));
        // Qt's own image of the data would decode those bytes by asking every plugin.
        QVERIFY(!ItemProvider::inProcessImage(data));

        QMimeData onlyBomb;
        onlyBomb.setData(QStringLiteral("image/png"), QByteArray("\x1f\x8b\x08\x00rest", 9));
        QVERIFY(!ItemProvider::takenImageBytes(onlyBomb));
        QVERIFY(!ItemProvider::inProcessImage(onlyBomb));
        QVERIFY(ItemProvider::fromMimeData(onlyBomb).isEmpty());
    }

    void decodedImageIsEncodedAsPngWhenAskedFor() {
        QImage image(5, 5, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QMimeData data;
        data.setImageData(image);
        const QList<ItemProvider> providers = ItemProvider::fromMimeData(data);
        QCOMPARE(providers.size(), 1);
        const std::optional<QByteArray> bytes =
            TaskRunner::finish(ItemLoaders::loadImageData(providers[0]));
        QVERIFY(bytes.has_value());
        QVERIFY(bytes->startsWith("\x89PNG"));
        QCOMPARE(QImage::fromData(*bytes).size(), QSize(5, 5));
    }

    void pathExtensionsFollowFileNameRules() {
        QCOMPARE(ContentTypes::pathExtension(QStringLiteral(".bashrc")), QString());
        QCOMPARE(ContentTypes::pathExtension(QStringLiteral("a.tar.gz")), QStringLiteral("gz"));
        QCOMPARE(ContentTypes::pathExtension(QStringLiteral("README")), QString());
        QCOMPARE(ContentTypes::pathExtension(QStringLiteral("name.")), QString());
        QCOMPARE(ContentTypes::pathExtension(QStringLiteral(".config.JSON")),
                 QStringLiteral("JSON"));
    }

    void linkItemsAreNamedByHostWithoutALeadingWwwLabel() {
        const KippetItem link =
            ItemBuilders::createLinkItem(QUrl(QStringLiteral("https://www.example.org/x?y=1")));
        QCOMPARE(link.type, KippetItemType::url);
        QCOMPARE(link.metadata.name, QStringLiteral("example.org"));
        QCOMPARE(link.metadata.urlString,
                 std::optional<QString>(QStringLiteral("https://www.example.org/x?y=1")));
        QCOMPARE(link.content, QByteArray("https://www.example.org/x?y=1"));
        QCOMPARE(link.category, ItemCategory::uncategorized);
        QVERIFY(link.isProcessing);
        QCOMPARE(link.addedDate, Clock::shared().now());
        QCOMPARE(ItemBuilders::createLinkItem(QUrl(QStringLiteral("https://www2.example.org")))
                     .metadata.name,
                 QStringLiteral("www2.example.org"));
        QCOMPARE(ItemBuilders::createLinkItem(QUrl(QStringLiteral("https://shop.www.example.org")))
                     .metadata.name,
                 QStringLiteral("shop.www.example.org"));
        QCOMPARE(ItemBuilders::createLinkItem(QUrl(QStringLiteral("mailto:ann@example.org")))
                     .metadata.name,
                 QStringLiteral("mailto:ann@example.org"));
    }

    void textItemsAreNamedByTheirFirstFiftyCharacters() {
        const QString fifty(50, QLatin1Char('a'));
        QCOMPARE(ItemBuilders::createTextItem(fifty).metadata.name, fifty);
        QCOMPARE(ItemBuilders::createTextItem(fifty + QLatin1Char('b')).metadata.name,
                 fifty + QStringLiteral("..."));
        // A flag is two code points and four UTF-16 units, but one character.
        const QString flags = QString(QStringLiteral("🇫🇮")).repeated(50);
        QCOMPARE(ItemBuilders::createTextItem(flags).metadata.name, flags);
        const KippetItem text = ItemBuilders::createTextItem(QStringLiteral(" hi "));
        QCOMPARE(text.type, KippetItemType::text);
        QCOMPARE(text.content, QByteArray(" hi "));
        QVERIFY(!text.metadata.urlString && !text.metadata.fileSize && !text.metadata.mimeType);
    }

    void textBecomesALinkOnlyForWebSchemesWithAHost() {
        QCOMPARE(ItemBuilders::linkFromText(QStringLiteral(" https://example.org/x \n")),
                 std::optional<QUrl>(QUrl(QStringLiteral("https://example.org/x"))));
        QVERIFY(ItemBuilders::linkFromText(QStringLiteral("FTPS://files.example.org")).has_value());
        QVERIFY(!ItemBuilders::linkFromText(QStringLiteral("mailto:ann@example.org")));
        QVERIFY(!ItemBuilders::linkFromText(QStringLiteral("https://")));
        QVERIFY(!ItemBuilders::linkFromText(QStringLiteral("see https://example.org")));
        QVERIFY(!ItemBuilders::linkFromText(QStringLiteral("just words")));
    }

    void imageFileBecomesAnImageItemWithItsBytesAsThumbnail() {
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("red.png"), pngBytes());
        const KippetItem item = TaskRunner::finish(ItemBuilders::createFileItem(path));
        QCOMPARE(item.type, KippetItemType::image);
        QCOMPARE(item.content, pngBytes());
        QCOMPARE(item.metadata.thumbnail, std::optional<QByteArray>(pngBytes()));
        QCOMPARE(item.metadata.name, QStringLiteral("red.png"));
        QCOMPARE(item.metadata.fileExtension, std::optional<QString>(QStringLiteral("png")));
        QCOMPARE(item.metadata.fileSize, std::optional<qint64>(pngBytes().size()));
        QCOMPARE(item.metadata.mimeType, std::optional<QString>(QStringLiteral("image/png")));
    }

    void otherFilesBecomeFileItemsWithoutThumbnail() {
        QTemporaryDir dir;
        const QString pdf =
            writeFile(dir, QStringLiteral("doc.pdf"), QByteArray("%PDF-1.4\n%%EOF\n"));
        const KippetItem item = TaskRunner::finish(ItemBuilders::createFileItem(pdf));
        QCOMPARE(item.type, KippetItemType::file);
        QCOMPARE(item.metadata.mimeType, std::optional<QString>(QStringLiteral("application/pdf")));
        QCOMPARE(item.metadata.fileSize, std::optional<qint64>(15));
        QVERIFY(!item.metadata.thumbnail);

        const QString dotfile =
            writeFile(dir, QStringLiteral(".bashrc"), QByteArray("alias l=ls\n"));
        const KippetItem hidden = TaskRunner::finish(ItemBuilders::createFileItem(dotfile));
        QCOMPARE(hidden.metadata.fileExtension, std::optional<QString>(QString()));
        QCOMPARE(hidden.metadata.name, QStringLiteral(".bashrc"));
    }

    void unreadableFileIsRefusedNotTurnedIntoAnEmptyItem() {
        QTemporaryDir dir;
        try {
            TaskRunner::finish(
                ItemBuilders::createFileItem(dir.filePath(QStringLiteral("gone.txt"))));
            QFAIL("an unreadable file must not become an item");
        } catch (const IntakeError& error) {
            QCOMPARE(error.errorCase(), IntakeError::Case::fileReadFailed);
            QCOMPARE(error.errorDescription(), QStringLiteral("Failed to read file data"));
        }
    }

    void fileLargerThanAStoredValueIsRefusedByNameWithoutBeingRead() {
        QTemporaryDir dir;
        QFile huge(dir.filePath(QStringLiteral("huge.iso")));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(ItemLoaders::maximumItemBytes + 1)); // sparse: costs no disk
        huge.close();
        try {
            TaskRunner::finish(ItemBuilders::createFileItem(huge.fileName()));
            QFAIL("a file beyond the store's value limit must be refused");
        } catch (const IntakeError& error) {
            QCOMPARE(error.errorCase(), IntakeError::Case::itemTooLarge);
            QVERIFY(error.errorDescription().contains(QStringLiteral("huge.iso")));
        }
    }

    void loadersReadTheProvidersFile() {
        QTemporaryDir dir;
        const QString path = writeFile(dir, QStringLiteral("a.tar.gz"), QByteArray("\x1f\x8b", 2));
        const LoadedFile file =
            TaskRunner::finish(ItemLoaders::loadFileURL(ItemProvider::forLocalFile(path)));
        QCOMPARE(file.name, QStringLiteral("a.tar.gz"));
        QCOMPARE(file.pathExtension, QStringLiteral("gz"));
        QCOMPARE(file.bytes, QByteArray("\x1f\x8b", 2));
        QVERIFY(file.mimeType.has_value());
        try {
            TaskRunner::finish(
                ItemLoaders::loadImageFile(ItemProvider::forText(QStringLiteral("x"))));
            QFAIL("a provider without a file has no file representation");
        } catch (const IntakeError& error) {
            QCOMPARE(error.errorDescription(), QStringLiteral("No URL returned"));
        }
    }
};

QTEST_MAIN(ItemProviderTest)
#include "ItemProviderTest.moc"
