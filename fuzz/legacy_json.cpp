// The legacy JSON file as the migration reads it: the document, its two kippet lists, and each
// kippet (with its items, notes and to-dos) decoded on its own.

#include "FuzzApplication.h"
#include "model/Kippet.h"
#include "model/KippetItem.h"
#include "model/KippetNote.h"
#include "model/KippetTodo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <exception>

namespace {
void decodeEach(const QJsonArray& values, const QDateTime& now) {
    for (const QJsonValue& value : values) {
        const QJsonObject object = value.toObject();
        try {
            Kippet::fromJson(object, now);
        } catch (const std::exception&) {
        }
        // The records a kippet holds, each from the same object as a stray list would carry it.
        try {
            KippetItem::fromJson(object);
        } catch (const std::exception&) {
        }
        try {
            KippetNote::fromJson(object);
        } catch (const std::exception&) {
        }
        try {
            KippetTodo::fromJson(object);
        } catch (const std::exception&) {
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ensureFuzzApplication();
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1768469400, Qt::UTC);
    if (document.isArray())
        decodeEach(document.array(), now);
    const QJsonObject object = document.object();
    decodeEach(object.value(QStringLiteral("activeKippets")).toArray(), now);
    decodeEach(object.value(QStringLiteral("allKippets")).toArray(), now);
    return 0;
}
