#include "KippetJsonFixtures.h"
#include "model/ItemMetadata.h"
#include "model/JsonCoding.h"
#include "model/Kippet.h"
#include "model/KippetError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <limits>

namespace {
QJsonObject parse(const char* text) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray(text), &error);
    if (error.error != QJsonParseError::NoError) {
        qFatal("bad fixture: %s", qPrintable(error.errorString()));
    }
    return document.object();
}

QDateTime utc(const char* iso) {
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

ItemMetadata named(const QString& name) {
    ItemMetadata metadata;
    metadata.name = name;
    return metadata;
}

const QDateTime kNow = utc("2026-03-01T12:00:00Z");

// Only the required keys.
QJsonObject minimalKippet() {
    return parse(R"({"id": "6F9619FF-8B86-D011-B42D-00C04FC964FF", "name": "K", "color": "FF0000",
                     "icon": "star", "items": [], "isExpanded": false,
                     "position": {"x": 1, "y": 2}, "createdDate": "2026-01-10T07:00:00Z"})");
}

QJsonObject noteItem(const char* id, const QByteArray& content, const char* added) {
    return KippetItem{QUuid::fromString(QString::fromLatin1(id)),
                      KippetItemType::note,
                      content,
                      named(QStringLiteral("Note")),
                      ItemCategory::notes,
                      std::nullopt,
                      false,
                      utc(added)}
        .toJson();
}

QJsonObject imageItem() {
    return KippetItem{QUuid::fromString(QStringLiteral("00000000-0000-0000-0000-0000000000AA")),
                      KippetItemType::image,
                      QByteArray("\x89PNG", 4),
                      named(QStringLiteral("shot.png")),
                      ItemCategory::images,
                      std::nullopt,
                      true,
                      utc("2026-01-12T00:00:00Z")}
        .toJson();
}

QJsonObject withLegacyItems(const QByteArray& firstNote) {
    QJsonObject object = minimalKippet();
    object.insert(
        QStringLiteral("items"),
        QJsonArray{
            noteItem("00000000-0000-0000-0000-000000000001", firstNote, "2026-01-11T09:00:00Z"),
            imageItem(),
            noteItem("00000000-0000-0000-0000-000000000002", "bye", "2026-01-13T09:00:00Z")});
    return object;
}

void expectDecodingFails(const QJsonObject& object) {
    QVERIFY_THROWS_EXCEPTION(JsonDecodingError, Kippet::fromJson(object, kNow));
}
} // namespace

class KippetJsonTest : public QObject {
    Q_OBJECT
private slots:
    void fullKippetDecodesEveryKeyAndReencodesToTheSameObject() {
        const QJsonObject fixture = parse(kFullKippet);
        const auto kippet = Kippet::fromJson(fixture, kNow);

        QCOMPARE(kippet->id(),
                 QUuid::fromString(QStringLiteral("6f9619ff-8b86-d011-b42d-00c04fc964ff")));
        QCOMPARE(kippet->name(), QStringLiteral("Research"));
        QCOMPARE(kippet->color(), (KippetColor{0x33 / 255.0, 0x66 / 255.0, 1.0, 1.0}));
        QCOMPARE(kippet->items().size(), 1);
        const KippetItem& item = kippet->items().first();
        QCOMPARE(item.content, QByteArray("%PDF-1.4"));
        QCOMPARE(item.metadata.fileSize, std::optional<qint64>(123456));
        QCOMPARE(item.metadata.thumbnail,
                 std::optional<QByteArray>(QByteArray("\x00\x01\x02\xff", 4)));
        QCOMPARE(item.metadata.aiTags, std::optional<QStringList>({"science", "pdf"}));
        QCOMPARE(item.category, ItemCategory::pdfs);
        QCOMPARE(item.customCategory, std::optional<QString>(QStringLiteral("Papers")));
        QCOMPARE(item.addedDate, utc("2026-01-15T09:30:00Z"));
        QCOMPARE(kippet->note().windowFrame,
                 std::optional(KippetNote::WindowFrame{10, 20.5, 300, 200}));
        QCOMPARE(kippet->todos().size(), 1);
        QCOMPARE(kippet->todos().first().order, std::optional<int>(3));
        QCOMPARE(kippet->todos().first().completionTransitionDeadline,
                 std::optional(utc("2026-01-17T08:00:02Z")));
        QVERIFY(kippet->isExpanded() && kippet->isMiniView() && kippet->isTucked());
        QCOMPARE(kippet->position(), QPointF(120.5, -40));
        QCOMPARE(kippet->lastClosedDate(), std::optional(utc("2026-01-20T18:45:00Z")));
        QCOMPARE(kippet->project(), std::optional<QString>(QStringLiteral("Thesis")));
        QVERIFY(kippet->isDailyKippet());
        QVERIFY(!kippet->isDemoMode());
        QCOMPARE(kippet->sanitizedInstructions(),
                 std::optional<QString>(QStringLiteral("Sort by topic.")));

        QCOMPARE(kippet->toJson(), fixture);
    }

