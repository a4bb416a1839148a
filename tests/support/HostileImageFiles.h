#pragma once

#include <QByteArray>
#include <QSize>

// Image files made to cost whoever decodes them far more than their size, each written in a few
// lines at the size a test asks for, so that no megabytes are stored with the tests.
namespace HostileImageFiles {
// A progressive JPEG of `size` as Qt's writer makes it, its last scan then repeated until it
// holds `scans` of them: the decoder walks every block of the picture again on each.
QByteArray progressiveJpeg(QSize size, int scans);
// The scans (SOS segments) a JPEG holds, walked segment by segment to its end of image.
int jpegScans(const QByteArray& jpeg);
// The JPEG above with an empty comment segment (FF FE 00 00: a length under 2) after its first
// scan; decoders go on after it to every later scan.
QByteArray jpegWithEmptyCommentAfterFirstScan(QSize size, int scans);
// The JPEG above with its scans wrapped in FF 00 LL LL pairs before the first one, each taking
// the bytes up to the next for a segment's; decoders skip FF 00 and find every scan.
QByteArray jpegWithScansBehindStuffedZeros(QSize size, int scans);

// A drawing that refers `references` times to an entity of `paths` path elements: a few
// kilobytes of text that the XML reader expands into hundreds of thousands of elements.
QByteArray svgOfEntityMultipliedPaths(int references, int paths);
// A compressed drawing of one text of `spans` tspan elements: kilobytes that inflate into
// hundreds of thousands of elements.
QByteArray svgzOfManyTspans(int spans);
// A drawing whose doctype declares `picture` as the default reference of every image, followed
// by `images` image elements that name none of their own.
QByteArray svgOfDefaultedImages(int images, const QByteArray& picture);
// A picture the image checks refuse only after decoding it from Base64: a PNG declaring 30,000
// x 30,000 pixels and padded with an ancillary chunk to `bytes` bytes.
QByteArray paddedHugePng(int bytes);
// A red 64 x 64 drawing of one rectangle of `attributes` attributes; Qt's XML reader takes time
// in the square of their number.
QByteArray svgWithManyAttributes(int attributes);
// A compressed drawing of `paths` lines stroked with dashes of a thousandth of a pixel: a few
// kilobytes whose rendering has no end in sight.
QByteArray svgzOfDashedPaths(int paths);
} // namespace HostileImageFiles
