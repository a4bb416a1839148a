#include "model/ItemStack.h"
#include "model/Kippet.h"
#include "model/KippetError.h"

#include <QSignalSpy>
#include <QTest>

namespace {
const QDateTime kCreated =
    QDateTime::fromString(QStringLiteral("2026-01-10T07:00:00Z"), Qt::ISODate);

KippetItem makeItem(const QByteArray& content, const QString& name,
                    KippetItemType type = KippetItemType::file) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = type;
    item.content = content;
    item.metadata.name = name;
    item.addedDate = kCreated;
    return item;
}

std::unique_ptr<Kippet> makeKippet() {
    return std::make_unique<Kippet>(QUuid::createUuid(), QStringLiteral("K"),
                                    KippetColor::standardBlue(), QStringLiteral("star"), kCreated);
}

bool near(double a, double b) {
    return std::abs(a - b) < 1e-9;
}
} // namespace

class KippetRecordTest : public QObject {
    Q_OBJECT
private slots:
    void hexColoursAreReadFromSixOrEightDigits() {
        const auto blue = KippetColor::fromHex(QStringLiteral("#3366ff"));
        QVERIFY(blue);
        QVERIFY(near(blue->red, 0x33 / 255.0) && near(blue->green, 0x66 / 255.0) &&
                blue->blue == 1.0);
        QCOMPARE(blue->alpha, 1.0);

        const auto withAlpha = KippetColor::fromHex(QStringLiteral("FF880080"));
        QVERIFY(withAlpha);
        QCOMPARE(*withAlpha, (KippetColor{0x88 / 255.0, 0.0, 0x80 / 255.0, 1.0}));
        QCOMPARE(withAlpha->toHex(), QStringLiteral("880080"));

        QCOMPARE(KippetColor::fromHex(QStringLiteral("ZZZZZZ")),
                 std::optional(KippetColor{0, 0, 0, 1}));
        for (const char* text : {"abc", "", "12345", "1234567", "  #  "}) {
            QVERIFY2(!KippetColor::fromHex(QString::fromLatin1(text)), text);
        }
    }

    void hexColoursAreWrittenClampedAndRounded() {
        QCOMPARE((KippetColor{1.0, 0.5, 0.0, 1.0}.toHex()), QStringLiteral("FF8000"));
        // Out-of-range components must still give six digits that the reader accepts.
        const KippetColor wild{1.7, -0.3, 0.5, 2.0};
        QCOMPARE(wild.toHex(), QStringLiteral("FF0080"));
        QVERIFY(KippetColor::fromHex(wild.toHex()));
        QCOMPARE((KippetColor{std::nan(""), 0.2, 1e300, 1}.toHex()), QStringLiteral("0033FF"));
        QCOMPARE(wild.toQColor().name(QColor::HexArgb), QStringLiteral("#ffff0080"));
    }

    void qColourConversionKeepsAllFourComponents() {
        const KippetColor color{1.0, 0.5, 0.0, 0.25};
        const QColor display = color.toQColor();
        QVERIFY(near(display.redF(), 1.0) && std::abs(display.greenF() - 0.5) < 1e-3);
        QVERIFY(std::abs(display.alphaF() - 0.25) < 1e-3);
        QCOMPARE(KippetColor::fromQColor(QColor()), (KippetColor{0, 0, 0, 1}));
    }

    void addItemRefusesTrueDuplicateWithoutNotifying() {
        auto kippet = makeKippet();
        kippet->addItem(makeItem("bytes", QStringLiteral("a.txt")));
        const QList<KippetItem> before = kippet->items();
        QSignalSpy spy(kippet.get(), &Kippet::itemsChanged);

        // Another type does not make it another item.
        const KippetItem duplicate =
            makeItem("bytes", QStringLiteral("a.txt"), KippetItemType::text);
        try {
            kippet->addItem(duplicate);
            QFAIL("a duplicate was accepted");
        } catch (const KippetError& error) {
            QCOMPARE(error.errorCase(), KippetError::Case::duplicateItem);
            QCOMPARE(error.errorDescription(),
                     QStringLiteral("This item already exists in the kippet."));
        }
        QCOMPARE(kippet->items(), before);
        QCOMPARE(spy.count(), 0);

        kippet->addItem(makeItem("bytes", QStringLiteral("b.txt")));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(kippet->items().last().metadata.name, QStringLiteral("b.txt"));
    }

    void contentAndNameThatOnlyJoinAlikeAreNoDuplicate() {
        auto kippet = makeKippet();
        kippet->addItem(makeItem("ab", QStringLiteral("c")));
        kippet->addItem(makeItem("a", QStringLiteral("bc")));
        QCOMPARE(kippet->items().size(), 2);
    }

