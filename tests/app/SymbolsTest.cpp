#include "app/Symbols.h"
#include "model/ItemCategory.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QPixmapCache>
#include <QSet>
#include <QTest>

#include <cstdlib>

namespace {
// The names the app stores and draws, as the bundle was built from them.
QStringList tableNames() {
    QFile table(QStringLiteral(KIPPETS_SYMBOL_TABLE));
    if (!table.open(QIODevice::ReadOnly))
        return {};
    QStringList names;
    for (const QByteArray& row : table.readAll().split('\n')) {
        if (row.isEmpty() || row.startsWith('#'))
            continue;
        names.append(QString::fromUtf8(row.split('\t').first()));
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
    void everyNameTheAppUsesIsBundledUnderItsOwnName() {
        const QStringList names = tableNames();
        QCOMPARE(names.size(), 137);
        for (const QString& name : names) {
            QVERIFY2(Symbols::contains(name), qPrintable(name));
            QCOMPARE(Symbols::resolve(name, SymbolRole::ui), name);
            QVERIFY2(!drawingOf(name).isEmpty(), qPrintable(name));
        }
        for (ItemCategory category : allItemCategories())
            QCOMPARE(Symbols::resolve(categoryIcon(category), SymbolRole::ui),
                     categoryIcon(category));
        QVERIFY(drawingOf(QStringLiteral("tray.fill")).startsWith("<svg"));
        QFile licence(QStringLiteral(":/licenses/phosphor.txt"));
        QVERIFY(licence.open(QIODevice::ReadOnly));
        QVERIFY(licence.readAll().startsWith("MIT License"));
    }

    void theFortyEightKippetIconsAreFortyEightDifferentDrawings() {
        const QStringList options = {"tray.fill",
                                     "folder.fill",
                                     "star.fill",
                                     "heart.fill",
                                     "bookmark.fill",
                                     "flag.fill",
                                     "briefcase.fill",
                                     "doc.text.fill",
                                     "calendar",
                                     "paperclip",
                                     "paperplane.fill",
                                     "bolt.fill",
                                     "lightbulb.fill",
                                     "checkmark.circle.fill",
                                     "pencil",
                                     "paintbrush.pointed",
                                     "book.fill",
                                     "graduationcap.fill",
                                     "brain.head.profile",
                                     "list.bullet.rectangle",
                                     "bell.fill",
                                     "message.fill",
                                     "bubble.left.and.bubble.right.fill",
                                     "phone.fill",
                                     "photo",
                                     "camera.fill",
                                     "music.note",
                                     "film.fill",
                                     "gamecontroller.fill",
                                     "sparkles",
                                     "leaf.fill",
                                     "globe",
                                     "map.fill",
                                     "house.fill",
                                     "cart.fill",
                                     "gift.fill",
                                     "gearshape.fill",
                                     "cpu",
                                     "bolt.shield.fill",
                                     "icloud.fill",
                                     "network",
                                     "terminal.fill",
                                     "airplane",
                                     "car.fill",
                                     "bicycle",
                                     "location.fill",
                                     "signpost.right.fill",
                                     "figure.walk"};
        QCOMPARE(options.size(), 48);
        QSet<QByteArray> drawings;
        for (const QString& name : options) {
            QCOMPARE(Symbols::resolve(name, SymbolRole::kippetIcon), name);
            drawings.insert(drawingOf(name));
        }
        QCOMPARE(drawings.size(), 48);
        QVERIFY(!drawings.contains(QByteArray()));
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
