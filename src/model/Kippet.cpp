#include "model/Kippet.h"

#include "model/JsonCoding.h"
#include "model/KippetError.h"
#include "model/Utf8.h"

#include <QJsonArray>

using namespace JsonCoding;

Kippet::Kippet(QUuid id, QString name, KippetColor color, QString icon, QDateTime createdDate,
               QObject* parent)
    : QObject(parent), id_(id), createdDate_(std::move(createdDate)), name_(std::move(name)),
      color_(color), icon_(std::move(icon)), note_(KippetNote::empty(createdDate_)) {}

namespace {
// Stores the value and tells the observers only when it differs from the one held.
template <typename T, typename Signal>
void assign(Kippet* kippet, T& field, const T& value, Signal signal) {
    if (field == value) {
        return;
    }
    field = value;
    emit(kippet->*signal)();
}
} // namespace

void Kippet::setName(const QString& value) {
    assign(this, name_, value, &Kippet::nameChanged);
}
void Kippet::setColor(const KippetColor& value) {
    assign(this, color_, value, &Kippet::colorChanged);
}
void Kippet::setIcon(const QString& value) {
    assign(this, icon_, value, &Kippet::iconChanged);
}
void Kippet::setItems(const QList<KippetItem>& value) {
    assign(this, items_, value, &Kippet::itemsChanged);
}
void Kippet::setNote(const KippetNote& value) {
    assign(this, note_, value, &Kippet::noteChanged);
}
void Kippet::setTodos(const QList<KippetTodo>& value) {
    assign(this, todos_, value, &Kippet::todosChanged);
}
void Kippet::setIsExpanded(bool value) {
    assign(this, isExpanded_, value, &Kippet::isExpandedChanged);
}
void Kippet::setIsMiniView(bool value) {
    assign(this, isMiniView_, value, &Kippet::isMiniViewChanged);
}
void Kippet::setIsTucked(bool value) {
    assign(this, isTucked_, value, &Kippet::isTuckedChanged);
}
void Kippet::setPosition(const QPointF& value) {
    // Exact comparison: QPointF's own == is fuzzy and would swallow small moves.
    if (position_.x() == value.x() && position_.y() == value.y()) {
        return;
    }
    position_ = value;
    emit positionChanged();
}
void Kippet::setLastClosedDate(const std::optional<QDateTime>& value) {
    assign(this, lastClosedDate_, value, &Kippet::lastClosedDateChanged);
}
void Kippet::setProject(const std::optional<QString>& value) {
    assign(this, project_, value, &Kippet::projectChanged);
}
void Kippet::setIsDemoMode(bool value) {
    assign(this, isDemoMode_, value, &Kippet::isDemoModeChanged);
}
void Kippet::setIsDailyKippet(bool value) {
    assign(this, isDailyKippet_, value, &Kippet::isDailyKippetChanged);
}
void Kippet::setCustomInstructions(const std::optional<QString>& value) {
    assign(this, customInstructions_, value, &Kippet::customInstructionsChanged);
}
void Kippet::setSanitizedInstructions(const std::optional<QString>& value) {
    assign(this, sanitizedInstructions_, value, &Kippet::sanitizedInstructionsChanged);
}

int Kippet::totalItemCount() const {
    int count = static_cast<int>(items_.size());
    if (!todos_.isEmpty()) {
        ++count;
    }
    if (!note_.text.trimmed().isEmpty()) {
        ++count;
    }
    return count;
}

void Kippet::addItem(const KippetItem& item) {
    for (const KippetItem& existing : items_) {
        if (existing.isDuplicateOf(item)) {
            throw KippetError(KippetError::Case::duplicateItem);
        }
    }
    items_.append(item);
    emit itemsChanged();
}

void Kippet::removeItem(const QUuid& itemId) {
    items_.removeIf([&itemId](const KippetItem& item) { return item.id == itemId; });
    emit itemsChanged();
}

std::optional<KippetItem> Kippet::item(const QUuid& itemId) const {
    for (const KippetItem& candidate : items_)
        if (candidate.id == itemId)
            return candidate;
    return std::nullopt;
}

bool Kippet::replaceItem(const KippetItem& item) {
    for (qsizetype index = 0; index < items_.size(); ++index) {
        if (items_.at(index).id != item.id)
            continue;
        if (!(items_.at(index) == item)) {
            items_[index] = item;
            emit itemsChanged();
        }
        return true;
    }
    return false;
}

