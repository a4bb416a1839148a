#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The bytes read as UTF-8, or nothing when they are not valid UTF-8.
std::optional<QString> decodeUtf8(const QByteArray& bytes);
