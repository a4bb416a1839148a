// Drag and clipboard data as the intake splits it into providers. The input is a list of
// representations: one byte choosing the MIME type, two bytes of length, then the bytes.

#include "FuzzApplication.h"
#include "analysis/ContentTypes.h"
#include "analysis/ItemProvider.h"

#include <QMimeData>

namespace {
const char* const types[] = {"text/uri-list",
                             "text/plain",
                             "text/plain;charset=utf-8",
                             "text/html",
                             "text/x-moz-url",
                             "_NETSCAPE_URL",
                             "application/x-kde4-urilist",
                             "x-special/gnome-copied-files",
                             "application/octet-stream",
                             "image/png",
                             "image/jpeg",
                             "image/gif",
                             "image/webp",
                             "image/bmp",
                             "image/svg+xml",
                             "application/x-qt-image"};
constexpr size_t typeCount = sizeof(types) / sizeof(types[0]);
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ensureFuzzApplication();
    QMimeData mime;
    for (size_t at = 0; at + 3 <= size;) {
        const char* type = types[data[at] % typeCount];
        const size_t length =
            std::min<size_t>((size_t(data[at + 1]) << 8) | data[at + 2], size - at - 3);
        mime.setData(QString::fromLatin1(type),
                     QByteArray(reinterpret_cast<const char*>(data + at + 3),
                                static_cast<qsizetype>(length)));
        at += 3 + length;
    }
    for (const ItemProvider& provider : ItemProvider::fromMimeData(mime)) {
        for (const ItemProviderType kind : {ItemProviderType::image, ItemProviderType::fileURL,
                                            ItemProviderType::url, ItemProviderType::plainText})
            provider.hasItemConformingTo(kind);
        provider.registeredTypeIdentifiers();
        if (const std::optional<QString> path = provider.localFilePath())
            ContentTypes::pathExtension(*path);
    }
    // What a paste takes from the same data.
    ItemProvider::takenImageBytes(mime);
    ItemProvider::inProcessImage(mime);
    if (mime.hasUrls())
        for (const QUrl& url : mime.urls())
            if (url.isLocalFile())
                ContentTypes::mimeTypeForFile(url.toLocalFile());
    return 0;
}
