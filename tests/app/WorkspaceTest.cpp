#include "app/Workspace.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <unistd.h>

// The seam that hands addresses to the user's applications opens web pages and local files
// only, and what the applications it starts write never reaches this app's output.
namespace {
// Points stdout and stderr at a file while it lives, as a terminal or a journal would read them.
class OutputCapture {
public:
    explicit OutputCapture(const QString& path) {
        std::fflush(stdout);
        std::fflush(stderr);
        savedOut_ = ::dup(STDOUT_FILENO);
        savedErr_ = ::dup(STDERR_FILENO);
        const int file = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT, 0600);
        ::dup2(file, STDOUT_FILENO);
        ::dup2(file, STDERR_FILENO);
        ::close(file);
    }
    ~OutputCapture() {
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(savedOut_, STDOUT_FILENO);
        ::dup2(savedErr_, STDERR_FILENO);
        ::close(savedOut_);
        ::close(savedErr_);
    }
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

private:
    int savedOut_ = -1;
    int savedErr_ = -1;
};

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class WorkspaceTest : public QObject {
    Q_OBJECT
private slots:
    void onlyWebPagesAndLocalFilesAreOpened() {
        Workspace workspace;
        workspace.setRecordingOnly(true);
        LogCapture log;
        const QList<QUrl> taken{QUrl(QStringLiteral("https://example.com/a?b=1")),
                                QUrl(QStringLiteral("HTTP://example.com/")),
                                QUrl::fromLocalFile(QStringLiteral("/tmp/report.pdf"))};
        for (const QUrl& url : taken)
            QVERIFY2(workspace.open(url), qPrintable(url.toString()));
        for (const char* refused :
             {"steam://run/1", "mailto:someone@example.com", "javascript:alert(1)", "smb://host/x",
              "ftp://example.com/file", "file://remote-host/share/x", "relative/path"}) {
            QVERIFY2(!workspace.open(QUrl(QString::fromLatin1(refused))), refused);
            QVERIFY(log.contains(QStringLiteral("⚠️ [Workspace] Not opening an address that is "
                                                "neither a web page nor a file: ") +
                                 QString::fromLatin1(refused)));
        }
        QVERIFY(!workspace.open(QUrl()));
        QCOMPARE(workspace.opened(), taken);
    }

    void theOpenersOutputStaysOutOfTheAppsOutput() {
        // A desktop opener that talks, as file managers and browsers do, and notes what it got.
        QTemporaryDir folder;
        const QString opener = folder.filePath(QStringLiteral("xdg-open"));
        const QString marker = folder.filePath(QStringLiteral("opened"));
        QFile script(opener);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\n"
                                    "echo 'opener says hello'\n"
                                    "echo 'opener warns' >&2\n"
                                    "echo \"$1\" > '%1.part' && mv '%1.part' '%1'\n")
                         .arg(marker)
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(folder.path()) + ':' + path);

        const QString output = folder.filePath(QStringLiteral("output"));
        const QString page = QStringLiteral("https://example.com/");
        {
            OutputCapture capture(output);
            Workspace workspace;
            QVERIFY(workspace.open(QUrl(page)));
            QTRY_VERIFY(QFile::exists(marker));
        }
        qputenv("PATH", path);
        QCOMPARE(contentsOf(marker).trimmed(), page.toUtf8());
        const QByteArray seen = contentsOf(output);
        QVERIFY2(!seen.contains("opener"), seen.constData());
    }
};

QTEST_MAIN(WorkspaceTest)
#include "WorkspaceTest.moc"