    void absentAndNullOptionalKeysAreNeitherReadNorWritten() {
        QJsonObject object = minimalKippet();
        object.insert(QStringLiteral("project"), QJsonValue::Null);
        object.insert(QStringLiteral("lastClosedDate"), QJsonValue::Null);
        object.insert(QStringLiteral("somethingNew"), 42);
        const auto kippet = Kippet::fromJson(object, kNow);
        QVERIFY(!kippet->project() && !kippet->lastClosedDate());
        QVERIFY(!kippet->customInstructions() && !kippet->sanitizedInstructions());
        QVERIFY(!kippet->isMiniView() && !kippet->isTucked() && !kippet->isDailyKippet());
        QVERIFY(kippet->todos().isEmpty());

        kippet->setIsDemoMode(true);
        const QJsonObject written = kippet->toJson();
        for (const char* key : {"lastClosedDate", "project", "customInstructions",
                                "sanitizedInstructions", "isDemoMode", "somethingNew"}) {
            QVERIFY2(!written.contains(QLatin1String(key)), key);
        }
        QCOMPARE(written.value(QStringLiteral("isDailyKippet")), QJsonValue(false));
    }

    void tolerantKeysOfTheWrongFormReadAsDefaults() {
        QJsonObject object = minimalKippet();
        object.insert(QStringLiteral("isMiniView"), QStringLiteral("yes"));
        object.insert(QStringLiteral("isTucked"), 1);
        object.insert(QStringLiteral("isDailyKippet"), QJsonValue::Null);
        object.insert(QStringLiteral("customInstructions"), 5);
        object.insert(QStringLiteral("todos"), QStringLiteral("none"));
        const auto kippet = Kippet::fromJson(object, kNow);
        QVERIFY(!kippet->isMiniView() && !kippet->isTucked() && !kippet->isDailyKippet());
        QVERIFY(!kippet->customInstructions());
        QVERIFY(kippet->todos().isEmpty());
    }

    void oneBadTodoEmptiesTheTodoList() {
        QJsonObject object = parse(kFullKippet);
        QJsonArray todos = object.value(QStringLiteral("todos")).toArray();
        todos.append(parse(R"({"id": "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEE0", "text": "no flag",
                               "createdAt": "2026-01-17T08:00:00Z"})"));
        object.insert(QStringLiteral("todos"), todos);
        const auto kippet = Kippet::fromJson(object, kNow);
        QVERIFY(kippet->todos().isEmpty());
        QCOMPARE(kippet->items().size(), 1);
    }

    void badItemOrMalformedRequiredOrOptionalKeyFailsTheKippet() {
        const QJsonObject full = parse(kFullKippet);
        const auto withItemChange = [&full](const QString& key, const QJsonValue& value) {
            QJsonObject item = full.value(QStringLiteral("items")).toArray().first().toObject();
            if (value.isUndefined()) {
                item.remove(key);
            } else {
                item.insert(key, value);
            }
            QJsonObject object = full;
            object.insert(QStringLiteral("items"), QJsonArray{item});
            return object;
        };
        expectDecodingFails(withItemChange(QStringLiteral("type"), QStringLiteral("folder")));
        expectDecodingFails(withItemChange(QStringLiteral("isProcessing"), QJsonValue::Undefined));
        expectDecodingFails(withItemChange(QStringLiteral("category"), 3));
        expectDecodingFails(withItemChange(QStringLiteral("content"), QStringLiteral("YWJ")));
        expectDecodingFails(withItemChange(QStringLiteral("content"), QStringLiteral("YW J=")));
        expectDecodingFails(withItemChange(QStringLiteral("customCategory"), false));

        for (const char* key :
             {"id", "name", "color", "icon", "items", "isExpanded", "position", "createdDate"}) {
            QJsonObject object = full;
            object.remove(QLatin1String(key));
            QVERIFY_THROWS_EXCEPTION(JsonDecodingError, Kippet::fromJson(object, kNow));
        }
        for (const auto& [key, value] :
             {std::pair{"project", QJsonValue(7)},
              std::pair{"lastClosedDate", QJsonValue("yesterday")},
              std::pair{"note", QJsonValue(parse(R"({"text": "x"})"))},
              std::pair{"position", QJsonValue(parse(R"({"x": "1"})"))},
              std::pair{"createdDate", QJsonValue("2026-01-10T07:00:00")}}) {
            QJsonObject object = full;
            object.insert(QLatin1String(key), value);
            QVERIFY_THROWS_EXCEPTION(JsonDecodingError, Kippet::fromJson(object, kNow));
        }
    }

