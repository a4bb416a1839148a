#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// What a store's file was like when the app last closed it cleanly. A file that is still
// exactly so, with no log of writes since, holds what the last full check and every write after
// it left there, so opening it need not read the whole file again to check it: like a file
// system that is checked at mount only when it was not unmounted cleanly.
class StoreFileStamp {
public:
    explicit StoreFileStamp(QString storePath);

    // True when the file matches the stamp of its last clean close and no writes are pending in
    // its log; false whenever anything about it is unknown.
    bool isUnchangedSinceCleanClose() const;
    // Records the file as it is now, after its last connection closed; nothing when writes are
    // still pending in its log.
    void recordCleanClose() const;

    // What the stamp of the last clean close says of the file then: its size, and whether it
    // named this very file (same device and inode). Nothing without a readable stamp.
    struct Recorded {
        qint64 size = 0;
        bool sameFile = false;
    };
    std::optional<Recorded> recorded() const;

private:
    QString stampPath() const;
    bool hasPendingWrites() const;
    std::optional<QByteArray> currentStamp() const;

    QString storePath_;
};
