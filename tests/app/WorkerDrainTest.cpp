#include "app/WorkerDrain.h"
#include "app/PreviewManager.h"
#include "app/PreviewWindow.h"
#include "app/TerminationSignals.h"
#include "model/Kippet.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "support/AppHarness.h"
#include "window/ItemActions.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <sys/stat.h>

// The quit on SIGTERM, in a child process of this test: the app's item actions meet pipes in
// the place of item files, then the signal comes.
namespace {
constexpr char childVariable[] = "KIPPETS_WORKER_DRAIN_CHILD";
constexpr char stuckVariable[] = "KIPPETS_WORKER_DRAIN_STUCK";

void makePipe(const QString& path) {
    if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0)
        qFatal("no pipe at %s", qPrintable(path));
}

KippetItem fileItem(const QByteArray& content, const QString& name) {
    KippetItem item;
    item.id = QUuid::createUuid();
    item.type = KippetItemType::file;
    item.content = content;
    item.metadata.name = name;
    item.metadata.fileExtension = QStringLiteral("txt");
    item.category = ItemCategory::documents;
    item.addedDate = QDateTime::currentDateTimeUtc();
    return item;
}

// Quick Look, Copy File and a drag of an item whose file is a pipe, and Quick Look of a file
// reference that names a pipe elsewhere.
void useItemsOnPipes(AppHarness& app, const QDir& outside) {
    PreviewManager& previews = PreviewManager::shared();
    Kippet* kippet = app.addKippet(QStringLiteral("Inbox"), {100, 100});
    const KippetItem piped = fileItem("piped bytes", QStringLiteral("piped.txt"));
    app.manager().addItem(piped, kippet);
    const QString place =
        app.manager().itemsDirectory(kippet) + QLatin1Char('/') + ItemStorage::idText(piped.id);
    QFile::remove(place);
    makePipe(place);
    ItemActions(piped, kippet).quickLook();
    ItemActions(piped, kippet).copyFile();
    delete ItemActions(piped, kippet).dragMimeData();

    const QString elsewhere = outside.filePath(QStringLiteral("elsewhere.txt"));
    makePipe(elsewhere);
    KippetItem reference = fileItem(QUrl::fromLocalFile(elsewhere).toEncoded(), "elsewhere.txt");
    app.manager().addItem(reference, kippet);
    QSignalSpy shown(previews.window(), &PreviewWindow::shown);
    ItemActions(reference, kippet).quickLook();
    shown.wait(10000);
}

int runChild() {
    TerminationSignals termination;
    const QDir outside(qEnvironmentVariable(childVariable));
    {
        AppHarness app;
        app.start();
        useItemsOnPipes(app, outside);
        if (qEnvironmentVariableIsSet(stuckVariable)) {
            // A worker stuck in the file system, as on a mount that no longer answers.
            const QString stuck = outside.filePath(QStringLiteral("stuck"));
            makePipe(stuck);
            QThreadPool::globalInstance()->start([stuck] {
                QFile file(stuck);
                file.open(QIODevice::ReadOnly);
            });
        }
        // Once the event loop runs, which is where the signal is taken.
        QMetaObject::invokeMethod(
            qApp,
            [] {
                std::printf("child ready to quit\n");
                std::fflush(stdout);
            },
            Qt::QueuedConnection);
        QApplication::exec();
    }
    // The tear-down writes a preference, which a quit that leaves at once must not lose.
    Preferences preferences(outside.filePath(QStringLiteral("quit.conf")));
    Preferences::install(&preferences);
    preferences.setBool(QStringLiteral("written_while_quitting"), true);
    WorkerDrain::finishOrLeave(0);
    std::printf("left after every worker\n");
    std::fflush(stdout);
    return 0;
}
} // namespace

class WorkerDrainTest : public QObject {
    Q_OBJECT

    // Runs the child until it is ready, sends SIGTERM, and gives what it printed.
    static QString quitChild(bool withStuckWorker, QByteArray* preferences = nullptr) {
        QTemporaryDir outside;
        const auto readPreferences = qScopeGuard([&outside, preferences] {
            QFile file(outside.filePath(QStringLiteral("quit.conf")));
            if (preferences && file.open(QIODevice::ReadOnly))
                *preferences = file.readAll();
        });
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(childVariable), outside.path());
        if (withStuckWorker)
            environment.insert(QString::fromLatin1(stuckVariable), QStringLiteral("1"));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QString output;
        for (int i = 0; i < 600 && !output.contains(QStringLiteral("child ready to quit\n")); ++i) {
            if (!child.waitForReadyRead(100) && child.state() == QProcess::NotRunning)
                break;
            output += QString::fromUtf8(child.readAllStandardOutput());
        }
        if (!output.contains(QStringLiteral("child ready to quit\n")))
            return QStringLiteral("not ready: ") + output + child.readAllStandardError();
        ::kill(pid_t(child.processId()), SIGTERM);
        // The quit is over once the child ends or says it left; the leak check of the sanitized
        // build runs after that.
        const QDeadlineTimer quit(2000);
        while (child.state() != QProcess::NotRunning &&
               !output.contains(QStringLiteral("left after every worker")) && !quit.hasExpired()) {
            child.waitForReadyRead(int(std::max<qint64>(1, quit.remainingTime())));
            output += QString::fromUtf8(child.readAllStandardOutput());
        }
        const bool quitInTime = child.state() == QProcess::NotRunning ||
                                output.contains(QStringLiteral("left after every worker"));
        const bool ended = quitInTime && child.waitForFinished(60000);
        output += QString::fromUtf8(child.readAllStandardOutput());
        if (!ended) {
            child.kill();
            child.waitForFinished();
            return QStringLiteral("still running: ") + output;
        }
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
            return QStringLiteral("failed: ") + output + child.readAllStandardError();
        return output;
    }

private slots:
    // No worker waits on a pipe in an item's place: the quit finishes as usual.
    void pipesInPlaceOfItemFilesHoldNoWorker() {
        const QString output = quitChild(false);
        QVERIFY2(output.contains(QStringLiteral("left after every worker")), qPrintable(output));
        QVERIFY(!output.contains(QStringLiteral("A worker is still busy")));
    }

    void aWorkerStuckInTheFileSystemDoesNotHoldTheQuit() {
        QByteArray preferences;
        const QString output = quitChild(true, &preferences);
        QVERIFY2(output.contains(
                     QStringLiteral("⚠️ [Quit] A worker is still busy; leaving without it")),
                 qPrintable(output));
        QVERIFY(!output.contains(QStringLiteral("left after every worker")));
        // What the tear-down wrote into the preferences was written out before leaving.
        QVERIFY2(preferences.contains("written_while_quitting=true"), preferences.constData());
    }
};

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (qEnvironmentVariableIsSet(childVariable))
        return runChild();
    WorkerDrainTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WorkerDrainTest.moc"