    void legacyNoteItemBecomesTheNote() {
        for (const QJsonValue& note :
             {QJsonValue(QJsonValue::Undefined), QJsonValue(QJsonValue::Null)}) {
            QJsonObject object = withLegacyItems("hello");
            if (note.isNull()) {
                object.insert(QStringLiteral("note"), note);
            }
            const auto kippet = Kippet::fromJson(object, kNow);
            QCOMPARE(kippet->note(), (KippetNote{QStringLiteral("hello"),
                                                 utc("2026-01-11T09:00:00Z"), std::nullopt}));
            QCOMPARE(kippet->items().size(), 1);
            QCOMPARE(kippet->items().first().type, KippetItemType::image);
        }
    }

    void legacyNoteItemsStayBesideAPresentOrUnreadableNote() {
        QJsonObject object = withLegacyItems("hello");
        object.insert(QStringLiteral("note"),
                      parse(R"({"text": "kept", "updatedAt": "2026-02-01T00:00:00Z"})"));
        auto kippet = Kippet::fromJson(object, kNow);
        QCOMPARE(kippet->note().text, QStringLiteral("kept"));
        QCOMPARE(kippet->items().size(), 3);

        kippet = Kippet::fromJson(withLegacyItems(QByteArray("\xff\xfe\x80", 3)), kNow);
        QCOMPARE(kippet->note(), KippetNote::empty(kNow));
        QCOMPARE(kippet->items().size(), 3);
    }

    void categoriesReadLenientlyAndWriteTheirRawValue() {
        const QList<std::pair<QString, ItemCategory>> cases{
            {QStringLiteral("Websites"), ItemCategory::links},
            {QStringLiteral("Research"), ItemCategory::documents},
            {QStringLiteral("Notes"), ItemCategory::notes},
            {QStringLiteral("notes"), ItemCategory::uncategorized},
            {QStringLiteral("Gadgets"), ItemCategory::uncategorized}};
        for (const auto& [raw, expected] : cases) {
            QJsonObject object = imageItem();
            object.insert(QStringLiteral("category"), raw);
            const KippetItem item = KippetItem::fromJson(object);
            QCOMPARE(item.category, expected);
            QCOMPARE(item.toJson().value(QStringLiteral("category")).toString(),
                     rawValue(expected));
        }
        QCOMPARE(itemCategoryFromRaw(QStringLiteral("Websites")), std::nullopt);
        QCOMPARE(itemCategoryFromRaw(QStringLiteral("Waiting for Analysis")),
                 std::optional(ItemCategory::waitingForAnalysis));
    }

    void datesAndIdsReadLenientlyAndWriteCanonically() {
        QJsonObject object = imageItem();
        object.insert(QStringLiteral("id"), QStringLiteral("abcdef01-2345-6789-abcd-ef0123456789"));
        object.insert(QStringLiteral("addedDate"), QStringLiteral("2026-01-15T11:30:00.750+02:00"));
        const QJsonObject written = KippetItem::fromJson(object).toJson();
        QCOMPARE(written.value(QStringLiteral("id")).toString(),
                 QStringLiteral("ABCDEF01-2345-6789-ABCD-EF0123456789"));
        QCOMPARE(written.value(QStringLiteral("addedDate")).toString(),
                 QStringLiteral("2026-01-15T09:30:00Z"));
    }

