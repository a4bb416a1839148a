#pragma once

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QUuid>

struct KippetItem;

// The pictures of a window's item cards, decoded once per item by a decoder process (see
// IsolatedImageDecoder) while a worker waits, shrunk while they are read to what a card shows.
// An image item shows its own bytes when they decode, else its thumbnail; an item whose bytes
// decode to nothing shows its placeholder and is not tried again. Item bytes never change, so the
// id is the key. GUI thread only.
class ThumbnailCache : public QObject {
    Q_OBJECT
public:
    // The least picture every card layout can be filled from: the widest grid card and the
    // tallest list thumbnail.
    static constexpr QSize coverSize{260, 96};

    explicit ThumbnailCache(qreal devicePixelRatio, QObject* parent = nullptr);

    // Whether the item can show a picture at all (image bytes or a thumbnail).
    static bool mayHavePicture(const KippetItem& item);
    // The decoded picture when it is ready; starts decoding it when it has not been asked for.
    // A null image means none yet, or none at all (see isSettled).
    QImage picture(const KippetItem& item);
    // Decoded, or known to give none.
    bool isSettled(const QUuid& id) const;

    // The decoding that runs on a worker; public for tests.
    static QImage decode(bool isImage, const QByteArray& content, const QByteArray& thumbnail,
                         QSize cover);

signals:
    void ready(const QUuid& id);

private:
    void finished(const QUuid& id, const QImage& image);

    qreal devicePixelRatio_;
    QCache<QUuid, QImage> pictures_;
    // Items known to give no picture, and those being decoded.
    QHash<QUuid, bool> settledEmpty_;
    QHash<QUuid, bool> inFlight_;
};
