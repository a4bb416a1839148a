#include "analysis/ImageDecoder.h"
#include "model/KippetItem.h"
#include "platform/Clock.h"
#include "support/TestEnvironment.h"
#include "window/ExpandedContent.h"
#include "window/GridColumns.h"
#include "window/ItemCard.h"
#include "window/ItemLayoutMode.h"
#include "window/ItemSections.h"
#include "window/ThumbnailCache.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTest>
#include <limits>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(KippetItem)
Q_DECLARE_METATYPE(ExpandedContent)

// The rules of an expanded kippet window that are plain functions of their inputs: grouping and
// ordering the sections, the grid's column count and its debounce, the choice of the content
// area, and the texts and sizes of an item card.
namespace {
KippetItem item(const QString& name, ItemCategory category,
                std::optional<QString> customCategory = std::nullopt, bool isProcessing = false) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = KippetItemType::text;
    item.content = name.toUtf8();
    item.metadata.name = name;
    item.category = category;
    item.customCategory = std::move(customCategory);
    item.isProcessing = isProcessing;
    return item;
}

QStringList titles(const QList<ItemStack>& stacks) {
    QStringList names;
    for (const ItemStack& stack : stacks)
        names.append(stack.displayName());
    return names;
}

QStringList sorted(QStringList names) {
    std::sort(names.begin(), names.end(), ItemSections::titleLess);
    return names;
}

KippetItem typed(KippetItemType type, const QByteArray& content) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = type;
    item.content = content;
    item.metadata.name = QStringLiteral("item");
    return item;
}

constexpr double infinity = std::numeric_limits<double>::infinity();
} // namespace

class ExpandedLayoutRulesTest : public QObject {
    Q_OBJECT
private slots:
    void itemsAreGroupedByCustomCategoryElseCategory() {
        LogCapture log;
        const QList<ItemStack> stacks = ItemSections::displayStacks(
            {item(QStringLiteral("soup"), ItemCategory::documents, QStringLiteral("Recipes")),
             item(QStringLiteral("site"), ItemCategory::links),
             item(QStringLiteral("pie"), ItemCategory::notes, QStringLiteral("Recipes")),
             item(QStringLiteral("shop"), ItemCategory::documents, QStringLiteral("Links")),
             item(QStringLiteral("later"), ItemCategory::waitingForAnalysis),
             item(QStringLiteral("busy"), ItemCategory::uncategorized, std::nullopt, true),
             item(QStringLiteral("blank"), ItemCategory::code, QString())});
        QCOMPARE(titles(stacks),
                 QStringList({QString(), QStringLiteral("Links"), QStringLiteral("Recipes"),
                              QStringLiteral("Waiting for Analysis")}));
        // Items keep their order within a section; the first item's category is the stack's.
        QCOMPARE(stacks[1].items.size(), 2);
        QCOMPARE(stacks[1].items[0].metadata.name, QStringLiteral("site"));
        QCOMPARE(stacks[1].items[1].metadata.name, QStringLiteral("shop"));
        QCOMPARE(stacks[2].category, ItemCategory::documents);
        QCOMPARE(stacks[2].items[1].metadata.name, QStringLiteral("pie"));
        QCOMPARE(stacks[0].category, ItemCategory::code);
        QCOMPARE(log.lines().filter(QStringLiteral("[displayStacks]")),
                 QStringList({QStringLiteral("📊 [displayStacks] 4 stacks:  (1 items), Links (2 "
                                             "items), Recipes (2 items), Waiting for Analysis (1 "
                                             "items)")}));

        // New ids every time; nothing logged without a section.
        const QList<ItemStack> again = ItemSections::displayStacks(stacks[1].items);
        QVERIFY(again[0].id != stacks[1].id);
        const QList<ItemStack> none = ItemSections::displayStacks(
            {item(QStringLiteral("busy"), ItemCategory::uncategorized, std::nullopt, true)});
        QVERIFY(none.isEmpty());
        QCOMPARE(log.lines().filter(QStringLiteral("[displayStacks]")).size(), 2);
    }

