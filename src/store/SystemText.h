#pragma once

#include <QByteArray>
#include <QString>

// The system's own words for an errno (strerror), never Qt's "Unknown error".
QString systemText(int error);
// A path as the system's calls take it (the file name encoding).
QByteArray native(const QString& path);
