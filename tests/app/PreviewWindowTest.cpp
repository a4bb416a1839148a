#include "app/PreviewWindow.h"
#include "analysis/IsolatedImageDecoder.h"
#include "app/PdfPagesView.h"
#include "app/PreviewManager.h"
#include "app/Workspace.h"
#include "support/TestEnvironment.h"
#include "support/TestPdfFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <sys/stat.h>

// The one preview window on real files: pictures (upright), texts (their start), PDF pages (drawn
// by the real decoder program), and the generic pane for anything else or what does not decode.
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

// Waits until the page has a picture drawn for the column as it is now.
bool pageDrawn(PdfPagesView* pages, int page) {
    return QTest::qWaitFor(
        [&] {
            const QImage picture = pages->pagePicture(page);
            return !picture.isNull() &&
                   picture.width() ==
                       int(std::ceil(pages->pageRect(page).width() * pages->devicePixelRatioF()));
        },
        30000);
}

bool mapsQtPdf() {
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6Pdf");
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
        QCOMPARE(window->windowTitle(), QStringLiteral("doc.pdf"));
        QCOMPARE(window->pdfPages()->pageCount(), 2);
        QVERIFY(pageDrawn(window->pdfPages(), 0));
    }

    // The decoder draws each page at the column's width: the pictures hold the pages' colours,
    // the pages in sight come first, and scrolling reaches every page.
    void pdfPagesAreDrawnByTheDecoderAsTheyComeIntoSight() {
        QTemporaryDir dir;
        PreviewManager manager;
        QList<QColor> colours(30, QColor(200, 30, 40));
        colours.last() = QColor(20, 60, 210);
        const QUrl url =
            write(dir, QStringLiteral("long.pdf"), TestPdfFiles::halfFilledPages(colours));
        const int sent = IsolatedImageDecoder::shared()->requestsSent();
        PreviewWindow* window = previewed(manager, url);
        QCOMPARE(window->pane(), PreviewWindow::Pane::pdf);
        PdfPagesView* pages = window->pdfPages();
        QCOMPARE(pages->pageCount(), 30);
        QVERIFY(pageDrawn(pages, 0));
        QVERIFY(IsolatedImageDecoder::shared()->requestsSent() > sent);
        const QImage first = pages->pagePicture(0);
        const QRect rect = pages->pageRect(0);
        QCOMPARE(first.width(), int(std::ceil(rect.width() * pages->devicePixelRatioF())));
        QVERIFY2(first.width() > 300, qPrintable(QString::number(first.width())));
        QCOMPARE(first.pixelColor(first.width() / 4, first.height() / 2), QColor(200, 30, 40));
        QCOMPARE(first.pixelColor(first.width() * 3 / 4, first.height() / 2), QColor(Qt::white));
        // The window shows the picture where the page is.
        const QImage shown = pages->viewport()->grab().toImage();
        QCOMPARE(shown.pixelColor(rect.left() + rect.width() / 4, rect.top() + 100),
                 QColor(200, 30, 40));
        // Pages far out of sight are not drawn until they come into it.
        QVERIFY(pages->pagePicture(29).isNull());

        pages->verticalScrollBar()->setValue(pages->verticalScrollBar()->maximum());
        QVERIFY(pageDrawn(pages, 29));
        const QImage last = pages->pagePicture(29);
        QCOMPARE(last.pixelColor(last.width() / 4, last.height() / 2), QColor(20, 60, 210));
        QVERIFY(pages->heldBytes() <= PdfPagesView::keptBytes);

        // A wider window gets the pages drawn again at its width.
        const int narrower = pages->pageRect(29).width();
        window->resize(window->width() + 200, window->height());
        QVERIFY(QTest::qWaitFor([&] { return pages->pageRect(29).width() > narrower; }, 10000));
        pages->verticalScrollBar()->setValue(pages->verticalScrollBar()->maximum());
        QVERIFY(pageDrawn(pages, 29));
        QCOMPARE(pages->pagePicture(29).width(),
                 int(std::ceil(pages->pageRect(29).width() * pages->devicePixelRatioF())));
    }

    // Scrolled page after page through more pages than the app's pixel budget holds at once, the
    // preview shows every one: the pages out of sight make room for those coming into it, and
    // leave room for the app's other pictures meanwhile.
    void aLongPdfShowsEveryPageWithinThePixelBudget() {
        QTemporaryDir dir;
        PreviewManager manager;
        QList<QColor> colours(50, QColor(200, 30, 40));
        colours.last() = QColor(20, 60, 210);
        PreviewWindow* window = previewed(manager, write(dir, QStringLiteral("long.pdf"),
                                                         TestPdfFiles::halfFilledPages(colours)));
        QCOMPARE(window->pane(), PreviewWindow::Pane::pdf);
        PdfPagesView* pages = window->pdfPages();
        const PixelBudget& budget = IsolatedImageDecoder::shared()->pixels();
        QVERIFY(pageDrawn(pages, 0));
        qint64 drawn = pages->pagePicture(0).sizeInBytes();
        for (int page = 1; page < pages->pageCount(); ++page) {
            QScrollBar* bar = pages->verticalScrollBar();
            bar->setValue(bar->value() + pages->pageRect(page).top());
            QVERIFY2(pageDrawn(pages, page), qPrintable(QStringLiteral("page %1").arg(page + 1)));
            drawn += pages->pagePicture(page).sizeInBytes();
            QCOMPARE(pages->phase(), PdfPagesView::Phase::showing);
        }
        QVERIFY2(drawn > budget.bytes(), qPrintable(QString::number(drawn)));
        const QImage last = pages->pagePicture(49);
        QCOMPARE(last.pixelColor(last.width() / 4, last.height() / 2), QColor(20, 60, 210));
        QVERIFY(pages->heldBytes() <= PdfPagesView::keptBytes);
        // Room is left for the largest picture analysis looks at.
        QVERIFY(budget.held() + 4096LL * 4096 * 4 <= budget.bytes());
    }

    // A PDF whose pages each draw millions of shapes from a few megabytes is shown as a picture
    // that does not decode, refused by the decoder's budget however long a busy machine makes
    // that take; the window answers all along.
    void aPdfPastTheBudgetGetsTheGenericPaneAndTheWindowAnswersMeanwhile() {
        IsolatedImageDecoder::Settings settings;
        settings.program = IsolatedImageDecoder::defaultProgram();
        settings.limits.cpu = std::chrono::seconds(2);
        settings.limits.wall = std::chrono::seconds(6);
        const auto previous = IsolatedImageDecoder::shared();
        IsolatedImageDecoder::install(std::make_shared<IsolatedImageDecoder>(settings));
        QTemporaryDir dir;
        PreviewManager manager;
        const QByteArray bomb = TestPdfFiles::manyShapes(200, 400LL * 1024 * 1024);
        const QUrl url = write(dir, QStringLiteral("bomb.pdf"), bomb);
        LogCapture log;
        QElapsedTimer timer;
        timer.start();
        manager.preview(url);
        PreviewWindow* window = manager.window();
        qint64 longestGap = 0;
        QElapsedTimer gap;
        gap.start();
        while (window->pane() != PreviewWindow::Pane::generic && timer.elapsed() < 120000) {
            QTest::qWait(10);
            longestGap = std::max(longestGap, gap.restart());
        }
        const qint64 spent = timer.elapsed();
        IsolatedImageDecoder::install(previous);
        QCOMPARE(window->pane(), PreviewWindow::Pane::generic);
        QVERIFY2(
            log.contains(QStringLiteral("⚠️ [ImageDecoder] Refused a picture of %1 bytes: ")
                             .arg(bomb.size())) &&
                !log.contains(QStringLiteral("no answer within")),
            qPrintable(log.lines().join(u'\n')));
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("PreviewFileName"))->text(),
                 QStringLiteral("bomb.pdf"));
        QVERIFY(window->openButton()->isVisibleTo(window));
        // Never held for the decode: a window that waited for it would miss one turn as long as
        // the whole wait.
        QVERIFY2(longestGap < std::max<qint64>(1500, spent / 2),
                 qPrintable(QStringLiteral("%1 ms of %2").arg(longestGap).arg(spent)));
    }

    // The app never loads Qt PDF: not after a PDF was previewed in this process, and not as a
    // library the app program needs.
    void theAppHasNoQtPdf() {
        QTemporaryDir dir;
        PreviewManager manager;
        PreviewWindow* window = previewed(manager, writePdf(dir, QStringLiteral("doc.pdf")));
        QCOMPARE(window->pane(), PreviewWindow::Pane::pdf);
        QVERIFY(pageDrawn(window->pdfPages(), 0));
        QVERIFY(!mapsQtPdf());

        QProcess ldd;
        ldd.start(QStringLiteral("ldd"), {QStringLiteral(KIPPETS_APP_PATH)});
        QVERIFY(ldd.waitForFinished(60000));
        const QByteArray needed = ldd.readAllStandardOutput();
        QVERIFY2(needed.contains("libQt6Widgets"), needed.constData());
        QVERIFY2(!needed.contains("libQt6Pdf"), needed.constData());
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
