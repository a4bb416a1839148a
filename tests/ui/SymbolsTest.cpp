#include "ui/Symbols.h"
#include "dashboard/IconGrid.h"
#include "dashboard/KippetForm.h"
#include "model/ItemCategory.h"
#include "model/KippetModel.h"
#include "support/TestEnvironment.h"
#include "ui/SymbolNames.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QPixmapCache>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <cstdlib>

namespace {
// The names the bundle was built from.
QSet<QString> tableNames() {
    QFile table(QStringLiteral(KIPPETS_SYMBOL_TABLE));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    QSet<QString> names;
    for (const QByteArray& row : table.readAll().split('\n')) {
        if (row.isEmpty() || row.startsWith('#'))
            continue;
        names.insert(QString::fromUtf8(row.split('\t').first()));
    }
    return names;
}

QByteArray drawingOf(const QString& bundledName) {
    QFile file(Symbols::resourcePath(bundledName));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Fully covered pixels carry the colour at its own alpha; edge pixels are fainter.
struct Coverage {
    int opaque = 0;
    int partial = 0;
    int wrongColour = 0;
};

Coverage coverageOf(const QPixmap& pixmap, const QColor& colour) {
    Coverage coverage;
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() == 0)
                continue;
            if (pixel.alpha() == colour.alpha()) {
                ++coverage.opaque;
                // Premultiplied storage may round a translucent channel by one.
                if (std::abs(pixel.red() - colour.red()) > 1 ||
                    std::abs(pixel.green() - colour.green()) > 1 ||
                    std::abs(pixel.blue() - colour.blue()) > 1)
                    ++coverage.wrongColour;
            } else {
                ++coverage.partial;
            }
        }
    }
    return coverage;
}
} // namespace

class SymbolsTest : public QObject {
    Q_OBJECT
private slots:
    void everyNameTheAppDrawsHasARowAndIsBundledUnderItsOwnName() {
        const QSet<QString> rows = tableNames();
        QVERIFY(!rows.isEmpty());
        const QStringList& drawn = SymbolNames::all();
        // The list gathers the icon grid's list, the categories' symbols and the model's
        // default icon from where the app keeps them.
        for (const QString& icon : IconGrid::iconOptions())
            QVERIFY2(drawn.contains(icon), qPrintable(icon));
        for (ItemCategory category : allItemCategories())
            QVERIFY(drawn.contains(categoryIcon(category)));
        QVERIFY(drawn.contains(KippetModel().icon));
        QVERIFY(drawn.contains(KippetForm::defaultIcon));
        for (const QString& name : drawn) {
            QVERIFY2(rows.contains(name), qPrintable(name));
            QVERIFY2(Symbols::contains(name), qPrintable(name));
            QCOMPARE(Symbols::resolve(name, SymbolRole::ui), name);
            QVERIFY2(!drawingOf(name).isEmpty(), qPrintable(name));
        }
        QVERIFY(drawingOf(QStringLiteral("tray.fill")).startsWith("<svg"));
        QFile licence(QStringLiteral(":/licenses/phosphor.txt"));
        QVERIFY(licence.open(QIODevice::ReadOnly));
        QVERIFY(licence.readAll().startsWith("MIT License"));
    }