    void sectionsStandInCodePointOrder() {
        QCOMPARE(
            sorted({QStringLiteral("links"), QStringLiteral("Notes"), QStringLiteral("Archives")}),
            QStringList(
                {QStringLiteral("Archives"), QStringLiteral("Notes"), QStringLiteral("links")}));
        QCOMPARE(sorted({QStringLiteral("References"), QStringLiteral("Recipes"),
                         QStringLiteral("Presentations"), QStringLiteral("PDFs")}),
                 QStringList({QStringLiteral("PDFs"), QStringLiteral("Presentations"),
                              QStringLiteral("Recipes"), QStringLiteral("References")}));
        // U+1F600 is above U+FFFD, though its first UTF-16 unit (U+D83D) is below it.
        const QString emoji = QString::fromUcs4(U"\U0001F600 Fun");
        const QString replacement = QString::fromUcs4(U"\uFFFD Odd");
        QCOMPARE(sorted({emoji, replacement}), QStringList({replacement, emoji}));
        // Composed and decomposed spellings are one key.
        const QString composed = QString::fromUcs4(U"\u00C9t\u00E9");
        const QString decomposed = QString::fromUcs4(U"E\u0301te\u0301");
        QVERIFY(!ItemSections::titleLess(composed, decomposed));
        QVERIFY(!ItemSections::titleLess(decomposed, composed));
        // Composed, the first letter is U+00C9, above every ASCII letter.
        QVERIFY(ItemSections::titleLess(QStringLiteral("z"), decomposed));

        // Every built-in category in the order of their titles.
        QList<KippetItem> items;
        for (ItemCategory category : allItemCategories())
            items.append(item(rawValue(category), category));
        QCOMPARE(titles(ItemSections::displayStacks(items)),
                 QStringList({"Archives", "Code", "Colors", "Design Assets", "Documents", "Images",
                              "Links", "Media", "Notes", "PDFs", "Presentations", "References",
                              "Spreadsheets", "Uncategorized", "Waiting for Analysis"}));
    }

    void theColumnCountFollowsTheWidth_data() {
        QTest::addColumn<double>("width");
        QTest::addColumn<int>("columns");
        for (const auto& [width, columns] :
             std::initializer_list<std::pair<double, int>>{{420, 2},
                                                           {536, 3},
                                                           {535, 2},
                                                           {200, 1},
                                                           {0, 1},
                                                           {376, 2},
                                                           {548, 3},
                                                           {800, 4},
                                                           {-50, 1},
                                                           {33, 1},
                                                           {204, 1},
                                                           {3000, 17}})
            QTest::addRow("%g", width) << width << columns;
    }
    void theColumnCountFollowsTheWidth() {
        QFETCH(double, width);
        QFETCH(int, columns);
        QCOMPARE(GridColumns::columnCount(width), columns);
    }

    void theFirstUsableWidthSetsTheColumnsAtOnce() {
        for (const double unusable : {0.0, -10.0, infinity, std::nan("")}) {
            GridColumns grid;
            grid.initializeIfNeeded(unusable);
            grid.handleWidthChange(unusable);
            QVERIFY(!grid.hasInitialized());
            QCOMPARE(grid.count(), 1);
        }
        GridColumns grid;
        grid.initializeIfNeeded(800);
        QCOMPARE(grid.count(), 4);
        grid.initializeIfNeeded(420);
        QCOMPARE(grid.count(), 4);
        // Through a width change as well.
        GridColumns other;
        other.handleWidthChange(420);
        QVERIFY(other.hasInitialized());
        QCOMPARE(other.count(), 2);
        QVERIFY(!other.isResizePending());
    }

    void laterWidthsWaitForTheResizeToSettle() {
        GridColumns grid;
        QSignalSpy changes(&grid, &GridColumns::countChanged);
        grid.initializeIfNeeded(600);
        QCOMPARE(grid.count(), 3);
        grid.handleWidthChange(700);
        QVERIFY(!grid.isResizePending());

        grid.handleWidthChange(800);
        QVERIFY(grid.isResizePending());
        testClock().advance(150ms);
        grid.handleWidthChange(820);
        testClock().advance(150ms);
        QCOMPARE(grid.count(), 3);
        testClock().advance(50ms);
        QCOMPARE(grid.count(), 4);
        QVERIFY(!grid.isResizePending());

        // Wider and back within the wait: nothing changes.
        grid.handleWidthChange(1000);
        grid.handleWidthChange(800);
        QVERIFY(!grid.isResizePending());
        testClock().advance(1s);
        QCOMPARE(grid.count(), 4);

        // Dropped when the layout goes; a later width still waits.
        grid.handleWidthChange(420);
        grid.cancelPendingResize();
        testClock().advance(1s);
        QCOMPARE(grid.count(), 4);
        grid.handleWidthChange(420);
        QCOMPARE(grid.count(), 4);
        testClock().advance(200ms);
        QCOMPARE(grid.count(), 2);
        QCOMPARE(changes.size(), 3);
    }

