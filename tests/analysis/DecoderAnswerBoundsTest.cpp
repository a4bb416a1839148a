#include "analysis/DecoderProcess.h"
#include "analysis/DecoderProtocol.h"
#include "analysis/IsolatedImageDecoder.h"
#include "analysis/PastedImageEncoder.h"
#include "analysis/PixelBudget.h"
#include "analysis/PngWriter.h"
#include "support/EncodedImage.h"

#include <QBuffer>
#include <QPainter>
#include <QTest>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
QByteArray pngOf(QSize size, QColor color = QColor(40, 160, 90)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return encoded(image, "PNG");
}

bool readAll(int socket, char* data, qint64 size) {
    while (size > 0) {
        const ssize_t got = ::read(socket, data, static_cast<size_t>(size));
        if (got <= 0)
            return false;
        data += got;
        size -= got;
    }
    return true;
}

// One exchange with a decoder played by a thread of the test: it reads the request, then sends
// `header` and as many pixel bytes as that header announces (capped at `sentPixels`: a header
// the app refuses is never followed by its pixels), then `then`.
DecoderProcess::Outcome exchangeWithFake(const DecoderProtocol::Request& request,
                                         const DecoderProtocol::AnswerHeader& answer,
                                         qint64 sentPixels = 0, const QByteArray& then = {}) {
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return {};
    std::thread fake([&, theirs = sockets[1]] {
        QByteArray header(DecoderProtocol::requestHeaderBytes, '\0');
        if (readAll(theirs, header.data(), header.size())) {
            QByteArray bytes(request.bytes.size(), '\0');
            readAll(theirs, bytes.data(), bytes.size());
            const QByteArray reply =
                DecoderProtocol::answerHeader(answer) + QByteArray(sentPixels, char(0x7f)) + then;
            ::send(theirs, reply.constData(), reply.size(), MSG_NOSIGNAL);
        }
        // Held open until the app is done: a refused header is not the fake's ending.
        char drain[256];
        while (::read(theirs, drain, sizeof drain) > 0) {
        }
        ::close(theirs);
    });
    DecoderProcess::Outcome outcome;
    {
        DecoderProcess process(sockets[0], 0);
        outcome = process.exchange(request, {});
    } // closes the app's end, which ends the fake
    fake.join();
    return outcome;
}

// As exchangeWithFake, with the app's rooms for pixels and files: `asked` counts each time the
// app made room for an answer.
DecoderProcess::Outcome exchangeWithRooms(const DecoderProtocol::Request& request,
                                          const DecoderProtocol::AnswerHeader& answer,
                                          qint64 sentBytes,
                                          const std::shared_ptr<PixelBudget>& budget, int& asked) {
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return {};
    std::thread fake([&, theirs = sockets[1]] {
        QByteArray header(DecoderProtocol::requestHeaderBytes, '\0');
        if (readAll(theirs, header.data(), header.size())) {
            QByteArray bytes(request.bytes.size(), '\0');
            readAll(theirs, bytes.data(), bytes.size());
            const QByteArray reply =
                DecoderProtocol::answerHeader(answer) + QByteArray(sentBytes, char(0x7f));
            ::send(theirs, reply.constData(), reply.size(), MSG_NOSIGNAL);
        }
        char drain[256];
        while (::read(theirs, drain, sizeof drain) > 0) {
        }
        ::close(theirs);
    });
    const auto patience = std::chrono::milliseconds(200);
    const DecoderProcess::PixelRoom pixels = [&](QSize size, QImage::Format format) {
        ++asked;
        return budget->image(size, format, patience);
    };
    const DecoderProcess::FileRoom files = [&](qint64 bytes) {
        ++asked;
        return budget->room(bytes, patience);
    };
    DecoderProcess::Outcome outcome;
    {
        DecoderProcess process(sockets[0], 0);
        outcome = process.exchange(request, {}, pixels, files);
    }
    fake.join();
    return outcome;
}

