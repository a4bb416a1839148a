#pragma once

#include <QMetaType>
#include <QString>
#include <optional>

// The kind of an item; stored and coded as its raw value.
enum class KippetItemType { file, text, url, image, color, note, code, unknown };

QString rawValue(KippetItemType type);
// The case whose raw value equals the text exactly; nothing otherwise.
std::optional<KippetItemType> kippetItemTypeFromRaw(const QString& raw);

Q_DECLARE_METATYPE(KippetItemType)
