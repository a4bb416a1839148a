#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
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
// The files are written once, read-only, under the data folder's lock, but another program can
// still cut one short while it is mapped, and a read of a page that is gone from the file would
// end the process (SIGBUS). Mapped bytes are therefore guarded: such a read finds zeros instead,
// the mapping is marked, and damageNotices() turns readable. Whoever holds the bytes asks
// lostBecause() before trusting them.
class MappedBytes {
public:
    // The bytes of the regular file at `path` when its length is `expectedSize` (any length when
    // negative), else why not: the system's error text, the lengths that differ, or that it is
    // not a regular file of the user's. Never waits: a pipe or a device under the name is refused
    // unread, and a symbolic link is not followed.
    static std::variant<QByteArray, QString> map(const QString& path, qint64 expectedSize);
    struct Loss {
        // The file the bytes were mapped from.
        QString path;
        // Why they are no longer its stored bytes, in words that do not name it.
        QString reason;
    };
    // Why bytes handed out by map() are no longer the file's stored bytes (it was cut short,
    // grown, replaced or changed since, or a read of them found pages gone); nothing for bytes
    // that are still whole or were not mapped here.
    static std::optional<Loss> lostBecause(const QByteArray& bytes);
    // A descriptor that turns readable after a read of mapped bytes found pages gone; read it
    // empty (drainDamageNotices), then ask lostBecause() of the bytes in use.
    static int damageNotices();
    static void drainDamageNotices();
    // Unmaps every file whose bytes nobody holds any more.
    static void releaseUnused();
    // Files mapped now.
    static qsizetype count();
};