DecoderProtocol::AnswerHeader imageAnswer(QSize size) {
    DecoderProtocol::AnswerHeader answer;
    answer.answer = DecoderProtocol::Answer::image;
    answer.size = size;
    answer.format = QImage::Format_RGB32;
    answer.bytesPerLine = qint64(size.width()) * 4;
    answer.pixelBytes = answer.bytesPerLine * size.height();
    return answer;
}

std::shared_ptr<IsolatedImageDecoder> installDecoder(qint64 pixelBytes) {
    IsolatedImageDecoder::Settings settings;
    settings.program = IsolatedImageDecoder::defaultProgram();
    settings.pixelBytes = pixelBytes;
    auto decoder = std::make_shared<IsolatedImageDecoder>(settings);
    IsolatedImageDecoder::install(decoder);
    return decoder;
}
} // namespace

// The app takes from a decoder no more than it asked for: pixels no larger than the size of a
// thumbnail or analysis request, a paste's file rather than its pixels, and pixels only as far as
// its own budget has room.
class DecoderAnswerBoundsTest : public QObject {
    Q_OBJECT
private slots:
    void anAnswerLargerThanTheRequestIsRefused() {
        using Ask = DecoderProtocol::Ask;
        const qint64 limit = 256LL * 1024 * 1024;
        const QByteArray bytes = pngOf(QSize(4, 4));
        const DecoderProtocol::Request thumbnail{Ask::covering, QSize(260, 96), limit, bytes};
        const DecoderProtocol::Request analysis{Ask::within, QSize(260, 96), limit, bytes};
        const DecoderProtocol::Request whole{Ask::decode, QSize(), 64 * 64 * 4, bytes};
        const auto failedAsNonsense = [](const DecoderProcess::Outcome& outcome) {
            return outcome.kind == DecoderProcess::Outcome::Kind::failed &&
                   outcome.why == DecoderProcess::Outcome::Failure::nonsense &&
                   outcome.isThePicturesFault();
        };
        // An 8192 × 8192 answer to a card's thumbnail is refused at its header.
        QVERIFY(failedAsNonsense(exchangeWithFake(thumbnail, imageAnswer(QSize(8192, 8192)))));
        // Covering may pass the box on one side only; within on neither.
        QVERIFY(failedAsNonsense(exchangeWithFake(thumbnail, imageAnswer(QSize(261, 97)))));
        QVERIFY(failedAsNonsense(exchangeWithFake(analysis, imageAnswer(QSize(261, 96)))));
        QVERIFY(failedAsNonsense(exchangeWithFake(analysis, imageAnswer(QSize(260, 97)))));
        // A whole picture stays within its limit.
        QVERIFY(failedAsNonsense(exchangeWithFake(whole, imageAnswer(QSize(64, 65)))));
        // A file answers only a request for one, and within its bound.
        DecoderProtocol::AnswerHeader file;
        file.answer = DecoderProtocol::Answer::encoded;
        file.size = QSize(64, 64);
        file.pixelBytes = 100;
        QVERIFY(failedAsNonsense(exchangeWithFake(whole, file)));
        DecoderProtocol::Request paste = whole;
        paste.ask = Ask::encoded;
        file.pixelBytes = DecoderProtocol::encodedBytesBound(file.size) + 1;
        QVERIFY(failedAsNonsense(exchangeWithFake(paste, file)));
        // Word that a picture is decoded, which earns time to write its file, comes before a
        // paste's file only, and only once.
        DecoderProtocol::AnswerHeader decoded;
        decoded.answer = DecoderProtocol::Answer::decoded;
        decoded.size = QSize(64, 64);
        QVERIFY(failedAsNonsense(exchangeWithFake(thumbnail, decoded)));
        QVERIFY(failedAsNonsense(
            exchangeWithFake(paste, decoded, 0, DecoderProtocol::answerHeader(decoded))));

        // What fits is taken, pixel for pixel.
        const DecoderProcess::Outcome tall =
            exchangeWithFake(thumbnail, imageAnswer(QSize(260, 400)), 260 * 400 * 4);
        QVERIFY2(tall.kind == DecoderProcess::Outcome::Kind::answered, qPrintable(tall.failure));
        QCOMPARE(tall.image->size(), QSize(260, 400));
        const DecoderProcess::Outcome inside =
            exchangeWithFake(analysis, imageAnswer(QSize(260, 80)), 260 * 80 * 4);
        QVERIFY2(inside.kind == DecoderProcess::Outcome::Kind::answered,
                 qPrintable(inside.failure));
        file.pixelBytes = 100;
        const DecoderProcess::Outcome pasted = exchangeWithFake(paste, file, 100);
        QVERIFY2(pasted.kind == DecoderProcess::Outcome::Kind::answered,
                 qPrintable(pasted.failure));
        QCOMPARE(pasted.encoded->size(), 100);
        QCOMPARE(pasted.size, std::optional<QSize>(QSize(64, 64)));
    }