    void theContentAreaShowsTheFirstStateThatHolds_data() {
        QTest::addColumn<bool>("ai");
        QTest::addColumn<bool>("analyzing");
        QTest::addColumn<bool>("waiting");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<bool>("importing");
        QTest::addColumn<ExpandedContent>("content");
        using C = ExpandedContent;
        QTest::newRow("analysing hides both flags")
            << true << true << true << true << true << C::analyzing;
        QTest::newRow("failed while waiting")
            << true << false << true << true << true << C::analysisFailed;
        QTest::newRow("failed flag without waiting items")
            << true << false << false << true << false << C::items;
        QTest::newRow("importing") << true << false << true << false << true << C::importing;
        QTest::newRow("nothing") << true << false << true << false << false << C::items;
        QTest::newRow("ai off: no analysing")
            << false << true << false << false << false << C::items;
        QTest::newRow("ai off: no failure") << false << false << true << true << false << C::items;
        QTest::newRow("ai off: importing") << false << true << true << true << true << C::importing;
    }
    void theContentAreaShowsTheFirstStateThatHolds() {
        QFETCH(bool, ai);
        QFETCH(bool, analyzing);
        QFETCH(bool, waiting);
        QFETCH(bool, failed);
        QFETCH(bool, importing);
        QFETCH(ExpandedContent, content);
        QCOMPARE(chooseExpandedContent(ai, analyzing, waiting, failed, importing), content);
    }

    void onlyListSelectsTheList() {
        QCOMPARE(ItemLayoutModes::fromStorage(QStringLiteral("list")), ItemLayoutMode::list);
        QCOMPARE(ItemLayoutModes::fromStorage(QStringLiteral("grid")), ItemLayoutMode::grid);
        QCOMPARE(ItemLayoutModes::fromStorage(QStringLiteral("List")), ItemLayoutMode::grid);
        QCOMPARE(ItemLayoutModes::fromStorage(QString()), ItemLayoutMode::grid);
    }

