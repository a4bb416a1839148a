#include "app/PreviewWindow.h"

#include "analysis/DecoderProtocol.h"
#include "analysis/IsolatedImageDecoder.h"
#include "analysis/ItemProvider.h"
#include "app/PdfPagesView.h"
#include "app/WindowLevel.h"
#include "app/Workspace.h"
#include "platform/WorkerPool.h"
#include "store/DataFile.h"

#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStackedLayout>
#include <QVBoxLayout>
#include <QtConcurrent>
#include <fcntl.h>

namespace {
// Large enough for a sharp picture on any screen, small enough to keep in memory.
constexpr QSize imageCover(2560, 1600);
} // namespace

struct PreviewWindow::Loaded {
    Pane pane = Pane::generic;
    QImage image;
    QString text;
    QByteArray pdf;
    QList<QSizeF> pageSizes;
};

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("PreviewWindow"));
    WindowLevel::makeModal(this);
    resize(720, 540);
    stack_ = new QStackedLayout(this);

    stack_->addWidget(new QWidget); // while loading
    imageLabel_ = new QLabel;
    imageLabel_->setAlignment(Qt::AlignCenter);
    imageLabel_->setMinimumSize(1, 1);
    stack_->addWidget(imageLabel_);

    textView_ = new QPlainTextEdit;
    textView_->setReadOnly(true);
    // Unwrapped, a long text is laid out only as far as it is shown.
    textView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    textView_->setFocusPolicy(Qt::NoFocus);
    stack_->addWidget(textView_);

    pdfPages_ = new PdfPagesView;
    pdfPages_->setFocusPolicy(Qt::NoFocus);
    stack_->addWidget(pdfPages_);
    // A PDF the decoder gives up on is shown as a picture that does not decode.
    connect(pdfPages_, &PdfPagesView::refused, this, [this] {
        if (pane_ == Pane::pdf)
            showGeneric();
    });

    generic_ = new QWidget;
    auto* column = new QVBoxLayout(generic_);
    column->addStretch(1);
    genericIcon_ = new QLabel;
    genericIcon_->setAlignment(Qt::AlignCenter);
    genericName_ = new QLabel;
    genericName_->setObjectName(QStringLiteral("PreviewFileName"));
    genericName_->setAlignment(Qt::AlignCenter);
    genericName_->setTextFormat(Qt::PlainText);
    QFont nameFont = genericName_->font();
    nameFont.setBold(true);
    genericName_->setFont(nameFont);
    genericSize_ = new QLabel;
    genericSize_->setObjectName(QStringLiteral("PreviewFileSize"));
    genericSize_->setAlignment(Qt::AlignCenter);
    openButton_ = new QPushButton(QStringLiteral("Open"));
    openButton_->setFocusPolicy(Qt::NoFocus);
    connect(openButton_, &QPushButton::clicked, this, [this] {
        if (fileUrl_.isLocalFile())
            Workspace::shared().open(fileUrl_);
    });
    column->addWidget(genericIcon_);
    column->addWidget(genericName_);
    column->addWidget(genericSize_);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(openButton_);
    buttonRow->addStretch(1);
    column->addLayout(buttonRow);
    column->addStretch(1);
    stack_->addWidget(generic_);
}

PreviewWindow::~PreviewWindow() = default;

QString PreviewWindow::text() const {
    return textView_->toPlainText();
}

void PreviewWindow::showFile(const QUrl& fileUrl) {
    fileUrl_ = fileUrl;
    const quint64 generation = ++generation_;
    image_ = QImage();
    // The pages of a document shown before are let go with it.
    pdfPages_->clear();
    // The intake's test of a name that could be a file's: with a control character in it no
    // file is read, and Qt's MIME database (which crashes on some such names) is never asked.
    if (fileUrl.isLocalFile() && !ItemProvider::namesLocalFile(fileUrl)) {
        setWindowTitle(fileUrl.fileName(QUrl::FullyEncoded));
        showRefusal();
        emit shown();
        return;
    }
    setWindowTitle(fileUrl.fileName());
    pane_ = Pane::loading;
    stack_->setCurrentIndex(0);
    const QString path = fileUrl.toLocalFile();
    const QString mimeName = QMimeDatabase().mimeTypeForFile(path).name();
    QPointer<PreviewWindow> self(this);
    auto* watcher = new QFutureWatcher<Loaded>(this);
    connect(watcher, &QFutureWatcher<Loaded>::finished, this, [self, watcher, generation] {
        watcher->deleteLater();
        if (self)
            self->loaded(watcher->result(), generation);
    });
    watcher->setFuture(
        QtConcurrent::run(WorkerPool::shared(), &PreviewWindow::load, path, mimeName));
}