    // Both sides of a covering answer follow from its box; a paste's file from the size of its
    // picture. An answer past either is refused at its header, before the app makes room for it.
    void anAnswerPastItsBoundIsRefusedBeforeItIsHeld() {
        using Ask = DecoderProtocol::Ask;
        const auto budget = std::make_shared<PixelBudget>(512LL * 1024 * 1024);
        const QByteArray bytes = pngOf(QSize(4, 4));
        const qint64 limit = 256LL * 1024 * 1024;
        const DecoderProtocol::Request thumbnail{Ask::covering, QSize(260, 96), limit, bytes};
        const auto refusedUnheld = [&](const DecoderProtocol::Request& request,
                                       const DecoderProtocol::AnswerHeader& answer) {
            int asked = 0;
            const DecoderProcess::Outcome outcome =
                exchangeWithRooms(request, answer, 0, budget, asked);
            return outcome.why == DecoderProcess::Outcome::Failure::nonsense && asked == 0 &&
                   budget->peak() == 0;
        };
        // A strip 260 wide and 65,536 high covers a card's box: 68 MB for a thumbnail.
        QVERIFY(refusedUnheld(thumbnail, imageAnswer(QSize(260, 65536))));
        QVERIFY(refusedUnheld(thumbnail, imageAnswer(QSize(260, 96 * 16 + 1))));
        QVERIFY(refusedUnheld(thumbnail, imageAnswer(QSize(260 * 16 + 1, 96))));
        // A file of a 64 × 64 picture is no larger than its pixels stored as they are, and the
        // framing of a PNG.
        DecoderProtocol::Request paste{Ask::encoded, QSize(), limit, bytes};
        DecoderProtocol::AnswerHeader file;
        file.answer = DecoderProtocol::Answer::encoded;
        file.size = QSize(64, 64);
        file.pixelBytes = 256LL * 1024 * 1024;
        QVERIFY(refusedUnheld(paste, file));
        file.pixelBytes = 200 * 1024;
        QVERIFY(refusedUnheld(paste, file));

        // Within the bound, it is taken.
        int asked = 0;
        const DecoderProcess::Outcome strip = exchangeWithRooms(
            thumbnail, imageAnswer(QSize(260, 96 * 16)), 260 * 96 * 16 * 4, budget, asked);
        QVERIFY2(strip.image, qPrintable(strip.failure));
        QCOMPARE(strip.image->size(), QSize(260, 96 * 16));
        QCOMPARE(asked, 1);
    }

