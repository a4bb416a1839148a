#include "app/PreviewWindow.h"
#include "app/PreviewManager.h"
#include "app/Workspace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPageSize>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

// The one preview window on real files: pictures (upright), texts (their start), PDF pages, and
// the generic pane for anything else or what does not decode.
namespace {
QUrl write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return QUrl::fromLocalFile(file.fileName());
}

QUrl writeImage(const QTemporaryDir& dir, const QString& name, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    image.save(dir.filePath(name));
    return QUrl::fromLocalFile(dir.filePath(name));
}

QUrl writePdf(const QTemporaryDir& dir, const QString& name) {
    QPdfWriter writer(dir.filePath(name));
    writer.setPageSize(QPageSize(QPageSize::A5));
    QPainter painter(&writer);
    painter.drawText(QPointF(100, 100), QStringLiteral("Page one"));
    writer.newPage();
    painter.drawText(QPointF(100, 100), QStringLiteral("Page two"));
    painter.end();
    return QUrl::fromLocalFile(dir.filePath(name));
}

// Previews the file and waits until its pane is in place.
PreviewWindow* previewed(PreviewManager& manager, const QUrl& url) {
    manager.preview(url);
    PreviewWindow* window = manager.window();
    if (window->pane() == PreviewWindow::Pane::loading) {
        QSignalSpy shown(window, &PreviewWindow::shown);
        shown.wait(5000);
    }
    return window;
}
} // namespace

class PreviewWindowTest : public QObject {
    Q_OBJECT
private slots:
    void oneWindowShowsEachFileInTurn() {
        QTemporaryDir dir;
        PreviewManager manager;
        const QUrl first = writeImage(dir, QStringLiteral("first.png"), QSize(40, 30));
        const QUrl second = write(dir, QStringLiteral("second.txt"), "hello there");
        PreviewWindow* window = previewed(manager, first);
        QVERIFY(window->isVisible());
        QCOMPARE(window->windowTitle(), QStringLiteral("first.png"));
        QCOMPARE(window->pane(), PreviewWindow::Pane::image);
        QCOMPARE(window->image().size(), QSize(40, 30));

        QCOMPARE(previewed(manager, second), window);
        QCOMPARE(window->windowTitle(), QStringLiteral("second.txt"));
        QCOMPARE(window->pane(), PreviewWindow::Pane::text);
        QCOMPARE(window->text(), QStringLiteral("hello there"));
        QCOMPARE(manager.previewItemCount(), 1);
        QCOMPARE(manager.previewItem(0), std::optional<QUrl>(second));
        QCOMPARE(manager.previewItem(1), std::nullopt);
    }

    void aLongTextShowsItsFirstMebibyte() {
        QTemporaryDir dir;
        PreviewManager manager;
        const QUrl url = write(dir, QStringLiteral("big.txt"), QByteArray(2 * 1024 * 1024, 'a'));
        PreviewWindow* window = previewed(manager, url);
        QCOMPARE(window->pane(), PreviewWindow::Pane::text);
        QCOMPARE(window->text().size(), 1024 * 1024);
    }

    void aPdfShowsItsPages() {
        QTemporaryDir dir;
        PreviewManager manager;
        PreviewWindow* window = previewed(manager, writePdf(dir, QStringLiteral("doc.pdf")));
        QCOMPARE(window->pane(), PreviewWindow::Pane::pdf);
        QCOMPARE(window->pdfDocument()->pageCount(), 2);
        const QImage page = window->pdfDocument()->render(0, QSize(100, 140));
        QVERIFY(!page.isNull());
    }

    void whatDoesNotDecodeGetsTheGenericPaneThatOpensTheFile() {
        QTemporaryDir dir;
        PreviewManager manager;
        Workspace workspace;
        workspace.setRecordingOnly(true);
        Workspace::install(&workspace);
        const QUrl broken = write(dir, QStringLiteral("broken.png"), "\x89PNG not really");
        PreviewWindow* window = previewed(manager, broken);
        QCOMPARE(window->pane(), PreviewWindow::Pane::generic);
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("PreviewFileName"))->text(),
                 QStringLiteral("broken.png"));
        QVERIFY(!window->findChild<QLabel*>(QStringLiteral("PreviewFileSize"))->text().isEmpty());
        QTest::mouseClick(window->openButton(), Qt::LeftButton);
        QCOMPARE(workspace.opened(), QList<QUrl>({broken}));
        QVERIFY(workspace.opened()[0].isLocalFile());

        const QUrl archive = write(dir, QStringLiteral("a.zip"), "PK\x03\x04");
        QCOMPARE(previewed(manager, archive)->pane(), PreviewWindow::Pane::generic);
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("PreviewFileName"))->text(),
                 QStringLiteral("a.zip"));
        Workspace::install(nullptr);
    }

    // A pipe would hold the reading worker until something wrote to it; a folder is no file.
    void aPipeOrAFolderGetsTheGenericPaneAtOnce() {
        QTemporaryDir dir;
        PreviewManager manager;
        const QString pipe = dir.filePath(QStringLiteral("notes.txt"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        const QString folder = dir.filePath(QStringLiteral("picture.png"));
        QVERIFY(QDir().mkdir(folder));
        for (const QString& path : {pipe, folder}) {
            PreviewWindow* window = previewed(manager, QUrl::fromLocalFile(path));
            QCOMPARE(window->pane(), PreviewWindow::Pane::generic);
            QCOMPARE(window->findChild<QLabel*>(QStringLiteral("PreviewFileName"))->text(),
                     QFileInfo(path).fileName());
        }
    }

    // A location with NUL characters in its name (an old legacy file can hold one) names no
    // file: the window says so and asks nothing of the MIME database, which crashes on it.
    void aLocationThatNamesNoFileIsRefusedInTheWindow() {
        QTemporaryDir dir;
        PreviewManager manager;
        PreviewWindow* window = previewed(manager, QUrl(QStringLiteral("file:///data/p.%00%00.f")));
        QCOMPARE(window->pane(), PreviewWindow::Pane::generic);
        QCOMPARE(window->windowTitle(), QStringLiteral("p.%00%00.f"));
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("PreviewFileName"))->text(),
                 QStringLiteral("No file can be shown"));
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("PreviewFileSize"))->text(),
                 QStringLiteral("Its location file:///data/p.%00%00.f holds control characters, "
                                "which no file name has."));
        QVERIFY(!window->openButton()->isVisibleTo(window));
        // The next file gets its pane and its button back.
        window = previewed(manager, write(dir, QStringLiteral("a.zip"), "PK"));
        QCOMPARE(window->pane(), PreviewWindow::Pane::generic);
        QVERIFY(window->openButton()->isVisibleTo(window));
    }

    void escapeAndSpaceClose() {
        QTemporaryDir dir;
        PreviewManager manager;
        const QUrl url = write(dir, QStringLiteral("note.txt"), "x");
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Space}) {
            PreviewWindow* window = previewed(manager, url);
            QVERIFY(window->isVisible());
            QTest::keyClick(window, key);
            QVERIFY(!window->isVisible());
        }
    }
};

QTEST_MAIN(PreviewWindowTest)
#include "PreviewWindowTest.moc"
