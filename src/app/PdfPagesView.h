#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QList>
#include <QSet>
#include <QSizeF>
#include <optional>

// The pages of a PDF as pictures, one column to scroll through. The decoder process draws each
// page (the app never parses a PDF) at the column's width in device pixels, on a worker, the
// pages in sight first; the pictures drawn are kept within a bound. A page the decoder refuses
// ends the showing: the document is treated as a picture that does not decode.
class PdfPagesView : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum class Phase { empty, showing, refused };
    // The pictures kept at once, in bytes; those out of sight go first. Every page comes out of
    // the app's budget of decoded pixels (IsolatedImageDecoder::Settings::pixelBytes, 96 MiB):
    // kept up to the whole of it, they left no room for the next page, which was refused after
    // waiting for it, and none for thumbnails and analysis meanwhile. A quarter of it leaves room
    // for the page next in line and the largest picture analysis looks at (64 MiB).
    static constexpr qint64 keptBytes = 24LL * 1024 * 1024;
    // Pages asked of decoders at once: enough to fill a screen soon, few enough that the page
    // scrolled to is next in line.
    static constexpr int maxDrawing = 2;

    explicit PdfPagesView(QWidget* parent = nullptr);
    ~PdfPagesView() override;

    void setDocument(const QByteArray& pdf, const QList<QSizeF>& pageSizes);
    void clear();

    Phase phase() const { return phase_; }
    int pageCount() const { return int(sizes_.size()); }
    // The page's last picture, null while it has none.
    QImage pagePicture(int page) const;
    // Where the page lies in the viewport, as scrolled now.
    QRect pageRect(int page) const;
    // The bytes of the pictures held now.
    qint64 heldBytes() const { return heldBytes_; }

signals:
    void pageDrawn(int page);
    void refused();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Picture {
        QImage image;
        int width = 0; // the column's width in device pixels it was drawn for
    };

    void layOut();
    // The pages in sight, top to bottom, then the one after them.
    QList<int> wantedPages() const;
    void drawWanted();
    void pageAnswered(quint64 generation, int page, int width, const std::optional<QImage>& image);
    void keepWithinBound();
    int deviceWidth() const;

    Phase phase_ = Phase::empty;
    quint64 generation_ = 0;
    QByteArray pdf_;
    QList<QSizeF> sizes_;
    // Each page's top and height in the column, in pixels of the widget.
    QList<qint64> tops_;
    QList<int> heights_;
    int pageWidth_ = 1;
    QHash<int, Picture> pictures_;
    // Least recently drawn first.
    QList<int> recent_;
    qint64 heldBytes_ = 0;
    QSet<int> drawing_;
};
