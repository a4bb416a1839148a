#pragma once

#include <QByteArray>
#include <QString>
#include <variant>

// Large item bytes read when used rather than at load: the file is mapped into memory and handed
// out as an ordinary QByteArray, so a store of gigabytes starts in the memory of an empty one and
// a page costs memory only once something reads it (and the system can drop it again).
//
// The array's shared header sits right before the mapped bytes, so every copy of it shares the one
// mapping through Qt's implicit sharing, and anything that would change it copies the bytes
// first, as for any shared array. One reference always stays with the mappings kept here: a
// mapping goes only when that one is the last (releaseUnused), never under a copy still held.
// A file is mapped once however often it is asked for; when the system allows no more mappings,
// its bytes are read instead. Thread-safe.
//
// The files must not change while mapped: they are written once, read-only, under the data
// folder's lock.
class MappedBytes {
public:
    // The bytes of the file at `path` when its length is `expectedSize` (any length when
    // negative), else why not: the system's error text, or the lengths that differ.
    static std::variant<QByteArray, QString> map(const QString& path, qint64 expectedSize);
    // Unmaps every file whose bytes nobody holds any more.
    static void releaseUnused();
    // Files mapped now.
    static qsizetype count();
};
