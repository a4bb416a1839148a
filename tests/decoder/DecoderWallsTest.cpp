#include "analysis/DecoderProcess.h"
#include "analysis/DecoderProtocol.h"
#include "analysis/ImageAnalyzer.h"
#include "analysis/IsolatedImageDecoder.h"
#include "analysis/KippetIntake.h"
#include "model/Kippet.h"
#include "support/EncodedImage.h"
#include "support/IntakeFixture.h"
#include "support/TaskRunner.h"
#include "support/TestEnvironment.h"
#include "window/ThumbnailCache.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QFile>
#include <QImageWriter>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

namespace {
// As long as a sanitized decoder may take to start on a busy machine, and then some.
constexpr int startMs = 120000;

QByteArray procFile(qint64 pid, const char* name) {
    QFile file(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The mappings of a live process that code smuggled into it could run from: writable and
// executable at once, or executable with no file behind them. The kernel's vDSO and vsyscall
// pages are its own code.
QStringList codeInData(qint64 pid) {
    QStringList found;
    const QByteArray maps = procFile(pid, "maps");
    if (maps.isEmpty())
        return {QStringLiteral("no map read for %1").arg(pid)};
    for (const QByteArray& line : maps.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 5 || !fields.at(1).contains('x'))
            continue;
        const QByteArray path = fields.size() > 5 ? fields.at(5) : QByteArray();
        if (path == "[vdso]" || path == "[vsyscall]")
            continue;
        if (fields.at(1).contains('w') || path.isEmpty() || path.startsWith('[') ||
            path.startsWith("/memfd:"))
            found.append(QString::fromLatin1(line));
    }
    return found;
}

// How many seccomp filters the process is under; its parent's (a container's) count too.
int filtersOf(qint64 pid) {
    const QByteArray status = procFile(pid, "status");
    const qsizetype at = status.indexOf("Seccomp_filters:");
    if (at < 0)
        return status.contains("Seccomp:\t2") ? 1 : 0;
    return status.mid(at + 16, status.indexOf('\n', at) - at - 16).trimmed().toInt();
}

// Its walls are up once its own filter is: the decoder loads it last, after every reader.
bool isWalled(qint64 pid) {
    return filtersOf(pid) > filtersOf(QCoreApplication::applicationPid());
}

char processState(qint64 pid) {
    const QByteArray stat = procFile(pid, "stat");
    const qsizetype close = stat.lastIndexOf(')');
    return close >= 0 && close + 2 < stat.size() ? stat.at(close + 2) : '?';
}

// Pictures of every format this Qt writes, each a little different, for a decoder to read.
QList<QByteArray> manyPictures(int count) {
    QList<QByteArray> formats;
    for (const char* format : {"png", "jpeg", "bmp", "gif", "webp", "ico", "ppm", "tiff"}) {
        if (QImageWriter::supportedImageFormats().contains(format))
            formats.append(format);
    }
    QList<QByteArray> pictures;
    for (int index = 0; index < count; ++index) {
        if (index % 9 == 8) {
            pictures.append("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                            QByteArray::number(30 + index) +
                            "\" height=\"20\"><text x=\"2\" y=\"15\">Ag</text></svg>");
            continue;
        }
        QImage image(24 + index % 17, 16 + index % 13, QImage::Format_ARGB32);
        image.fill(QColor(index * 2 % 256, 90, 255 - index % 256));
        QPainter painter(&image);
        painter.fillRect(QRect(2, 2, 8, 6), QColor(250, 250, 250, 128));
        painter.end();
        pictures.append(encoded(image, formats.at(index % formats.size()).constData()));
    }
    return pictures;
}

// A program started with a socket as its standard input and output and a pipe as its standard
// error, like the app starts a decoder, with `variables` added to the test's environment and
// after `beforeExec` has run in the child. It ends with the test, unless handed over.
class StartedProgram {
public:
    template <typename BeforeExec>
    StartedProgram(const QStringList& arguments, const QStringList& variables,
                   BeforeExec beforeExec) {
        int sockets[2];
        int errors[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0 ||
            ::pipe2(errors, O_CLOEXEC) != 0)
            return;
        std::vector<std::string> words;
        for (const QString& argument : arguments)
            words.push_back(argument.toStdString());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        std::vector<std::string> settings;
        for (char** variable = environ; *variable; ++variable)
            settings.emplace_back(*variable);
        for (const QString& variable : variables)
            settings.push_back(variable.toStdString());
        std::vector<char*> envp;
        for (std::string& setting : settings)
            envp.push_back(setting.data());
        envp.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only calls safe after a fork of a process with threads.
            ::dup2(sockets[1], STDIN_FILENO);
            ::dup2(sockets[1], STDOUT_FILENO);
            ::dup2(errors[1], STDERR_FILENO);
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            if (!beforeExec())
                ::_exit(120);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(121);
        }
        ::close(sockets[1]);
        ::close(errors[1]);
        socket_ = sockets[0];
        errors_ = errors[0];
    }
    ~StartedProgram() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (socket_ >= 0)
            ::close(socket_);
        if (errors_ >= 0)
            ::close(errors_);
    }
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;

