// The start of a fetched web page as its bytes arrive, cut anywhere: checked for its encoding,
// then read for its title and description.

#include "FuzzApplication.h"
#include "analysis/PageMetadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ensureFuzzApplication();
    PageMetadata::fromPage(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    return 0;
}
