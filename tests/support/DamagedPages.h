#pragma once

#include <QString>
#include <QStringList>

// Damage as a failing disk or another program leaves it in a store file.
namespace DamagedPages {
// Overwrites the first page of each named table or index in place; the file keeps its size, and
// with `keepTime` its time of change too, so the stamp of its last clean close still matches.
// The reason when it could not; empty on success.
QString overwriteRootPages(const QString& storePath, const QStringList& names, bool keepTime);
// Overwrites the last page of each named table or index, the one a scan in order reads after all
// others; the first rows still read. The named ones must span more than one page.
QString overwriteLastPages(const QString& storePath, const QStringList& names);
} // namespace DamagedPages
