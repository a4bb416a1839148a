#pragma once

#include <QByteArray>
#include <QSet>
#include <QUuid>
#include <optional>

// The active-ids list: a compact JSON array of upper-case UUID texts; readers make a set of it.
namespace ActiveKippetIDs {
inline constexpr const char* key = "active_kippet_ids_v2";
inline constexpr const char* legacyKey = "active_kippet_ids";

QByteArray encode(const QSet<QUuid>& ids);
// Nothing when the data is not a JSON array of UUID texts.
std::optional<QSet<QUuid>> decode(const QByteArray& data);
} // namespace ActiveKippetIDs