    // Views take their symbols from the list's constants: a name written anywhere else in the
    // widget code would be drawn without this test knowing of it. The core draws nothing; the
    // icon grid's kippet icons and the model's names reach the list through all().
    void noViewWritesASymbolNameOutsideTheList() {
        const QSet<QString> rows = tableNames();
        QVERIFY(!rows.isEmpty());
        const QStringList coreFolders{"model", "store", "analysis", "platform"};
        const QStringList listingFiles{"SymbolNames.h", "SymbolNames.cpp", "IconGrid.cpp"};
        static const QRegularExpression literal(QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*)\""));
        const QDir tree(QStringLiteral(KIPPETS_SOURCE_TREE));
        QDirIterator files(tree.path(), {"*.cpp", "*.h"}, QDir::Files,
                           QDirIterator::Subdirectories);
        int scanned = 0;
        QStringList written;
        while (files.hasNext()) {
            const QString path = files.next();
            const QString relative = tree.relativeFilePath(path);
            if (coreFolders.contains(relative.section(u'/', 0, 0)) ||
                listingFiles.contains(files.fileName()))
                continue;
            QFile source(path);
            QVERIFY(source.open(QIODevice::ReadOnly));
            ++scanned;
            for (const QByteArray& line : source.readAll().split('\n')) {
                if (line.trimmed().startsWith("//"))
                    continue;
                for (const auto& match : literal.globalMatch(QString::fromUtf8(line)))
                    if (rows.contains(match.captured(1)))
                        written.append(relative + u' ' + match.captured(1));
            }
        }
        QVERIFY2(scanned > 100, qPrintable(QString::number(scanned)));
        QVERIFY2(written.isEmpty(), qPrintable(written.join(u'\n')));
    }

    void theFortyEightKippetIconsAreFortyEightDifferentDrawings() {
        const QStringList& options = IconGrid::iconOptions();
        QCOMPARE(options.size(), 48);
        QSet<QByteArray> drawings;
        for (const QString& name : options) {
            QCOMPARE(Symbols::resolve(name, SymbolRole::kippetIcon), name);
            drawings.insert(drawingOf(name));
        }
        QCOMPARE(drawings.size(), 48);
        QVERIFY(!drawings.contains(QByteArray()));
    }

    // A bundled symbol the app's views draw without listing it is named once in the log.
    void anUnlistedSymbolIsDrawnAndLoggedOnce() {
        LogCapture log;
        QVERIFY(!SymbolNames::isListed(QStringLiteral("circle.fill")));
        QCOMPARE(Symbols::resolve(QStringLiteral("circle.fill"), SymbolRole::ui),
                 QStringLiteral("circle.fill"));
        Symbols::pixmap(QStringLiteral("circle.fill"), 12, Qt::black, 1.0);
        QCOMPARE(log.lines(),
                 QStringList{QStringLiteral("⚠️ [Symbols] Symbol \"circle.fill\" is "
                                            "drawn but not listed")});
    }

    void unknownNamesFallBackStepByStep() {
        LogCapture log;
        // A ".fill" name tries its first component filled before its leading components.
        QCOMPARE(Symbols::resolve(QStringLiteral("doc.richtext.fill"), SymbolRole::kippetIcon),
                 QStringLiteral("doc.fill"));
        QCOMPARE(Symbols::resolve(QStringLiteral("tray.and.arrow.down.fill"), SymbolRole::ui),
                 QStringLiteral("tray.fill"));
        // Without a filled first component, dotted components go one at a time.
        QCOMPARE(Symbols::resolve(QStringLiteral("link.badge.plus.fill"), SymbolRole::ui),
                 QStringLiteral("link"));
        QCOMPARE(Symbols::resolve(QStringLiteral("checkmark.circle.badge.xmark"), SymbolRole::ui),
                 QStringLiteral("checkmark.circle"));
        QCOMPARE(Symbols::resolve(QStringLiteral("folder.badge.plus"), SymbolRole::ui),
                 QStringLiteral("folder"));
        QVERIFY(log.lines().isEmpty());

        // A kippet's icon from old data ends quietly in the default icon.
        for (const QString& name : {QStringLiteral("zigzag.fill"), QStringLiteral("zigzag"),
                                    QString(), QStringLiteral("../licenses/phosphor.txt")})
            QCOMPARE(Symbols::resolve(name, SymbolRole::kippetIcon), QStringLiteral("tray.fill"));
        QVERIFY(log.lines().isEmpty());

        // An unknown symbol of the app's own is a mistake: drawn as a question mark and logged,
        // once per name.
        QCOMPARE(Symbols::resolve(QStringLiteral("zigzag.circle"), SymbolRole::ui),
                 QStringLiteral("questionmark.circle"));
        QCOMPARE(Symbols::resolve(QStringLiteral("zigzag.circle"), SymbolRole::ui),
                 QStringLiteral("questionmark.circle"));
        QCOMPARE(log.lines(),
                 QStringList{QStringLiteral("⚠️ [Symbols] Unknown symbol \"zigzag.circle\", "
                                            "drawing \"questionmark.circle\"")});
        const QPixmap drawn = Symbols::pixmap(QStringLiteral("zigzag.circle"), 10, Qt::black, 1.0);
        QCOMPARE(
            drawn.toImage(),
            Symbols::pixmap(QStringLiteral("questionmark.circle"), 10, Qt::black, 1.0).toImage());
    }

    void aSymbolIsASquareOfTheColourAtTheDeviceRatio() {
        const QColor red(200, 30, 40);
        const QPixmap sharp = Symbols::pixmap(QStringLiteral("circle.fill"), 20, red, 2.0);
        QCOMPARE(sharp.size(), QSize(44, 44));
        QCOMPARE(sharp.devicePixelRatio(), 2.0);
        QCOMPARE(sharp.deviceIndependentSize(), QSizeF(22, 22));
        const Coverage covered = coverageOf(sharp, red);
        // The drawn circle covers a little less than half of its square.
        QVERIFY2(covered.opaque > 44 * 44 / 3, qPrintable(QString::number(covered.opaque)));
        QCOMPARE(covered.wrongColour, 0);
        QVERIFY(covered.partial > 0);
        // Corners lie outside the circle.
        QCOMPARE(sharp.toImage().pixelColor(0, 0).alpha(), 0);
        QCOMPARE(sharp.toImage().pixelColor(43, 43).alpha(), 0);

        const QPixmap plain = Symbols::pixmap(QStringLiteral("tray.fill"), 13, Qt::blue, 1.0);
        QCOMPARE(plain.size(), QSize(14, 14));
        QCOMPARE(plain.devicePixelRatio(), 1.0);
        QCOMPARE(coverageOf(plain, Qt::blue).wrongColour, 0);
        QVERIFY(coverageOf(plain, Qt::blue).opaque > 0);

        // A translucent colour keeps its alpha.
        const QColor veil(0, 128, 0, 128);
        const Coverage veiled =
            coverageOf(Symbols::pixmap(QStringLiteral("square.fill"), 20, veil, 1.0), veil);
        QVERIFY(veiled.opaque > 100);
        QCOMPARE(veiled.wrongColour, 0);
    }

    void renderedSymbolsAreKeptAndIconsFollowTheirScale() {
        const QPixmap first = Symbols::pixmap(QStringLiteral("star.fill"), 16, Qt::red, 1.5);
        QCOMPARE(Symbols::pixmap(QStringLiteral("star.fill"), 16, Qt::red, 1.5).cacheKey(),
                 first.cacheKey());
        QVERIFY(Symbols::pixmap(QStringLiteral("star.fill"), 16, Qt::green, 1.5).cacheKey() !=
                first.cacheKey());
        QPixmapCache::clear();
        QCOMPARE(Symbols::pixmap(QStringLiteral("star.fill"), 16, Qt::red, 1.5).toImage(),
                 first.toImage());

        const QIcon icon = Symbols::icon(QStringLiteral("gear"), Qt::darkCyan);
        const QPixmap normal = icon.pixmap(QSize(16, 16), 2.0);
        QCOMPARE(normal.size(), QSize(32, 32));
        QCOMPARE(normal.devicePixelRatio(), 2.0);
        QVERIFY(coverageOf(normal, QColor(Qt::darkCyan)).opaque > 0);
        QCOMPARE(coverageOf(normal, QColor(Qt::darkCyan)).wrongColour, 0);
        const QImage disabled = icon.pixmap(QSize(16, 16), 1.0, QIcon::Disabled).toImage();
        int strongest = 0;
        for (int y = 0; y < disabled.height(); ++y)
            for (int x = 0; x < disabled.width(); ++x)
                strongest = std::max(strongest, disabled.pixelColor(x, y).alpha());
        QVERIFY(strongest > 0 && strongest < 128);
    }
};

QTEST_MAIN(SymbolsTest)
#include "SymbolsTest.moc"
