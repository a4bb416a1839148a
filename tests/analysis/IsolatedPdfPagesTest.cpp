#include "analysis/DecoderProcess.h"
#include "analysis/IsolatedImageDecoder.h"
#include "support/TestEnvironment.h"
#include "support/TestPdfFiles.h"

#include <QTest>
#include <QtEndian>
#include <cmath>
#include <sys/socket.h>
#include <unistd.h>

// PDF pages counted and drawn by the real decoder program, after it has locked itself down: the
// pictures show what the pages hold, fit the size asked for, and a PDF past the budget is refused
// as a hostile picture is.
namespace {
std::shared_ptr<IsolatedImageDecoder> installDecoder(std::chrono::milliseconds cpu,
                                                     std::chrono::milliseconds wall) {
    IsolatedImageDecoder::Settings settings;
    settings.program = IsolatedImageDecoder::defaultProgram();
    settings.limits.cpu = cpu;
    settings.limits.wall = wall;
    auto decoder = std::make_shared<IsolatedImageDecoder>(settings);
    IsolatedImageDecoder::install(decoder);
    return decoder;
}

bool near(QColor colour, QColor expected) {
    return std::abs(colour.red() - expected.red()) <= 8 &&
           std::abs(colour.green() - expected.green()) <= 8 &&
           std::abs(colour.blue() - expected.blue()) <= 8;
}

QString described(QColor colour) {
    return colour.name();
}

// What the app makes of `answer` to `request`, sent by a decoder that says it and nothing more.
DecoderProcess::Outcome answered(const DecoderProtocol::Request& request,
                                 const QByteArray& answer) {
    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return {};
    // What fits the socket's buffer waits there for the app to read it: every answer that adds
    // up does, and of one too large the header is all the app reads.
    ::send(sockets[1], answer.constData(), size_t(answer.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    DecoderProcess process(sockets[0], 0);
    DecoderProcess::Limits limits;
    limits.wall = std::chrono::seconds(10);
    const DecoderProcess::Outcome outcome = process.exchange(request, limits);
    ::close(sockets[1]);
    return outcome;
}

QByteArray imageAnswer(QSize size) {
    DecoderProtocol::AnswerHeader header;
    header.answer = DecoderProtocol::Answer::image;
    header.size = size;
    header.format = QImage::Format_RGB32;
    header.bytesPerLine = size.width() * 4;
    header.pixelBytes = header.bytesPerLine * size.height();
    return DecoderProtocol::answerHeader(header) + QByteArray(header.pixelBytes, '\xff');
}

QByteArray pagesAnswer(const QList<float>& sides) {
    DecoderProtocol::AnswerHeader header;
    header.answer = DecoderProtocol::Answer::pages;
    header.size = QSize(int(sides.size() / 2), 0);
    header.pixelBytes = sides.size() * 4;
    QByteArray bytes = DecoderProtocol::answerHeader(header);
    for (const float side : sides) {
        char raw[4];
        qToLittleEndian(side, raw);
        bytes.append(raw, 4);
    }
    return bytes;
}
} // namespace

class IsolatedPdfPagesTest : public QObject {
    Q_OBJECT
private slots:
    void init() { installDecoder(std::chrono::seconds(4), std::chrono::seconds(12)); }

    void pagesAreCountedAndDrawnAsTheyAre() {
        const auto decoder = IsolatedImageDecoder::shared();
        const QByteArray pdf =
            TestPdfFiles::halfFilledPages({QColor(200, 30, 40), QColor(20, 60, 210)});
        const std::optional<QList<QSizeF>> sizes = decoder->pdfPageSizes(pdf);
        QVERIFY(sizes);
        QCOMPARE(sizes->size(), 2);
        // A5 in points.
        QVERIFY2(
            std::abs(sizes->at(0).width() - 419.5) < 1 &&
                std::abs(sizes->at(0).height() - 595.3) < 1,
            qPrintable(
                QStringLiteral("%1 x %2").arg(sizes->at(0).width()).arg(sizes->at(0).height())));

        const int sent = decoder->requestsSent();
        const std::optional<QImage> first = decoder->renderPdfPage(pdf, 0, QSize(300, 1000));
        QVERIFY(first);
        QCOMPARE(decoder->requestsSent(), sent + 1);
        // As wide as asked, as tall as the page's shape makes it.
        QCOMPARE(first->width(), 300);
        QVERIFY2(std::abs(first->height() - 425) <= 1,
                 qPrintable(QString::number(first->height())));
        QVERIFY2(near(first->pixelColor(60, 200), QColor(200, 30, 40)),
                 qPrintable(described(first->pixelColor(60, 200))));
        QVERIFY2(near(first->pixelColor(240, 200), Qt::white),
                 qPrintable(described(first->pixelColor(240, 200))));
        const std::optional<QImage> second = decoder->renderPdfPage(pdf, 1, QSize(300, 1000));
        QVERIFY(second);
        QVERIFY2(near(second->pixelColor(60, 200), QColor(20, 60, 210)),
                 qPrintable(described(second->pixelColor(60, 200))));

        // Never larger than the size asked for, whichever side binds.
        const std::optional<QImage> short_ = decoder->renderPdfPage(pdf, 0, QSize(300, 100));
        QVERIFY(short_);
        QCOMPARE(short_->height(), 100);
        QVERIFY(short_->width() <= 300 && short_->width() >= 69);
        // A page past the last is no page.
        QVERIFY(!decoder->renderPdfPage(pdf, 2, QSize(300, 400)));
    }

    // Text in a font the document does not carry is drawn from what the decoder loaded before it
    // forbade itself files.
    void textInAStandardFontIsDrawnOnceLockedDown() {
        const std::optional<QImage> page = IsolatedImageDecoder::shared()->renderPdfPage(
            TestPdfFiles::standardFontText(), 0, QSize(400, 200));
        QVERIFY(page);
        QCOMPARE(page->size(), QSize(400, 200));
        int dark = 0;
        for (int y = 0; y < page->height(); ++y) {
            for (int x = 0; x < page->width(); ++x)
                dark += qGray(page->pixel(x, y)) < 100 ? 1 : 0;
        }
        // Three capitals 120 pixels tall cover thousands of pixels.
        QVERIFY2(dark > 3000, qPrintable(QString::number(dark)));
    }

    // The app takes a page no larger than it asked for, and page sizes only of real pages, whatever
    // a decoder says.
    void anAnswerPastTheRequestIsNoAnswer() {
        const QByteArray pdf = "%PDF-1.4\n";
        const DecoderProtocol::Request page{DecoderProtocol::Ask::pdfPage, QSize(100, 140),
                                            ImageDecoder::maxDecodedBytes, pdf, 3};
        const DecoderProcess::Outcome fits = answered(page, imageAnswer(QSize(100, 140)));
        QVERIFY(fits.kind == DecoderProcess::Outcome::Kind::answered && fits.image);
        QCOMPARE(fits.image->size(), QSize(100, 140));
        for (const QSize size : {QSize(101, 140), QSize(100, 141), QSize(2000, 2000)}) {
            const DecoderProcess::Outcome past = answered(page, imageAnswer(size));
            QVERIFY(past.kind == DecoderProcess::Outcome::Kind::failed && !past.image);
        }

        const DecoderProtocol::Request count{DecoderProtocol::Ask::pdfPageCount, QSize(),
                                             ImageDecoder::maxDecodedBytes, pdf};
        const DecoderProcess::Outcome two = answered(count, pagesAnswer({420, 595, 842, 595}));
        QVERIFY(two.pages);
        QCOMPARE(*two.pages, QList<QSizeF>({QSizeF(420, 595), QSizeF(842, 595)}));
        for (const float odd : {0.0f, -5.0f, 1e9f, std::nanf("")}) {
            const DecoderProcess::Outcome refused = answered(count, pagesAnswer({420, odd}));
            QVERIFY(refused.kind == DecoderProcess::Outcome::Kind::failed && !refused.pages);
        }
        // Pages are no answer to a picture, nor a picture to a count.
        QVERIFY(answered(count, imageAnswer(QSize(10, 10))).kind ==
                DecoderProcess::Outcome::Kind::failed);
        const DecoderProtocol::Request picture{DecoderProtocol::Ask::decode, QSize(),
                                               ImageDecoder::maxDecodedBytes, pdf};
        QVERIFY(answered(picture, pagesAnswer({420, 595})).kind ==
                DecoderProcess::Outcome::Kind::failed);
    }

    void whatIsNoPdfIsRefusedWithoutADecoder() {
        const auto decoder = IsolatedImageDecoder::shared();
        const int sent = decoder->requestsSent();
        QVERIFY(!decoder->pdfPageSizes("\x89PNG\r\n\x1a\n not a document"));
        QVERIFY(!decoder->renderPdfPage("plain words", 0, QSize(100, 100)));
        QCOMPARE(decoder->requestsSent(), sent);
        // A damaged one reaches a decoder, which finds no page in it.
        QVERIFY(!decoder->pdfPageSizes("%PDF-1.4\n1 0 obj << >> endobj\n%%EOF\n"));
    }

    // Pages that each draw millions of shapes from a few megabytes: the decoder runs out of its
    // budget, is ended, and the bytes are refused for the session. The next PDF is drawn.
    void aPdfPastTheBudgetIsRefusedAsAHostilePictureIs() {
        const auto decoder = installDecoder(std::chrono::seconds(2), std::chrono::seconds(6));
        const QByteArray hostile = TestPdfFiles::manyShapes(200, 400LL * 1024 * 1024);
        QVERIFY2(hostile.size() < 8 * 1024 * 1024, qPrintable(QString::number(hostile.size())));
        LogCapture log;
        const std::optional<QList<QSizeF>> sizes = decoder->pdfPageSizes(hostile);
        if (sizes) {
            QCOMPARE(sizes->size(), 200);
            QVERIFY(!decoder->renderPdfPage(hostile, 0, QSize(700, 1000)));
        }
        // Ended for its own doing at once, however long a busy machine made that take: never
        // waited for until the wall bound, nor tried again.
        QVERIFY(log.contains(QStringLiteral("⚠️ [ImageDecoder] Refused a picture of %1 bytes: ")
                                 .arg(hostile.size())));
        QVERIFY2(!log.contains(QStringLiteral("no answer within")) &&
                     !log.contains(QStringLiteral("Trying a picture")),
                 qPrintable(log.lines().join(u'\n')));
        QVERIFY(decoder->busyDecoders().isEmpty());

        // Refused again without a decoder.
        const int sent = decoder->requestsSent();
        QVERIFY(!decoder->renderPdfPage(hostile, 5, QSize(700, 1000)));
        QVERIFY(!decoder->pdfPageSizes(hostile));
        QCOMPARE(decoder->requestsSent(), sent);

        const std::optional<QImage> next = decoder->renderPdfPage(
            TestPdfFiles::halfFilledPages({QColor(20, 160, 60)}), 0, QSize(200, 400));
        QVERIFY(next);
        QVERIFY(near(next->pixelColor(20, 100), QColor(20, 160, 60)));
    }
};

QTEST_MAIN(IsolatedPdfPagesTest)
#include "IsolatedPdfPagesTest.moc"
