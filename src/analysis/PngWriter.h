#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <functional>
#include <optional>

// Writes a picture as a PNG file in time that follows its size, not what it shows. Qt's writer
// tries every row filter on every row and searches the whole zlib window for matches: a smooth
// 48-megapixel photo takes it four to twenty seconds of CPU, a picture of noise a third of that.
// This one filters each row by the row above it and lets zlib look only for runs, which is how
// filtered photos, screenshots and skies repeat: about a second for any 48-megapixel picture,
// in a file a little larger than Qt's for smooth pictures and the same size for noisy ones.
// Eight bits a channel: grey, RGB, or RGBA when the picture has an alpha channel; its colour
// profile is kept, nothing else is written beside the pixels. Safe on any thread.
class PngWriter {
public:
    // The file in pieces, in order: a large picture's file is never copied whole to grow it.
    struct File {
        QList<QByteArray> pieces;
        qint64 size = 0;

        QByteArray joined() const;
    };

    // Takes each piece of the file as it is made, in order; false stops the writing.
    using Sink = std::function<bool(QByteArray piece)>;

    // Nothing for a null picture, or one wider than a row of the file can be.
    static std::optional<File> write(const QImage& image);
    // The same file, piece by piece: false when it could not be written, or `take` said so.
    // The same picture always makes the same bytes.
    static bool write(const QImage& image, const Sink& take);
};
