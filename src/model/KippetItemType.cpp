#include "model/KippetItemType.h"

#include <array>

namespace {
struct TypeName {
    KippetItemType type;
    const char* raw;
};

constexpr std::array<TypeName, 8> kTypeNames{{{KippetItemType::file, "file"},
                                              {KippetItemType::text, "text"},
                                              {KippetItemType::url, "url"},
                                              {KippetItemType::image, "image"},
                                              {KippetItemType::color, "color"},
                                              {KippetItemType::note, "note"},
                                              {KippetItemType::code, "code"},
                                              {KippetItemType::unknown, "unknown"}}};
} // namespace

QString rawValue(KippetItemType type) {
    for (const auto& entry : kTypeNames) {
        if (entry.type == type) {
            return QString::fromLatin1(entry.raw);
        }
    }
    return QStringLiteral("unknown");
}

std::optional<KippetItemType> kippetItemTypeFromRaw(const QString& raw) {
    for (const auto& entry : kTypeNames) {
        if (raw == QLatin1String(entry.raw)) {
            return entry.type;
        }
    }
    return std::nullopt;
}
