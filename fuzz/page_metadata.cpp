// The start of a fetched web page, cut anywhere, read for its title and description.

#include "FuzzApplication.h"
#include "analysis/PageMetadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ensureFuzzApplication();
    PageMetadata::fromHtml(
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