    void metadataWithOnlyANameKeepsOnlyTheName() {
        const ItemMetadata metadata =
            ItemMetadata::fromJson(parse(R"({"name": "x", "aiTags": null})"));
        QCOMPARE(metadata, named(QStringLiteral("x")));
        QCOMPARE(metadata.toJson().keys(), QStringList{QStringLiteral("name")});
        QVERIFY_THROWS_EXCEPTION(
            JsonDecodingError, ItemMetadata::fromJson(parse(R"({"name": "x", "fileSize": 1.5})")));
        QVERIFY_THROWS_EXCEPTION(JsonDecodingError, ItemMetadata::fromJson(parse(
                                                        R"({"name": "x", "aiTags": ["a", 1]})")));
    }

    void integersDecodeExactlyOverTheWhole64BitRange() {
        const auto size = [](const char* text) {
            return ItemMetadata::fromJson(
                       parse(
                           (QByteArray(R"({"name": "x", "fileSize": )") + text + "}").constData()))
                .fileSize;
        };
        QCOMPARE(size("9007199254740993"), std::optional<qint64>(9007199254740993LL));
        QCOMPARE(size("9223372036854775807"), std::optional<qint64>(9223372036854775807LL));
        QCOMPARE(size("-9223372036854775808"),
                 std::optional<qint64>(std::numeric_limits<qint64>::min()));
        QCOMPARE(size("4.0e3"), std::optional<qint64>(4000));
        QVERIFY_THROWS_EXCEPTION(JsonDecodingError, size("9223372036854775808"));
        QVERIFY_THROWS_EXCEPTION(JsonDecodingError, size("1e19"));
        // And back: the encoding keeps every digit.
        ItemMetadata metadata = named(QStringLiteral("x"));
        metadata.fileSize = 9223372036854775807LL;
        QCOMPARE(
            ItemMetadata::fromJson(parse(QJsonDocument(metadata.toJson()).toJson().constData()))
                .fileSize,
            metadata.fileSize);
    }

    void noteAndTodoOptionalKeysAndRequiredKeys() {
        const KippetNote note = KippetNote::fromJson(
            parse(R"({"text": "t", "updatedAt": "2026-01-01T00:00:00Z", "windowFrame": null})"));
        QVERIFY(!note.windowFrame);
        QVERIFY(!note.toJson().contains(QStringLiteral("windowFrame")));
        QVERIFY_THROWS_EXCEPTION(JsonDecodingError,
                                 KippetNote::fromJson(parse(R"({"text": "t"})")));
        QVERIFY_THROWS_EXCEPTION(
            JsonDecodingError,
            KippetNote::fromJson(parse(R"({"text": "t", "updatedAt": "2026-01-01T00:00:00Z",
                                                               "windowFrame": {"originX": 1, "originY": 2, "width": 3}})")));

        const KippetTodo todo =
            KippetTodo::fromJson(parse(R"({"id": "AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE",
            "text": "t", "isDone": false, "createdAt": "2026-01-01T00:00:00Z"})"));
        QVERIFY(!todo.order && !todo.completionTransitionDeadline);
        const QJsonObject written = todo.toJson();
        QVERIFY(!written.contains(QStringLiteral("order")) &&
                !written.contains(QStringLiteral("completionTransitionDeadline")));
    }

    void colourTextsOfTheKippet() {
        const auto colorOf = [](const QString& text) {
            QJsonObject object = minimalKippet();
            object.insert(QStringLiteral("color"), text);
            const auto kippet = Kippet::fromJson(object, kNow);
            return std::pair{kippet->color(),
                             kippet->toJson().value(QStringLiteral("color")).toString()};
        };
        QCOMPARE(colorOf(QStringLiteral("#3366ff")).second, QStringLiteral("3366FF"));
        QCOMPARE(colorOf(QStringLiteral("abc")).first, KippetColor::standardBlue());
        QCOMPARE(colorOf(QStringLiteral("")).first, KippetColor::standardBlue());
        const auto [red, text] = colorOf(QStringLiteral("80FF0000"));
        QCOMPARE(red, (KippetColor{1.0, 0.0, 0.0, 128 / 255.0}));
        QCOMPARE(text, QStringLiteral("FF0000"));
    }

    void positionTakesMissingCoordinatesAsZero() {
        QJsonObject object = minimalKippet();
        object.insert(QStringLiteral("position"), parse(R"({"x": 10, "z": 3})"));
        QCOMPARE(Kippet::fromJson(object, kNow)->position(), QPointF(10, 0));
    }
};

QTEST_GUILESS_MAIN(KippetJsonTest)
#include "KippetJsonTest.moc"