    // The real decoder answers a strip far longer than a card's box with the middle of it, which
    // is what the card shows.
    void aLongStripCoversItsBoxWithItsMiddle() {
        const auto decoder = installDecoder(96LL * 1024 * 1024);
        QImage strip(4000, 20, QImage::Format_RGB32);
        QPainter painter(&strip);
        painter.fillRect(QRect(0, 0, 1500, 20), Qt::red);
        painter.fillRect(QRect(1500, 0, 1000, 20), Qt::green);
        painter.fillRect(QRect(2500, 0, 1500, 20), Qt::blue);
        painter.end();
        const std::optional<QImage> covering =
            decoder->decodeCovering(encoded(strip, "PNG"), QSize(26, 10));
        QVERIFY(covering);
        // Halved to cover the box's height, 2000 × 10, of which 16 boxes' width.
        QCOMPARE(covering->size(), QSize(26 * 16, 10));
        QCOMPARE(covering->pixelColor(0, 5), QColor(Qt::green));
        QCOMPARE(covering->pixelColor(26 * 16 - 1, 5), QColor(Qt::green));
        const std::optional<QImage> tall = decoder->decodeCovering(
            encoded(strip.transformed(QTransform().rotate(90)), "PNG"), QSize(10, 26));
        QVERIFY(tall);
        QCOMPARE(tall->size(), QSize(10, 26 * 16));
    }

    // A paste's file is counted in the app's budget as pixels are: it waits for room, and holds
    // it for as long as the app holds the file.
    void aPastesFileCountsInTheAppsBudget() {
        const auto budget = std::make_shared<PixelBudget>(64 * 1024);
        const DecoderProtocol::Request paste{DecoderProtocol::Ask::encoded, QSize(),
                                             256LL * 1024 * 1024, pngOf(QSize(4, 4))};
        DecoderProtocol::AnswerHeader file;
        file.answer = DecoderProtocol::Answer::encoded;
        file.size = QSize(100, 100);
        file.pixelBytes = 20000;
        int asked = 0;
        {
            QImage held =
                budget->image(QSize(100, 120), QImage::Format_RGB32, std::chrono::seconds(1));
            QVERIFY(!held.isNull());
            const DecoderProcess::Outcome waited =
                exchangeWithRooms(paste, file, file.pixelBytes, budget, asked);
            QCOMPARE(asked, 1);
            QVERIFY(waited.why == DecoderProcess::Outcome::Failure::noRoom);
            QVERIFY(!waited.isThePicturesFault());
            QVERIFY(!waited.encoded);
        }
        QCOMPARE(budget->held(), qint64(0));
        std::optional<DecoderProcess::Outcome> taken =
            exchangeWithRooms(paste, file, file.pixelBytes, budget, asked);
        QVERIFY2(taken->encoded, qPrintable(taken->failure));
        QCOMPARE(taken->encoded->size(), 20000);
        QCOMPARE(budget->held(), qint64(20000));
        taken.reset();
        QCOMPARE(budget->held(), qint64(0));

        // A file larger than the whole budget takes it alone, once nothing else is held.
        file.size = QSize(400, 400);
        file.pixelBytes = 100 * 1024;
        taken = exchangeWithRooms(paste, file, file.pixelBytes, budget, asked);
        QVERIFY2(taken->encoded, qPrintable(taken->failure));
        QCOMPARE(budget->held(), qint64(100 * 1024));
        QVERIFY(budget->image(QSize(4, 4), QImage::Format_RGB32, std::chrono::milliseconds(50))
                    .isNull());
        taken.reset();
        QCOMPARE(budget->held(), qint64(0));
    }