    void removeItemRemovesEveryMatchAndAlwaysNotifies() {
        auto kippet = makeKippet();
        KippetItem first = makeItem("1", QStringLiteral("one"));
        KippetItem twin = makeItem("2", QStringLiteral("two"));
        twin.id = first.id;
        const KippetItem other = makeItem("3", QStringLiteral("three"));
        kippet->setItems({first, other, twin});
        QSignalSpy spy(kippet.get(), &Kippet::itemsChanged);

        kippet->removeItem(QUuid::createUuid());
        QCOMPARE(kippet->items().size(), 3);
        QCOMPARE(spy.count(), 1);
        kippet->removeItem(first.id);
        QCOMPARE(kippet->items(), QList<KippetItem>{other});
        QCOMPARE(spy.count(), 2);
    }

    void settersNotifyOnlyOnChange() {
        auto kippet = makeKippet();
        QSignalSpy name(kippet.get(), &Kippet::nameChanged);
        QSignalSpy position(kippet.get(), &Kippet::positionChanged);
        QSignalSpy project(kippet.get(), &Kippet::projectChanged);
        QSignalSpy note(kippet.get(), &Kippet::noteChanged);

        kippet->setName(QStringLiteral("K"));
        kippet->setName(QStringLiteral("L"));
        kippet->setPosition(QPointF(0, 0));
        kippet->setPosition(QPointF(0, 1e-13)); // a move, however small
        kippet->setProject(std::nullopt);
        kippet->setProject(QString());
        kippet->setNote(KippetNote::empty(kCreated));
        QCOMPARE(name.count(), 1);
        QCOMPARE(position.count(), 1);
        QCOMPARE(project.count(), 1); // an empty project differs from none
        QCOMPARE(note.count(), 0);
    }

    void totalItemCountCountsTodosAndANoteWithTextOnceEach() {
        auto kippet = makeKippet();
        QCOMPARE(kippet->totalItemCount(), 0);
        kippet->setItems({makeItem("1", "a"), makeItem("2", "b"), makeItem("3", "c")});
        kippet->setTodos({KippetTodo{QUuid::createUuid(), "x", false, kCreated, {}, {}},
                          KippetTodo{QUuid::createUuid(), "y", true, kCreated, {}, {}}});
        kippet->setNote(KippetNote{QStringLiteral(" \n\t "), kCreated, std::nullopt});
        QCOMPARE(kippet->totalItemCount(), 4);
        kippet->setTodos({});
        kippet->setNote(KippetNote{QStringLiteral("a"), kCreated, std::nullopt});
        QCOMPARE(kippet->totalItemCount(), 4);
    }

    void displayTitleAndFileReference() {
        KippetItem item = makeItem("x", QStringLiteral("  name  "));
        QCOMPARE(item.displayTitle(), QStringLiteral("  name  "));
        item.metadata.aiTitle = QStringLiteral("  \n ");
        QCOMPARE(item.displayTitle(), QStringLiteral("  name  "));
        item.metadata.aiTitle = QStringLiteral("  Title\n");
        QCOMPARE(item.displayTitle(), QStringLiteral("Title"));

        QVERIFY(makeItem("file:///tmp/a.pdf", "a").isFileReference());
        QVERIFY(!makeItem("file:///tmp/a.pdf", "a", KippetItemType::url).isFileReference());
        QVERIFY(!makeItem("FILE:///tmp/a.pdf", "a").isFileReference());
        QVERIFY(!makeItem(QByteArray("file://\xff", 8), "a").isFileReference());
    }

    void itemsDifferingOnlyInProcessingAreUnequal() {
        KippetItem a = makeItem("x", "n");
        KippetItem b = a;
        b.isProcessing = true;
        QVERIFY(a != b);
    }

    void stackIsNamedByTheFirstCustomCategory() {
        KippetItem plain = makeItem("1", "a");
        KippetItem second = makeItem("2", "b");
        second.customCategory = QStringLiteral("Invoices");
        KippetItem third = makeItem("3", "c");
        third.customCategory = QStringLiteral("Receipts");
        QCOMPARE((ItemStack{QUuid::createUuid(), ItemCategory::documents, {plain, second, third}}
                      .displayName()),
                 QStringLiteral("Invoices"));
        QCOMPARE((ItemStack{QUuid::createUuid(), ItemCategory::waitingForAnalysis, {plain}}
                      .displayName()),
                 QStringLiteral("Waiting for Analysis"));
    }
};

QTEST_GUILESS_MAIN(KippetRecordTest)
#include "KippetRecordTest.moc"