QJsonObject Kippet::toJson() const {
    QJsonArray items;
    for (const KippetItem& item : items_) {
        items.append(item.toJson());
    }
    QJsonArray todos;
    for (const KippetTodo& todo : todos_) {
        todos.append(todo.toJson());
    }
    QJsonObject object{
        {QStringLiteral("id"), encodeUuid(id_)},
        {QStringLiteral("name"), name_},
        {QStringLiteral("color"), color_.toHex()},
        {QStringLiteral("icon"), icon_},
        {QStringLiteral("items"), items},
        {QStringLiteral("note"), note_.toJson()},
        {QStringLiteral("todos"), todos},
        {QStringLiteral("isExpanded"), isExpanded_},
        {QStringLiteral("isMiniView"), isMiniView_},
        {QStringLiteral("isTucked"), isTucked_},
        {QStringLiteral("position"),
         QJsonObject{{QStringLiteral("x"), position_.x()}, {QStringLiteral("y"), position_.y()}}},
        {QStringLiteral("createdDate"), encodeDate(createdDate_)},
        {QStringLiteral("isDailyKippet"), isDailyKippet_},
    };
    if (lastClosedDate_) {
        object.insert(QStringLiteral("lastClosedDate"), encodeDate(*lastClosedDate_));
    }
    if (project_) {
        object.insert(QStringLiteral("project"), *project_);
    }
    if (customInstructions_) {
        object.insert(QStringLiteral("customInstructions"), *customInstructions_);
    }
    if (sanitizedInstructions_) {
        object.insert(QStringLiteral("sanitizedInstructions"), *sanitizedInstructions_);
    }
    return object;
}

namespace {
QJsonArray decodeArray(const QJsonValue& value, const QString& key) {
    if (!value.isArray()) {
        throw JsonDecodingError(QStringLiteral("The value of \"%1\" is not a list.").arg(key));
    }
    return value.toArray();
}

QJsonObject decodeObject(const QJsonValue& value, const QString& key) {
    if (!value.isObject()) {
        throw JsonDecodingError(QStringLiteral("The value of \"%1\" is not an object.").arg(key));
    }
    return value.toObject();
}

QPointF decodePosition(const QJsonValue& value, const QString& key) {
    // A map of names to numbers: every entry must be a number, only "x" and "y" are used.
    const QJsonObject object = decodeObject(value, key);
    for (auto it = object.begin(); it != object.end(); ++it) {
        decodeNumber(it.value(), key + QLatin1Char('.') + it.key());
    }
    return {object.value(QStringLiteral("x")).toDouble(0),
            object.value(QStringLiteral("y")).toDouble(0)};
}

QList<KippetItem> decodeItems(const QJsonValue& value, const QString& key) {
    QList<KippetItem> items;
    for (const QJsonValue& element : decodeArray(value, key)) {
        items.append(KippetItem::fromJson(decodeObject(element, key)));
    }
    return items;
}

// One unreadable todo makes the whole list unreadable; the kippet then has none.
QList<KippetTodo> decodeTodosTolerantly(const QJsonObject& object) {
    try {
        QList<KippetTodo> todos;
        const QString key = QStringLiteral("todos");
        for (const QJsonValue& element : decodeArray(object.value(key), key)) {
            todos.append(KippetTodo::fromJson(decodeObject(element, key)));
        }
        return todos;
    } catch (const JsonDecodingError&) {
        return {};
    }
}

bool boolOrFalse(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toBool(false);
}

std::optional<QString> stringOrAbsent(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

// Older kippets kept their note as an item of type note; the first readable one becomes the
// note and every note item leaves the list.
KippetNote migrateLegacyNote(QList<KippetItem>& items, const QDateTime& now) {
    const auto first = std::find_if(items.cbegin(), items.cend(), [](const KippetItem& item) {
        return item.type == KippetItemType::note;
    });
    if (first == items.cend()) {
        return KippetNote::empty(now);
    }
    const auto text = decodeUtf8(first->content);
    if (!text) {
        return KippetNote::empty(now);
    }
    const KippetNote note{*text, first->addedDate, std::nullopt};
    items.removeIf([](const KippetItem& item) { return item.type == KippetItemType::note; });
    return note;
}
} // namespace

std::unique_ptr<Kippet> Kippet::fromJson(const QJsonObject& object, const QDateTime& now) {
    const auto field = [&object](const char* key, auto decode) {
        const QString name = QString::fromLatin1(key);
        return decode(required(object, name), name);
    };
    const QString colorText = field("color", decodeString);
    auto kippet = std::make_unique<Kippet>(
        field("id", decodeUuid), field("name", decodeString),
        KippetColor::fromHex(colorText).value_or(KippetColor::standardBlue()),
        field("icon", decodeString), field("createdDate", decodeDate));
    QList<KippetItem> items = field("items", decodeItems);
    kippet->isExpanded_ = field("isExpanded", decodeBool);
    kippet->position_ = field("position", decodePosition);
    kippet->lastClosedDate_ = decodeOptional(object, QStringLiteral("lastClosedDate"), decodeDate);
    kippet->project_ = decodeOptional(object, QStringLiteral("project"), decodeString);
    const auto note = decodeOptional(object, QStringLiteral("note"), decodeObject);
    kippet->note_ = note ? KippetNote::fromJson(*note) : migrateLegacyNote(items, now);
    kippet->items_ = items;
    kippet->todos_ = decodeTodosTolerantly(object);
    kippet->isMiniView_ = boolOrFalse(object, "isMiniView");
    kippet->isTucked_ = boolOrFalse(object, "isTucked");
    kippet->isDailyKippet_ = boolOrFalse(object, "isDailyKippet");
    kippet->customInstructions_ = stringOrAbsent(object, "customInstructions");
    kippet->sanitizedInstructions_ = stringOrAbsent(object, "sanitizedInstructions");
    return kippet;
}
