// kippets-decoder: decodes the images the app hands it over its standard input, and draws the
// pages of its PDFs, one request after another, and answers each with the picture or a refusal
// (see DecoderProtocol). It reads every image reader, the PDF library and every font it may need
// before it takes a request, then bounds its own memory and allows itself nothing but decoding
// (see Lockdown), so that a hostile picture meets a process that can open nothing, start nothing
// and reach no other process, and whose memory the system bounds; the app bounds its time. One
// that cannot put up every wall answers nothing and ends with a status of its own.

#include "analysis/DecoderProtocol.h"
#include "analysis/ImageDecoder.h"
#include "analysis/PngWriter.h"
#include "decoder/Lockdown.h"
#include "decoder/LockdownCheck.h"
#include "decoder/PdfPages.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>
#include <utility>

namespace {

bool readAll(int channel, char* data, qint64 size) {
    while (size > 0) {
        const ssize_t got = ::read(channel, data, static_cast<size_t>(size));
        if (got > 0) {
            data += got;
            size -= got;
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

bool writeAll(int channel, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t sent = ::write(channel, data, static_cast<size_t>(size));
        if (sent > 0) {
            data += sent;
            size -= sent;
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else {
            return false;
        }
    }
    return true;
}

PdfPages& pdfPages() {
    static PdfPages pages;
    return pages;
}

std::optional<QImage> decoded(const DecoderProtocol::Request& request) {
    switch (request.ask) {
    case DecoderProtocol::Ask::decode:
    case DecoderProtocol::Ask::encoded:
        return ImageDecoder::decode(request.bytes, request.limit);
    case DecoderProtocol::Ask::covering:
        return ImageDecoder::decodeCovering(request.bytes, request.size, request.limit);
    case DecoderProtocol::Ask::within:
        return ImageDecoder::decodeWithin(request.bytes, request.size, request.limit);
    case DecoderProtocol::Ask::pdfPage:
        return pdfPages().render(request.bytes, request.page, request.size, request.limit);
    case DecoderProtocol::Ask::declaredSize:
    case DecoderProtocol::Ask::pdfPageCount:
        break;
    }
    return std::nullopt;
}

#if defined(__SANITIZE_ADDRESS__)
#define KIPPETS_DECODER_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KIPPETS_DECODER_SANITIZED 1
#endif
#endif

// What a decoder holds beside a paste's pixels and its file: its code, Qt's, the readers' and the
// fonts' (43 MB measured in a release build before its first picture), and some slack. The
// sanitized build holds more (94 MB measured) and a shadow byte for every eight it allocates.
#ifdef KIPPETS_DECODER_SANITIZED
constexpr qint64 heldBesidePictures = 128LL * 1024 * 1024;
constexpr qint64 shadowEighths = 9;
#else
constexpr qint64 heldBesidePictures = 96LL * 1024 * 1024;
constexpr qint64 shadowEighths = 8;
#endif

// The bound the app gave this decoder (--memory=), as main() reads it.
qint64 decoderMemoryBound() {
    for (const QString& argument : QCoreApplication::arguments()) {
        if (argument.startsWith(QLatin1String("--memory=")))
            return std::max<qint64>(64LL * 1024 * 1024, argument.mid(9).toLongLong());
    }
    return 1024LL * 1024 * 1024;
}

// A paste's file: PNG, else JPEG at quality 95, as the app would have kept the picture had it
// the pixels. Its pieces are held until they are sent while they fit beside the pixels within
// the decoder's bound. Past that (a picture near the largest size taken, whose content hardly
// compresses) only their size is counted, and the file is written a second time as it is sent.
struct PasteFile {
    PngWriter::File file;
    bool held = true;
};

std::optional<PasteFile> pasteFile(const QImage& image) {
    const qint64 room = (decoderMemoryBound() - heldBesidePictures) * 8 / shadowEighths -
                        qint64(image.sizeInBytes());
    PasteFile paste;
    const bool written = PngWriter::write(image, [&paste, room](QByteArray piece) {
        paste.file.size += piece.size();
        if (paste.held && paste.file.size > room) {
            paste.held = false;
            paste.file.pieces.clear();
        }
        if (paste.held)
            paste.file.pieces.append(std::move(piece));
        return true;
    });
    if (written)
        return paste;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG", 95) || bytes.isEmpty())
        return std::nullopt;
    return PasteFile{{{bytes}, bytes.size()}, true};
}

// Each piece is let go once sent. A file not held is written again, piece by piece as it goes:
// the same pixels make the same bytes, and the bytes must add up to the size told.
bool sendFile(int channel, PasteFile& paste, const std::optional<QImage>& image) {
    if (paste.held) {
        for (QByteArray& piece : paste.file.pieces) {
            if (!writeAll(channel, piece.constData(), piece.size()))
                return false;
            piece = QByteArray();
        }
        return true;
    }
    qint64 sent = 0;
    const bool written =
        image && PngWriter::write(*image, [&](QByteArray piece) {
            sent += piece.size();
            return sent <= paste.file.size && writeAll(channel, piece.constData(), piece.size());
        });
    return written && sent == paste.file.size;
}

// A reader that scaled by its own rounding may miss the box by a pixel; what is sent fits it.
QImage fitted(QImage image, const DecoderProtocol::Request& request) {
    if (DecoderProtocol::fitsRequest(image.size(), request))
        return image;
    if (request.ask == DecoderProtocol::Ask::within)
        return image.scaled(request.size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (request.ask != DecoderProtocol::Ask::covering)
        return {};
    if (image.width() > request.size.width() && image.height() > request.size.height())
        image =
            image.scaled(request.size, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    // A strip far longer than its box: the middle of it, which is what a card shows.
    const QSize bound = DecoderProtocol::coverBound(request.size);
    if (image.width() > bound.width() || image.height() > bound.height()) {
        const QSize kept = image.size().boundedTo(bound);
        image = image.copy(
            QRect(QPoint((image.width() - kept.width()) / 2, (image.height() - kept.height()) / 2),
                  kept));
    }
    return image;
}

bool answer(int channel, DecoderProtocol::Request& request) {
    DecoderProtocol::AnswerHeader header;
    if (request.ask == DecoderProtocol::Ask::declaredSize) {
        if (const std::optional<QSize> size = ImageDecoder::declaredSize(request.bytes)) {
            header.answer = DecoderProtocol::Answer::size;
            header.size = *size;
        }
        const QByteArray bytes = DecoderProtocol::answerHeader(header);
        return writeAll(channel, bytes.constData(), bytes.size());
    }
    if (request.ask == DecoderProtocol::Ask::pdfPageCount) {
        QByteArray sizes;
        if (const std::optional<QList<QSizeF>> pages = pdfPages().pageSizes(request.bytes)) {
            header.answer = DecoderProtocol::Answer::pages;
            header.size = QSize(int(pages->size()), 0);
            sizes = DecoderProtocol::pageSizes(*pages);
            header.pixelBytes = sizes.size();
        }
        const QByteArray bytes = DecoderProtocol::answerHeader(header) + sizes;
        return writeAll(channel, bytes.constData(), bytes.size());
    }
    std::optional<QImage> image = decoded(request);
    // A paste's file bytes are done with once decoded: its PNG may need their room.
    if (request.ask == DecoderProtocol::Ask::encoded)
        request.bytes = QByteArray();
    // A file is written from any format, a strip at a time: a 16-bit picture is not copied whole.
    if (image && request.ask != DecoderProtocol::Ask::encoded &&
        !DecoderProtocol::isSentFormat(image->format())) {
        image = image->convertToFormat(image->hasAlphaChannel() ? QImage::Format_ARGB32
                                                                : QImage::Format_RGB32);
    }
    if (image && !image->isNull())
        image = fitted(std::move(*image), request);
    std::optional<PasteFile> file;
    if (image && !image->isNull() && request.ask == DecoderProtocol::Ask::encoded &&
        DecoderProtocol::fitsRequest(image->size(), request)) {
        DecoderProtocol::AnswerHeader decodedHeader;
        decodedHeader.answer = DecoderProtocol::Answer::decoded;
        decodedHeader.size = image->size();
        const QByteArray bytes = DecoderProtocol::answerHeader(decodedHeader);
        if (!writeAll(channel, bytes.constData(), bytes.size()))
            return false;
        file = pasteFile(*image);
    }
    if (!image || image->isNull() || !DecoderProtocol::fitsRequest(image->size(), request) ||
        (request.ask == DecoderProtocol::Ask::encoded &&
         (!file || file->file.size > DecoderProtocol::encodedBytesBound(image->size())))) {
        const QByteArray bytes = DecoderProtocol::answerHeader(header);
        return writeAll(channel, bytes.constData(), bytes.size());
    }
    if (file) {
        header.answer = DecoderProtocol::Answer::encoded;
        header.size = image->size();
        header.pixelBytes = file->file.size;
        if (file->held)
            image.reset(); // the pixels are let go before the file is sent
        const QByteArray bytes = DecoderProtocol::answerHeader(header);
        return writeAll(channel, bytes.constData(), bytes.size()) &&
               sendFile(channel, *file, image);
    }
    header.answer = DecoderProtocol::Answer::image;
    header.size = image->size();
    header.format = image->format();
    header.bytesPerLine = image->bytesPerLine();
    header.dotsPerMeterX = image->dotsPerMeterX();
    header.dotsPerMeterY = image->dotsPerMeterY();
    header.pixelBytes = image->sizeInBytes();
    const QByteArray bytes = DecoderProtocol::answerHeader(header);
    return writeAll(channel, bytes.constData(), bytes.size()) &&
           writeAll(channel, reinterpret_cast<const char*>(image->constBits()),
                    image->sizeInBytes());
}

// Every reader plugin, the codecs behind it and the fonts a drawing's text falls back on are
// loaded now, while files can still be opened: once locked down, nothing more can be.
void warmUp() {
    QImage tiny(2, 2, QImage::Format_ARGB32);
    tiny.fill(Qt::red);
    const QList<QByteArray> writable = QImageWriter::supportedImageFormats();
    for (const QByteArray& format : QImageReader::supportedImageFormats()) {
        QByteArray bytes;
        if (writable.contains(format)) {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            tiny.save(&buffer, format.constData());
        }
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, format);
        reader.canRead();
        ImageDecoder::decode(bytes);
    }
    ImageDecoder::decode("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"20\">"
                         "<text x=\"2\" y=\"15\" font-size=\"12\">Ag</text>"
                         "<text x=\"20\" y=\"15\" font-family=\"serif\">Ag</text></svg>");
    pdfPages().warmUp();
}

qint64 memoryBound(int argc, char** argv) {
    qint64 bytes = 1024LL * 1024 * 1024;
    for (int index = 1; index < argc; ++index) {
        if (std::strncmp(argv[index], "--memory=", 9) == 0)
            bytes = std::max<qint64>(64LL * 1024 * 1024, std::atoll(argv[index] + 9));
    }
    return bytes;
}

bool hasArgument(int argc, char** argv, const char* wanted) {
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], wanted) == 0)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    // Qt's regular expressions (which image readers use as they are warmed up) compile to machine
    // code in a page both writable and executable, which would outlast the walls as a place for
    // smuggled code to run from. Interpreted, however the decoder was started.
    ::setenv("QT_ENABLE_REGEXP_JIT", "0", 1);
    // The app's end is the decoder's end, even when the app dies without closing the socket. The
    // signal follows the thread that started the decoder, which the app keeps for as long as it
    // runs.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Requests come on standard input, the socket; nothing else may write to it by mistake.
    // It holds nothing else of the app's: whatever descriptor the app left open is closed.
    constexpr int channel = 3;
    if (::dup2(STDIN_FILENO, channel) != channel)
        return 1;
    ::fcntl(channel, F_SETFD, FD_CLOEXEC);
    ::close_range(channel + 1, ~0U, 0);
    const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nothing < 0)
        return 1;
    ::dup2(nothing, STDIN_FILENO);
    ::dup2(nothing, STDOUT_FILENO);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // What the readers say of the empty and tiny pictures they are warmed up on is no news.
    const QtMessageHandler standardHandler =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QGuiApplication application(argc, argv);
    const qint64 memory = memoryBound(argc, argv);
    // Qt's own bound on one picture (128 MB in Qt 6.4) is below a 48-megapixel photo; this
    // process's bound is the system's.
    QImageReader::setAllocationLimit(static_cast<int>(memory / (1024 * 1024)));
    warmUp();
    qInstallMessageHandler(standardHandler);
    // Asked by the tests: what the decoder can still do once the walls are up.
    std::optional<LockdownCheck> check;
    if (hasArgument(argc, argv, "--check-lockdown"))
        check.emplace();
    const QString unlocked = Lockdown::raise(memory);
    if (check)
        ::_exit(check->run(unlocked));
    // Without every wall, no request is read: the app decodes nothing from outside rather than
    // decode it here unwalled, and tells its user why.
    if (!unlocked.isEmpty()) {
        std::fprintf(stderr, "kippets-decoder: decoding nothing without its walls: %s\n",
                     qPrintable(unlocked));
        ::_exit(DecoderProtocol::wallsDownStatus);
    }
    // Asked by the tests: abort() still ends the decoder as it should, with SIGABRT.
    if (hasArgument(argc, argv, "--check-abort"))
        std::abort();
    for (;;) {
        QByteArray header(DecoderProtocol::requestHeaderBytes, '\0');
        if (!readAll(channel, header.data(), header.size()))
            break;
        std::optional<DecoderProtocol::Request> request =
            DecoderProtocol::readRequestHeader(header);
        if (!request || !readAll(channel, request->bytes.data(), request->bytes.size()) ||
            !answer(channel, *request))
            break;
    }
    // No teardown: a leak check at exit would want files this process may no longer open.
    ::_exit(0);
}