PreviewWindow::Loaded PreviewWindow::load(const QString& path, const QString& mimeName) {
    Loaded result;
    const QMimeType mime = QMimeDatabase().mimeTypeForName(mimeName);
    // A regular file only, opened without waiting: a pipe under the name would hold this worker,
    // and the quit after it, until something wrote to it. A file reference leads where it leads.
    const DataFile opened = DataFile::openAt(AT_FDCWD, path, DataFile::Reach::anywhere);
    QFile file;
    if (!opened.isOpen() ||
        !file.open(opened.descriptor(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return result;
    if (mime.name().startsWith(QLatin1String("image/"))) {
        if (auto image =
                IsolatedImageDecoder::shared()->decodeCovering(file.readAll(), imageCover)) {
            result.pane = Pane::image;
            result.image = std::move(*image);
        }
    } else if (mime.name() == QLatin1String("application/pdf")) {
        // Only the decoder parses it; the app holds its bytes and the pages' sizes.
        const QByteArray pdf = file.read(DecoderProtocol::maxRequestBytes + 1);
        if (pdf.size() <= DecoderProtocol::maxRequestBytes) {
            if (auto sizes = IsolatedImageDecoder::shared()->pdfPageSizes(pdf)) {
                result.pane = Pane::pdf;
                result.pdf = pdf;
                result.pageSizes = std::move(*sizes);
            }
        }
    } else if (mime.inherits(QStringLiteral("text/plain"))) {
        result.pane = Pane::text;
        result.text = QString::fromUtf8(file.read(maxTextBytes));
    }
    return result;
}

void PreviewWindow::loaded(const Loaded& result, quint64 generation) {
    // A file asked for later has the window now.
    if (generation != generation_)
        return;
    pane_ = result.pane;
    switch (result.pane) {
    case Pane::image:
        image_ = result.image;
        scaleImage();
        stack_->setCurrentWidget(imageLabel_);
        break;
    case Pane::text:
        textView_->setPlainText(result.text);
        stack_->setCurrentWidget(textView_);
        break;
    case Pane::pdf:
        stack_->setCurrentWidget(pdfPages_);
        pdfPages_->setDocument(result.pdf, result.pageSizes);
        break;
    default:
        showGeneric();
        break;
    }
    emit shown();
}

void PreviewWindow::showGeneric() {
    pane_ = Pane::generic;
    const QFileInfo info(fileUrl_.toLocalFile());
    genericIcon_->setPixmap(QFileIconProvider().icon(info).pixmap(96, 96));
    genericName_->setText(info.fileName());
    genericSize_->setText(QLocale().formattedDataSize(info.size()));
    openButton_->show();
    stack_->setCurrentWidget(generic_);
}

void PreviewWindow::showRefusal() {
    pane_ = Pane::generic;
    genericIcon_->clear();
    genericName_->setText(QStringLiteral("No file can be shown"));
    genericSize_->setText(QStringLiteral("Its location %1 holds control characters, which no "
                                         "file name has.")
                              .arg(fileUrl_.toString(QUrl::FullyEncoded)));
    openButton_->hide();
    stack_->setCurrentWidget(generic_);
}

void PreviewWindow::scaleImage() {
    if (image_.isNull())
        return;
    const QSize room = imageLabel_->size().boundedTo(image_.size());
    imageLabel_->setPixmap(
        QPixmap::fromImage(image_.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

void PreviewWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Space) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PreviewWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (pane_ == Pane::image)
        scaleImage();
}
