#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>

// PDFs for tests, written in a few lines at the size a test asks for.
namespace TestPdfFiles {
// A PDF of the given objects (numbered from 1, the first the catalog), its cross-reference
// table and trailer. An object of the form "stream:<dictionary>|<data>" becomes a stream.
QByteArray ofObjects(const QList<QByteArray>& objects);
// One A5 page per colour, as Qt's writer makes it: the page's left half filled with its colour,
// the right half left blank.
QByteArray halfFilledPages(const QList<QColor>& colours);
// One page of black text in Helvetica, a font every reader has and no PDF needs to carry.
QByteArray standardFontText();
// `pages` pages sharing one compressed content stream that inflates to `contentBytes` bytes of
// small filled rectangles: a few megabytes whose every page costs whoever draws it millions of
// shapes.
QByteArray manyShapes(int pages, qint64 contentBytes);
} // namespace TestPdfFiles