    // A paste of bytes comes back as the file it is kept as, made by the decoder: the same bytes
    // the app made itself from the decoded pixels, and no pixels in the app at all.
    void aPasteIsEncodedInTheDecoder() {
        const auto decoder = installDecoder(96LL * 1024 * 1024);
        QImage indexed(40, 30, QImage::Format_Indexed8);
        indexed.setColorTable({qRgb(200, 20, 20), qRgba(20, 20, 200, 128)});
        indexed.fill(1);
        QImage photo(300, 200, QImage::Format_RGB32);
        QPainter painter(&photo);
        painter.fillRect(photo.rect(), QColor(30, 90, 160));
        painter.fillRect(QRect(50, 50, 100, 60), QColor(230, 180, 60));
        painter.end();
        const QList<QByteArray> pastes = {
            encoded(photo, "JPEG", 80),
            encoded(indexed, "PNG"),
            encoded(photo, "BMP"),
            encoded(photo, "PNG"),
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"120\" height=\"80\">"
            "<rect width=\"60\" height=\"80\" fill=\"#2060c0\" fill-opacity=\"0.5\"/></svg>",
        };
        for (const QByteArray& bytes : pastes) {
            const std::optional<QImage> pixels = decoder->decode(bytes);
            QVERIFY(pixels);
            // The file the app makes of pixels it holds, as the decoder makes it of those it does.
            const QByteArray madeInTheApp = PngWriter::write(*pixels)->joined();
            const std::optional<EncodedImage> pasted = PastedImageEncoder::encode({{}, bytes});
            QVERIFY(pasted);
            QCOMPARE(pasted->mimeType, QStringLiteral("image/png"));
            QCOMPARE(pasted->fileExtension, QStringLiteral("png"));
            QCOMPARE(pasted->bytes, madeInTheApp);
        }

        // A drawing that asks for 10⁶ × 10⁶ is kept at the largest size the limit allows, and
        // the app receives the file, not a pixel of it.
        const QByteArray huge = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1000000\" "
                                "height=\"1000000\"><rect width=\"1000000\" height=\"500000\" "
                                "fill=\"#2060c0\"/></svg>";
        const qint64 peakBefore = decoder->pixels().peak();
        const std::optional<IsolatedImageDecoder::Encoded> file = decoder->encode(huge);
        QVERIFY(file);
        QCOMPARE(file->size, QSize(8192, 8192));
        QVERIFY2(file->bytes.size() < 4 * 1024 * 1024,
                 qPrintable(QString::number(file->bytes.size())));
        QCOMPARE(decoder->declaredSize(file->bytes), std::optional<QSize>(QSize(8192, 8192)));
        // Its file counts in the budget while the app holds it: no more than that.
        QVERIFY2(decoder->pixels().peak() <= std::max(peakBefore, qint64(file->bytes.size())),
                 qPrintable(QString::number(decoder->pixels().peak())));
    }

    // Pixels wait for room in the app's budget; a picture larger than the whole budget is
    // refused for now, and not for the session: a smaller request for the same bytes is answered.
    void pixelsStayWithinTheAppsBudget() {
        const auto budget = std::make_shared<PixelBudget>(1000 * 4 * 100);
        QVERIFY(budget->image(QSize(1001, 100), QImage::Format_RGB32, std::chrono::seconds(1))
                    .isNull());
        std::optional<QImage> first =
            budget->image(QSize(1000, 60), QImage::Format_RGB32, std::chrono::seconds(1));
        QVERIFY(first && !first->isNull());
        first->fill(Qt::red);
        QCOMPARE(budget->held(), qint64(1000 * 4 * 60));
        QImage copy = *first; // a copy shares the pixels, and their place in the budget
        QVERIFY(budget->image(QSize(1000, 60), QImage::Format_RGB32, std::chrono::milliseconds(50))
                    .isNull());
        std::thread letGo([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            first.reset();
            copy = QImage();
        });
        const QImage second =
            budget->image(QSize(1000, 60), QImage::Format_RGB32, std::chrono::seconds(60));
        letGo.join();
        QVERIFY(!second.isNull());
        QCOMPARE(budget->held(), qint64(1000 * 4 * 60));
        QCOMPARE(budget->peak(), qint64(1000 * 4 * 60));

        const auto decoder = installDecoder(512 * 512 * 4);
        const QByteArray picture = pngOf(QSize(1024, 1024));
        QVERIFY(!decoder->decode(picture));
        const std::optional<QImage> smaller = decoder->decodeWithin(picture, QSize(512, 512));
        QVERIFY(smaller);
        QCOMPARE(smaller->size(), QSize(512, 512));
        QCOMPARE(smaller->pixelColor(100, 100), QColor(40, 160, 90));
        QCOMPARE(decoder->pixels().held(), qint64(512 * 512 * 4));
    }
};

QTEST_MAIN(DecoderAnswerBoundsTest)
#include "DecoderAnswerBoundsTest.moc"
