#include "app/PdfPagesView.h"

#include "analysis/IsolatedImageDecoder.h"
#include "platform/WorkerPool.h"

#include <QFutureWatcher>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QtConcurrent>
#include <algorithm>
#include <climits>
#include <cmath>

namespace {
constexpr int margin = 8;
constexpr int spacing = 8;
// A page far taller or wider than any paper is shown as if it were a strip of this shape, so that
// one odd page cannot make the column longer than a scroll bar reaches.
constexpr double maxAspect = 20.0;
} // namespace

PdfPagesView::PdfPagesView(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("PdfPagesView"));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setSingleStep(20);
}

PdfPagesView::~PdfPagesView() = default;

void PdfPagesView::setDocument(const QByteArray& pdf, const QList<QSizeF>& pageSizes) {
    clear();
    pdf_ = pdf;
    sizes_ = pageSizes;
    phase_ = sizes_.isEmpty() ? Phase::empty : Phase::showing;
    layOut();
    verticalScrollBar()->setValue(0);
    drawWanted();
}

void PdfPagesView::clear() {
    // Pages still on their way belong to the document before: their answers are dropped.
    ++generation_;
    phase_ = Phase::empty;
    pdf_.clear();
    sizes_.clear();
    tops_.clear();
    heights_.clear();
    pictures_.clear();
    recent_.clear();
    heldBytes_ = 0;
    drawing_.clear();
    layOut();
    viewport()->update();
}

QImage PdfPagesView::pagePicture(int page) const {
    return pictures_.value(page).image;
}

QRect PdfPagesView::pageRect(int page) const {
    if (page < 0 || page >= tops_.size())
        return {};
    const qint64 top = tops_[page] - verticalScrollBar()->value();
    return QRect(margin, int(std::clamp<qint64>(top, INT_MIN / 2, INT_MAX / 2)), pageWidth_,
                 heights_[page]);
}

int PdfPagesView::deviceWidth() const {
    return std::max(1, int(std::ceil(pageWidth_ * devicePixelRatioF())));
}

void PdfPagesView::layOut() {
    // The page at the top of the view stays there, as far into it as it was, at any width.
    QScrollBar* bar = verticalScrollBar();
    int anchor = -1;
    double into = 0;
    if (!tops_.isEmpty()) {
        anchor =
            std::max(0, int(std::upper_bound(tops_.begin(), tops_.end(), qint64(bar->value())) -
                            tops_.begin()) -
                            1);
        into = double(bar->value() - tops_[anchor]) / heights_[anchor];
    }
    pageWidth_ = std::max(1, viewport()->width() - 2 * margin);
    tops_.resize(sizes_.size());
    heights_.resize(sizes_.size());
    qint64 top = margin;
    for (qsizetype page = 0; page < sizes_.size(); ++page) {
        const QSizeF size = sizes_[page];
        const double aspect = std::clamp(size.height() / size.width(), 1.0 / maxAspect, maxAspect);
        tops_[page] = top;
        heights_[page] = std::max(1, int(std::lround(pageWidth_ * aspect)));
        top += heights_[page] + spacing;
    }
    const qint64 length = sizes_.isEmpty() ? 0 : top - spacing + margin;
    bar->setPageStep(viewport()->height());
    bar->setRange(0, int(std::clamp<qint64>(length - viewport()->height(), 0, INT_MAX)));
    if (anchor >= 0 && anchor < tops_.size()) {
        bar->setValue(int(
            std::clamp<qint64>(tops_[anchor] + std::llround(into * heights_[anchor]), 0, INT_MAX)));
    }
}

QList<int> PdfPagesView::wantedPages() const {
    QList<int> wanted;
    if (tops_.isEmpty())
        return wanted;
    const qint64 top = verticalScrollBar()->value();
    const qint64 bottom = top + viewport()->height();
    // The first page whose bottom is below the top of the view.
    int page = int(std::upper_bound(tops_.begin(), tops_.end(), top) - tops_.begin()) - 1;
    page = std::max(page, 0);
    for (; page < tops_.size() && tops_[page] < bottom; ++page) {
        if (tops_[page] + heights_[page] > top)
            wanted.append(page);
    }
    // The next page, so that scrolling on finds it drawn.
    if (page < tops_.size())
        wanted.append(page);
    return wanted;
}

void PdfPagesView::drawWanted() {
    if (phase_ != Phase::showing)
        return;
    const int width = deviceWidth();
    const qreal ratio = devicePixelRatioF();
    for (const int page : wantedPages()) {
        if (drawing_.size() >= maxDrawing)
            return;
        if (drawing_.contains(page) || pictures_.value(page).width == width)
            continue;
        drawing_.insert(page);
        // Room for the page's own shape: the decoder fits it within, never beyond.
        const QSize bound(width, int(std::ceil(heights_[page] * ratio)) + 1);
        const quint64 generation = generation_;
        auto* watcher = new QFutureWatcher<std::optional<QImage>>(this);
        connect(watcher, &QFutureWatcher<std::optional<QImage>>::finished, this,
                [this, watcher, generation, page, width] {
                    watcher->deleteLater();
                    pageAnswered(generation, page, width, watcher->result());
                });
        watcher->setFuture(QtConcurrent::run(
            WorkerPool::shared(), [decoder = IsolatedImageDecoder::shared(), pdf = pdf_, page,
                                   bound] { return decoder->renderPdfPage(pdf, page, bound); }));
    }
}

void PdfPagesView::pageAnswered(quint64 generation, int page, int width,
                                const std::optional<QImage>& image) {
    if (generation != generation_)
        return;
    drawing_.remove(page);
    if (phase_ != Phase::showing)
        return;
    if (!image) {
        phase_ = Phase::refused;
        pictures_.clear();
        recent_.clear();
        heldBytes_ = 0;
        emit refused();
        return;
    }
    heldBytes_ -= pictures_.value(page).image.sizeInBytes();
    pictures_.insert(page, {*image, width});
    heldBytes_ += image->sizeInBytes();
    recent_.removeOne(page);
    recent_.append(page);
    keepWithinBound();
    viewport()->update(pageRect(page));
    emit pageDrawn(page);
    drawWanted();
}

void PdfPagesView::keepWithinBound() {
    const QList<int> wanted = wantedPages();
    for (qsizetype index = 0; heldBytes_ > keptBytes && index < recent_.size();) {
        const int page = recent_[index];
        if (wanted.contains(page)) {
            ++index;
            continue;
        }
        heldBytes_ -= pictures_.take(page).image.sizeInBytes();
        recent_.removeAt(index);
    }
}

void PdfPagesView::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().brush(QPalette::Dark));
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (const int page : wantedPages()) {
        const QRect rect = pageRect(page);
        if (!rect.intersects(event->rect()))
            continue;
        const auto found = pictures_.constFind(page);
        if (found == pictures_.constEnd()) {
            painter.fillRect(rect, Qt::white);
        } else {
            painter.drawImage(rect, found->image);
        }
    }
}

void PdfPagesView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    layOut();
    drawWanted();
}

void PdfPagesView::scrollContentsBy(int, int) {
    viewport()->update();
    drawWanted();
}