    pid_t pid() const { return pid_; }
    int socket() const { return socket_; }

    // The decoder it is, to be talked to as the app talks to its own.
    std::unique_ptr<DecoderProcess> handedOver() {
        reaped_ = true;
        return std::make_unique<DecoderProcess>(std::exchange(socket_, -1), pid_);
    }

    // Everything it sends until it closes its end, or nothing more within `ms`.
    QByteArray received(int ms) const {
        QByteArray bytes;
        const QDeadlineTimer deadline(ms);
        for (;;) {
            pollfd ready{socket_, POLLIN, 0};
            if (::poll(&ready, 1, int(std::max<qint64>(0, deadline.remainingTime()))) <= 0)
                return bytes;
            char chunk[4096];
            const ssize_t got = ::recv(socket_, chunk, sizeof chunk, 0);
            if (got <= 0)
                return bytes;
            bytes.append(chunk, got);
        }
    }

    // How it ended, waited for up to `ms`; -1 when it has not.
    int status(int ms) {
        const QDeadlineTimer deadline(ms);
        int status = 0;
        while (!deadline.hasExpired()) {
            const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
            if (ended == pid_) {
                reaped_ = true;
                return status;
            }
            QTest::qWait(10);
        }
        return -1;
    }

    QByteArray standardError() const {
        QByteArray said;
        char chunk[4096];
        ssize_t got = 0;
        while ((got = ::read(errors_, chunk, sizeof chunk)) > 0)
            said.append(chunk, got);
        return said;
    }

private:
    pid_t pid_ = -1;
    int socket_ = -1;
    int errors_ = -1;
    bool reaped_ = false;
};

// A filter that answers `error` to seccomp(2) and to prctl(PR_SET_SECCOMP), and lets everything
// else through: a kernel built without seccomp (ENOSYS), or a container whose own filter refuses
// a second one (EPERM). It stays with the process across exec.
bool refuseSeccomp(int error) {
    const __u32 refuse = SECCOMP_RET_ERRNO | (__u32(error) & SECCOMP_RET_DATA);
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_seccomp, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, refuse),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_prctl, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PR_SET_SECCOMP, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, refuse),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::syscall(__NR_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
}

QMimeData* pictureOnClipboard(const QByteArray& bytes) {
    auto* data = new QMimeData;
    data->setData(QStringLiteral("image/png"), bytes);
    return data;
}

