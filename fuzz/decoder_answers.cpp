// What a decoder process answers, as the app reads it: the first byte picks the request, the rest
// is the answer (pixels, a size or a file), cut off where the input ends. Garbage, too much, too
// little or nothing must be a refusal, never a crash, a wait or an allocation of what a header
// claims.

#include "FuzzApplication.h"
#include "analysis/DecoderProcess.h"

#include <sys/socket.h>
#include <thread>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ensureFuzzApplication();
    if (size == 0)
        return 0;
    DecoderProtocol::Request request;
    request.ask = static_cast<DecoderProtocol::Ask>(data[0] % 7 + 1);
    request.size = QSize(64, 48);
    request.limit = 16 * 1024 * 1024;
    request.bytes = QByteArray("\x89PNG\r\n\x1a\n", 8);
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return 0;
    // The decoder's side: writes its answer whole, then closes, or stops when the app hangs up.
    std::thread decoder([&] {
        const char* at = reinterpret_cast<const char*>(data) + 1;
        size_t left = size - 1;
        while (left > 0) {
            const ssize_t sent = ::send(sockets[1], at, left, MSG_NOSIGNAL);
            if (sent <= 0)
                break;
            at += sent;
            left -= static_cast<size_t>(sent);
        }
        ::shutdown(sockets[1], SHUT_WR);
    });
    {
        DecoderProcess process(sockets[0], 0);
        DecoderProcess::Limits limits;
        limits.wall = std::chrono::milliseconds(2000);
        const DecoderProcess::Outcome outcome = process.exchange(request, limits);
        if (outcome.image && outcome.image->isNull())
            __builtin_trap();
        // A page is never larger than the size asked for.
        if (outcome.image && request.ask == DecoderProtocol::Ask::pdfPage &&
            (outcome.image->width() > 64 || outcome.image->height() > 48))
            __builtin_trap();
        if (outcome.kind == DecoderProcess::Outcome::Kind::failed && !process.isSpent())
            __builtin_trap();
    } // the app's end closes here, so a decoder still writing stops
    decoder.join();
    ::close(sockets[1]);
    return 0;
}
