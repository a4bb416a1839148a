#pragma once

#include <QByteArray>
#include <QColor>
#include <QSize>
#include <QString>

// Files and bytes that tests make and compare.
namespace TestFiles {
// A picture of one colour, encoded by Qt's writer for `format` ("PNG", "ICO", ...).
QByteArray encodedImage(QSize size, const QColor& colour, const char* format);
// A digest of every file below the folder, by relative path and bytes: equal digests mean
// nothing in the folder was added, removed or changed.
QByteArray folderChecksum(const QString& folder);
} // namespace TestFiles
