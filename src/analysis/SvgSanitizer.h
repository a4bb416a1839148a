#pragma once

#include <QByteArray>
#include <optional>

// An SVG document rewritten so that rendering it reads nothing but its own bytes. Qt's renderer
// opens whatever file an <image> names (a path relative to the working folder, an absolute one,
// a pipe that never answers) and decodes a data: URL by guessing its format from the bytes, so
// an image can be another compressed drawing, inflated with no limit, holding another. Here:
// - an <image> stays only when its reference is a data: URL of a raster picture (PNG, JPEG, GIF,
//   WebP or BMP, told by its declared type and by its own signature) whose framing fits its
//   bytes and whose declared size fits what is left of the budget; the others are dropped with
//   everything inside them;
// - any other reference (href) that is not a fragment of the document itself is dropped, and so
//   is style text that imports a style sheet;
// - the doctype, processing instructions and comments are left out, and so are the attribute
//   defaults the doctype declares; entities are expanded once, here, and only when their
//   expansion is bounded, in characters and in the elements they write;
// - style text is judged whole, however comments, sections and entities cut it.
// Read as a stream, in time and memory in proportion to the document: what would make Qt's
// reader cost more (an element of thousands of attributes, thousands of declared ones, an
// encoding other than UTF-8 or Latin-1) is refused from a scan of the bytes before they are read.
// Safe on any thread.
class SvgSanitizer {
public:
    struct Drawing {
        QByteArray document;
        // Bytes of 32-bit pixels the kept images take once decoded.
        qint64 imageBytes = 0;
    };

    // The rewritten document, its kept images taking at most `imageBudget` bytes of pixels
    // together; nothing when the text is not well-formed XML or would grow past its bounds.
    static std::optional<Drawing> sanitize(const QByteArray& document, qint64 imageBudget);
};
