#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSizeF>
#include <QUrl>
#include <QWidget>

class PdfPagesView;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedLayout;

// The one window that previews an item's file, titled with its name: a picture, the start of a
// text, the pages of a PDF (drawn by the decoder process, as pictures are), or for anything else
// (and whatever fails to decode) the file's icon, name and size with an "Open" button. Files are
// read and decoded off the GUI thread. Escape and Space close it.
class PreviewWindow : public QWidget {
    Q_OBJECT
public:
    enum class Pane { loading, image, text, pdf, generic };
    // Only the start of a long text is shown.
    static constexpr qint64 maxTextBytes = 1024 * 1024;

    explicit PreviewWindow(QWidget* parent = nullptr);
    ~PreviewWindow() override;

    void showFile(const QUrl& fileUrl);
    QUrl fileUrl() const { return fileUrl_; }
    Pane pane() const { return pane_; }
    QImage image() const { return image_; }
    QString text() const;
    PdfPagesView* pdfPages() const { return pdfPages_; }
    QPushButton* openButton() const { return openButton_; }

signals:
    // The pane for the file is in place (after its bytes were read and decoded).
    void shown();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Loaded;
    static Loaded load(const QString& path, const QString& mimeName);
    void loaded(const Loaded& result, quint64 generation);
    void showGeneric();
    // In place of the file: why a location that can name no file is not shown.
    void showRefusal();
    void scaleImage();

    QUrl fileUrl_;
    Pane pane_ = Pane::loading;
    quint64 generation_ = 0;
    QImage image_;
    QStackedLayout* stack_ = nullptr;
    QLabel* imageLabel_ = nullptr;
    QPlainTextEdit* textView_ = nullptr;
    PdfPagesView* pdfPages_ = nullptr;
    QWidget* generic_ = nullptr;
    QLabel* genericIcon_ = nullptr;
    QLabel* genericName_ = nullptr;
    QLabel* genericSize_ = nullptr;
    QPushButton* openButton_ = nullptr;
};