    void thePlaceholderLabel_data() {
        QTest::addColumn<KippetItem>("item");
        QTest::addColumn<QString>("label");
        KippetItem pdf = typed(KippetItemType::file, "%PDF-1.7");
        pdf.metadata.fileExtension = QStringLiteral("pdf");
        KippetItem noExtension = typed(KippetItemType::file, "bytes");
        KippetItem emptyExtension = typed(KippetItemType::file, "bytes");
        emptyExtension.metadata.fileExtension = QString();
        KippetItem site = typed(KippetItemType::url, "https://example.com/a?b=c");
        KippetItem stored = typed(KippetItemType::url, "not a link");
        stored.metadata.urlString = QStringLiteral("https://docs.example.org/page");
        KippetItem extensionFirst = typed(KippetItemType::text, "hello");
        extensionFirst.metadata.fileExtension = QStringLiteral("md");
        QTest::newRow("pdf") << pdf << QStringLiteral("PDF");
        QTest::newRow("file without extension") << noExtension << QString();
        QTest::newRow("empty extension") << emptyExtension << QString();
        QTest::newRow("extension before text") << extensionFirst << QStringLiteral("MD");
        QTest::newRow("two words") << typed(KippetItemType::text, "  Hello \n\n\t world  ")
                                   << QStringLiteral("Hello world");
        QTest::newRow("forty characters")
            << typed(KippetItemType::note, "abcdefghij  klmnopqrstuvwxyz0123456789abcd")
            << QStringLiteral("abcdefghij klmnopq");
        QTest::newRow("grapheme clusters")
            << typed(KippetItemType::text,
                     QString::fromUcs4(U"👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽"
                                       U"👍"
                                       U"🏽"
                                       U"👍"
                                       U"🏽👍🏽👍🏽👍"
                                       U"🏽👍🏽👍🏽👍🏽👍🏽👍🏽")
                         .toUtf8())
            << QString::fromUcs4(U"👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍🏽👍"
                                 U"🏽"
                                 U"👍"
                                 U"🏽"
                                 U"👍"
                                 U"🏽👍🏽👍🏽👍🏽👍🏽👍🏽");
        // Only the beginning of a long text is read; a cut inside a character is not an error.
        QTest::newRow("long text")
            << typed(KippetItemType::text, QString(20000, QChar(0xE9)).toUtf8())
            << QString(18, QChar(0xE9));
        QTest::newRow("long text, cut in a character")
            << typed(KippetItemType::text, "a" + QString(20000, QChar(0xE9)).toUtf8())
            << QStringLiteral("a") + QString(17, QChar(0xE9));
        QTest::newRow("blank text") << typed(KippetItemType::text, " \n ") << QString();
        QTest::newRow("not UTF-8") << typed(KippetItemType::text, "\xff\xfe\xfd") << QString();
        QTest::newRow("host") << site << QStringLiteral("example.com");
        QTest::newRow("stored address first") << stored << QStringLiteral("docs.example.org");
        QTest::newRow("no host") << typed(KippetItemType::url, "mailto:someone@example.com")
                                 << QString();
        QTest::newRow("not a link") << typed(KippetItemType::url, "two words") << QString();
        QTest::newRow("image") << typed(KippetItemType::image, "\x89PNG") << QString();
    }
    void thePlaceholderLabel() {
        QFETCH(KippetItem, item);
        QFETCH(QString, label);
        QCOMPARE(ItemCard::previewLabel(item).value_or(QString()), label);
        QCOMPARE(ItemCard::previewLabel(item).has_value(), !label.isEmpty());
    }

    void thumbnailsAreDecodedSmallAndWithinTheLimit() {
        QImage source(640, 480, QImage::Format_RGB32);
        source.fill(Qt::darkGreen);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        source.save(&buffer, "PNG");
        // Shrunk while read to the least size that covers the box, proportions kept.
        QCOMPARE(ImageDecoder::decodeCovering(bytes, QSize(260, 96))->size(), QSize(260, 195));
        QCOMPARE(ImageDecoder::decodeCovering(bytes, QSize(100, 300))->size(), QSize(400, 300));
        // Never enlarged.
        QCOMPARE(ImageDecoder::decodeCovering(bytes, QSize(1280, 960))->size(), QSize(640, 480));
        // The limit is of the picture the header declares, not of the shrunk one.
        QVERIFY(!ImageDecoder::decodeCovering(bytes, QSize(260, 96), 640 * 480 * 4 - 1));
        QVERIFY(ImageDecoder::decodeCovering(bytes, QSize(260, 96), 640 * 480 * 4));
        QVERIFY(!ImageDecoder::decodeCovering("GIF89a but not really", QSize(260, 96)));

        // Image bytes first, then the thumbnail; neither gives nothing.
        const QImage fromThumbnail = ThumbnailCache::decode(true, "junk", bytes, QSize(260, 96));
        QCOMPARE(fromThumbnail.size(), QSize(260, 195));
        QVERIFY(ThumbnailCache::decode(true, "junk", "more junk", QSize(260, 96)).isNull());
        // A file's own bytes are never read as its picture.
        QVERIFY(ThumbnailCache::decode(false, bytes, QByteArray(), QSize(260, 96)).isNull());
    }

    void theGridThumbnailTakesTwoFifthsOfTheCard() {
        QCOMPARE(ItemCard::thumbnailHeight(300), 120.0);
        QCOMPARE(ItemCard::thumbnailHeight(220), 88.0);
        QCOMPARE(ItemCard::thumbnailHeight(199), 80.0);
        QCOMPARE(ItemCard::thumbnailHeight(0), 80.0);
    }
};

QTEST_MAIN(ExpandedLayoutRulesTest)
#include "ExpandedLayoutRulesTest.moc"
