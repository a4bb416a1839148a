// Image bytes as the intake, the thumbnails and the image analyzer decode them. The limit is
// small so that any allocation far beyond it (libFuzzer's -malloc_limit_mb) is a finding.

#include "FuzzApplication.h"
#include "analysis/ImageDecoder.h"
#include "analysis/ImageStructure.h"

namespace {
constexpr qint64 decodeLimit = 16 * 1024 * 1024;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ensureFuzzApplication();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const char* format : {"png", "jpeg", "gif", "webp", "bmp", "tiff", "heic"})
        ImageStructure::fitsItsBytes(bytes, format);
    ImageDecoder::declaredSize(bytes);
    ImageDecoder::decode(bytes, decodeLimit);
    ImageDecoder::decodeCovering(bytes, QSize(64, 48), decodeLimit);
    return 0;
}