QString writtenProgram(const QTemporaryDir& folder, const QByteArray& script) {
    const QString path = folder.filePath(QStringLiteral("decoder"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(script);
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}
} // namespace

// The walls of the real decoder program, seen from outside: what it can still do once they are
// up, and what it does when it cannot put them up.
class DecoderWallsTest : public QObject {
    Q_OBJECT
private slots:
    void noDecoderHoldsMemoryThatCodeCouldRunFrom_data() {
        QTest::addColumn<bool>("byHand");
        QTest::newRow("started by the app") << false;
        // Whatever its environment asks: QT_ENABLE_REGEXP_JIT=1 turns Qt's JIT on.
        QTest::newRow("started by hand") << true;
    }

    // No page of a decoder is both writable and executable, nor executable with no file behind
    // it: not once it is ready, and not after a hundred pictures of every format.
    void noDecoderHoldsMemoryThatCodeCouldRunFrom() {
        QFETCH(bool, byHand);
        // Its standard error stays open while it lives: the process goes first.
        std::unique_ptr<StartedProgram> started;
        std::unique_ptr<DecoderProcess> process;
        if (byHand) {
            started = std::make_unique<StartedProgram>(
                QStringList{IsolatedImageDecoder::defaultProgram()},
                QStringList{QStringLiteral("QT_ENABLE_REGEXP_JIT=1")}, [] { return true; });
            process = started->handedOver();
        } else {
            process =
                DecoderProcess::start(IsolatedImageDecoder::defaultProgram(), 1024LL * 1024 * 1024);
        }
        QVERIFY(process);
        const qint64 pid = process->pid();
        QTRY_VERIFY_WITH_TIMEOUT(isWalled(pid), startMs);
        QCOMPARE(codeInData(pid), QStringList());

        using Ask = DecoderProtocol::Ask;
        const QList<QByteArray> pictures = manyPictures(100);
        const Ask asks[] = {Ask::decode, Ask::covering, Ask::within, Ask::declaredSize,
                            Ask::encoded};
        DecoderProcess::Limits limits;
        limits.cpu = std::chrono::seconds(30);
        limits.wall = std::chrono::seconds(60);
        limits.ceiling = std::chrono::seconds(300);
        int answered = 0;
        for (int index = 0; index < pictures.size(); ++index) {
            const Ask ask = asks[index % 5];
            const DecoderProtocol::Request request{
                ask, QSize(20, 12), ImageDecoder::maxDecodedBytes, pictures.at(index)};
            const DecoderProcess::Outcome outcome = process->exchange(request, limits);
            QVERIFY2(outcome.kind != DecoderProcess::Outcome::Kind::failed,
                     qPrintable(QStringLiteral("picture %1: %2").arg(index).arg(outcome.failure)));
            answered += outcome.kind == DecoderProcess::Outcome::Kind::answered ? 1 : 0;
        }
        QVERIFY2(answered >= 90, qPrintable(QString::number(answered)));
        QCOMPARE(process->pid(), pid);
        QVERIFY(!process->isSpent());
        QCOMPARE(codeInData(pid), QStringList());
    }

    // Once walled, the decoder may send itself the signal abort() sends, and no other: a picture
    // that took it over cannot stop or kill it and so pass for a decoder stopped or killed from
    // outside, whose picture would be tried again. It finds no memory to run code from either.
    void theDecoderMaySignalItselfOnlyToAbort() {
        QProcess check;
        check.start(IsolatedImageDecoder::defaultProgram(), {QStringLiteral("--check-lockdown")});
        QVERIFY(check.waitForStarted(startMs));
        const QDeadlineTimer deadline(startMs);
        while (!check.waitForFinished(50)) {
            if (processState(check.processId()) == 'T') {
                check.kill();
                check.waitForFinished();
                QFAIL("the decoder stopped itself");
            }
            QVERIFY2(!deadline.hasExpired(), "the check did not end");
        }
        const QByteArray said = check.readAllStandardError();
        QVERIFY2(check.exitStatus() == QProcess::NormalExit,
                 qPrintable(QStringLiteral("the decoder ended itself after:\n") +
                            QString::fromUtf8(said)));
        const QList<QByteArray> lines = said.split('\n');
        for (const char* expected :
             {"a signal to itself: allowed", "SIGKILL to itself: refused",
              "SIGSTOP to itself: refused", "writable or anonymous executable memory: none"}) {
            QVERIFY2(lines.contains(expected),
                     qPrintable(QStringLiteral("\"%1\" not in:\n%2")
                                    .arg(QString::fromUtf8(expected), QString::fromUtf8(said))));
        }
        QCOMPARE(check.exitCode(), 0);

        // And abort() still ends it as it should.
        StartedProgram aborting(
            {IsolatedImageDecoder::defaultProgram(), QStringLiteral("--check-abort")}, {},
            [] { return true; });
        const int status = aborting.status(startMs);
        QVERIFY2(status != -1, "the aborting decoder did not end");
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT,
                 qPrintable(QStringLiteral("status %1").arg(status)));
    }

    void aDecoderThatCannotWallItselfAnswersNothing_data() {
        QTest::addColumn<int>("error");
        QTest::newRow("a container refuses a second filter") << EPERM;
        QTest::newRow("a kernel without seccomp") << ENOSYS;
    }

    // Started by a parent that lets it load no filter, the decoder reads no request and answers
    // none: it ends with its own status, and says why on standard error.
    void aDecoderThatCannotWallItselfAnswersNothing() {
#ifndef __x86_64__
        QSKIP("The refusing filter is written for x86-64 system calls");
#endif
        QFETCH(int, error);
        StartedProgram decoder({IsolatedImageDecoder::defaultProgram()}, {},
                               [error] { return refuseSeccomp(error); });
        QVERIFY(decoder.pid() > 0);
        QImage image(32, 32, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        const DecoderProtocol::Request request{DecoderProtocol::Ask::decode, QSize(),
                                               ImageDecoder::maxDecodedBytes,
                                               encoded(image, "png")};
        const QByteArray asked = DecoderProtocol::requestHeader(request) + request.bytes;
        // Taken into the socket's buffer, or refused once the decoder has gone: either way no
        // answer comes.
        ::send(decoder.socket(), asked.constData(), size_t(asked.size()), MSG_NOSIGNAL);
        QCOMPARE(decoder.received(startMs), QByteArray());
        const int status = decoder.status(startMs);
        QVERIFY2(status != -1, "the decoder did not end");
        QVERIFY2(WIFEXITED(status), qPrintable(QStringLiteral("status %1").arg(status)));
        QCOMPARE(WEXITSTATUS(status), 69);
        QVERIFY2(decoder.standardError().contains("kippets-decoder: decoding nothing without its "
                                                  "walls: the seccomp filter could not be loaded"),
                 decoder.standardError().constData());
    }

    // A decoder that ends with that status makes the app refuse every picture from outside for
    // the rest of the session, decoding none in its own process: the log says why once, and the
    // user is told in plain words the first time a pasted picture is refused. A file is still
    // kept as the file it is.
    void withoutTheWallsTheAppRefusesPicturesAndSaysWhyOnce() {
        QTemporaryDir folder;
        IsolatedImageDecoder::Settings settings;
        settings.program = writtenProgram(folder, "#!/bin/sh\nexit 69\n");
        const auto decoder = std::make_shared<IsolatedImageDecoder>(settings);
        IsolatedImageDecoder::install(decoder);
        IntakeFixture h;
        QSignalSpy errors(h.intake.get(), &KippetIntake::errorOccurred);
        LogCapture log;
        const QByteArray picture = IntakeFixture::pngBytes(Qt::darkCyan, QSize(40, 30));
        std::unique_ptr<QMimeData> pasted(pictureOnClipboard(picture));
        TaskRunner::finish(h.intake->pasteFromPasteboard(*pasted));
        QVERIFY(h.kippet->items().isEmpty());
        QCOMPARE(errors.size(), 1);
        QCOMPARE(errors.at(0).at(0).toString(),
                 QStringLiteral("Pictures cannot be opened on this computer: Kippets opens them "
                                "only in a separate, locked-down helper, and this system does not "
                                "allow the lock (seccomp). The picture was not kept; dropped and "
                                "imported files are still kept as files."));
        QVERIFY(decoder->decodesNothing());
        const int sent = decoder->requestsSent();

        // Nothing is decoded after, here or anywhere; a later pasted picture is said to have
        // failed, as any refused paste is, but the reason is not told again.
        std::unique_ptr<QMimeData> other(
            pictureOnClipboard(IntakeFixture::pngBytes(Qt::darkRed, QSize(20, 20))));
        TaskRunner::finish(h.intake->pasteFromPasteboard(*other));
        QVERIFY(h.kippet->items().isEmpty());
        QVERIFY(ThumbnailCache::decode(true, picture, {}, QSize(260, 96)).isNull());
        QVERIFY(!ImageAnalyzer::decodeImage(picture));
        QVERIFY(!decoder->declaredSize(picture));
        QCOMPARE(decoder->requestsSent(), sent);
        QCOMPARE(errors.size(), 2);
        QCOMPARE(errors.at(1).at(0).toString(), QStringLiteral("Failed to read image data"));

        const QString file = h.writeFile(QStringLiteral("photo.png"), picture);
        TaskRunner::finish(h.intake->importFiles({QUrl::fromLocalFile(file)}));
        QCOMPARE(h.kippet->items().size(), 1);
        QCOMPARE(h.kippet->items().first().content, picture);
        QCOMPARE(h.kippet->items().first().type, KippetItemType::image);
        QCOMPARE(errors.size(), 2);

        const QString why =
            QStringLiteral("❌ [ImageDecoder] No picture from outside is decoded from now on: the "
                           "decoder %1 could not put up its walls on this system (its own line "
                           "on standard error says which)")
                .arg(settings.program);
        QCOMPARE(log.lines().count(why), 1);
        QVERIFY2(!log.contains(QStringLiteral("Refused a picture")) &&
                     !log.contains(QStringLiteral("Trying a picture")),
                 qPrintable(log.lines().join(u'\n')));
    }
};

QTEST_MAIN(DecoderWallsTest)
#include "DecoderWallsTest.moc"
