#include "onboarding/ViewModePreview.h"

#include "onboarding/TourStyle.h"
#include "platform/Animations.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>
#include <algorithm>
#include <cmath>

using Theme::Named;
using Theme::TextStyle;
using Piece = ViewModePreview::Piece;

namespace {
// The platform's standard padding and row spacing, as the mocks' headers use them.
constexpr qreal standardPadding = 16;
constexpr qreal rowSpacing = 8;
constexpr qreal gridColumnSpacing = 8;
constexpr qreal mockRadius = 25;
constexpr qreal captionGap = 8;

qreal symbolSide(qreal points) {
    return points * 1.1;
}

qreal pointsOf(TextStyle style) {
    return Theme::font(style).pixelSize();
}

// Works out the pieces of one mock, top to bottom, inside the area the widget gives it.
class SceneBuilder {
public:
    SceneBuilder(const QPalette& palette, const QRectF& area) : palette_(palette), area_(area) {}

    QList<Piece> build(KippetViewMode mode) {
        switch (mode) {
        case KippetViewMode::mini:
            mini();
            break;
        case KippetViewMode::collapsed:
            collapsed();
            break;
        case KippetViewMode::expanded:
            expanded();
            break;
        }
        return pieces_;
    }

private:
    QColor named(Named name, qreal opacity = 1) const {
        return Theme::withAlpha(Theme::color(name, palette_), opacity);
    }

    void fill(const QRectF& rect, const QBrush& brush, qreal radius,
              const QPen& border = Qt::NoPen) {
        Piece piece;
        piece.kind = Piece::Kind::fill;
        piece.rect = rect;
        piece.brush = brush;
        piece.radius = radius;
        piece.border = border;
        piece.clip = clip_;
        piece.clipRadius = clipRadius_;
        pieces_.append(piece);
    }

    // The text with its box's left edge at x, centred vertically on centreY.
    QRectF text(const QString& content, const QFont& font, const QColor& color, qreal x,
                qreal centreY) {
        const QFontMetricsF metrics(font);
        const QSizeF size(metrics.horizontalAdvance(content), metrics.height());
        Piece piece;
        piece.kind = Piece::Kind::text;
        piece.rect = QRectF(QPointF(x, centreY - size.height() / 2), size);
        piece.content = content;
        piece.brush = color;
        piece.font = font;
        piece.clip = clip_;
        piece.clipRadius = clipRadius_;
        pieces_.append(piece);
        return piece.rect;
    }

    QRectF centredText(const QString& content, const QFont& font, const QColor& color,
                       QPointF centre) {
        const qreal width = QFontMetricsF(font).horizontalAdvance(content);
        return text(content, font, color, centre.x() - width / 2, centre.y());
    }

    QRectF symbol(const QString& name, qreal points, const QColor& color, QPointF centre) {
        const qreal side = symbolSide(points);
        Piece piece;
        piece.kind = Piece::Kind::symbol;
        piece.rect = QRectF(centre.x() - side / 2, centre.y() - side / 2, side, side);
        piece.content = name;
        piece.brush = color;
        piece.clip = clip_;
        piece.clipRadius = clipRadius_;
        pieces_.append(piece);
        return piece.rect;
    }

    qreal captionHeight() const { return QFontMetricsF(Theme::font(TextStyle::caption2)).height(); }

    // The top of a block of the mock's height and the caption, centred in the area.
    qreal blockTop(qreal mockHeight) const {
        return area_.center().y() - (mockHeight + captionGap + captionHeight()) / 2;
    }

    void caption(const QString& content, qreal mockBottom) {
        clip_ = QRectF();
        centredText(content, Theme::font(TextStyle::caption2), named(Named::secondary),
                    QPointF(area_.center().x(), mockBottom + captionGap + captionHeight() / 2));
    }

    void mini() {
        const qreal side = 80;
        const QRectF circle(area_.center().x() - side / 2, blockTop(side), side, side);
        QLinearGradient gradient(circle.topLeft(), circle.bottomRight());
        gradient.setColorAt(0, named(Named::blue));
        gradient.setColorAt(1, named(Named::purple));
        fill(circle, gradient, -1, QPen(Theme::withAlpha(Qt::white, 0.2), 2));
        symbol(SymbolNames::folderFill, 32, Qt::white, circle.center());
        const QRectF badge(circle.center() + QPointF(28 - 10, -28 - 10), QSizeF(20, 20));
        fill(badge, named(Named::red), -1);
        QFont count = Theme::font(TextStyle::caption2);
        count.setBold(true);
        centredText(QStringLiteral("3"), count, Qt::white, badge.center());
        caption(QStringLiteral("80 × 80 pixels"), circle.bottom());
    }

    // The header row's contents, from the left edge in; returns nothing.
    void header(const QRectF& box, bool large) {
        fill(box, palette_.color(QPalette::Base), 0);
        const qreal centreY = box.center().y();
        qreal x = box.left() + standardPadding;
        const qreal folderPoints = pointsOf(large ? TextStyle::title2 : TextStyle::title3);
        x = symbol(SymbolNames::folderFill, folderPoints, named(Named::blue),
                   QPointF(x + symbolSide(folderPoints) / 2, centreY))
                .right() +
            rowSpacing;
        QFont name = Theme::font(large ? TextStyle::title3 : TextStyle::headline);
        if (large) {
            name.setBold(true);
        }
        text(QStringLiteral("My Kippet"), name, named(Named::primary), x, centreY);
        const qreal closePoints = pointsOf(TextStyle::caption);
        const QRectF close =
            symbol(SymbolNames::xmark, closePoints, named(Named::secondary),
                   QPointF(box.right() - standardPadding - symbolSide(closePoints) / 2, centreY));
        if (large) {
            const qreal minusPoints = pointsOf(TextStyle::title3);
            symbol(SymbolNames::minusSquare, minusPoints, named(Named::secondary),
                   QPointF(close.left() - 8 - symbolSide(minusPoints) / 2, centreY));
        }
    }

    qreal headerHeight(bool large) const {
        const qreal symbolHeight =
            symbolSide(pointsOf(large ? TextStyle::title2 : TextStyle::title3));
        QFont name = Theme::font(large ? TextStyle::title3 : TextStyle::headline);
        return 2 * standardPadding + qMax(symbolHeight, QFontMetricsF(name).height());
    }

    void divider(qreal y, const QRectF& mock) {
        fill(QRectF(mock.left(), y, mock.width(), 1), named(Named::primary, 0.1), 0);
    }

    // Four action symbols side by side across the row, each stretched to an equal share.
    QList<QRectF> actionSlots(const QRectF& row, qreal height) const {
        const qreal spacing = 12;
        const qreal width = (row.width() - 3 * spacing) / 4;
        QList<QRectF> places;
        for (int i = 0; i < 4; ++i) {
            places.append(QRectF(row.left() + i * (width + spacing), row.top(), width, height));
        }
        return places;
    }

    QRectF mockWindow(qreal width, qreal height) {
        const QRectF mock(area_.center().x() - width / 2, blockTop(height), width, height);
        clip_ = mock;
        clipRadius_ = mockRadius;
        fill(mock, palette_.color(QPalette::Window), mockRadius);
        return mock;
    }

    void collapsed() {
        const QRectF mock = mockWindow(220, 200);
        const qreal headerBottom = mock.top() + headerHeight(false);
        header(QRectF(mock.left(), mock.top(), mock.width(), headerBottom - mock.top()), false);
        divider(headerBottom, mock);
        const QRectF row =
            QRectF(mock.left(), headerBottom + 1, mock.width(), 50).adjusted(12, 12, -12, 12);
        const QList<QRectF> places = actionSlots(row, 50);
        for (int i = 0; i < 4; ++i) {
            fill(places[i], named(Named::secondary, 0.05), 8);
            symbol(ViewModePreview::actionSymbols()[i], pointsOf(TextStyle::title3),
                   named(Named::secondary), places[i].center());
        }
        caption(QStringLiteral("220 × 200 pixels"), mock.bottom());
    }

    void expanded() {
        const QRectF mock = mockWindow(400, 260);
        const qreal headerBottom = mock.top() + headerHeight(true);
        header(QRectF(mock.left(), mock.top(), mock.width(), headerBottom - mock.top()), true);
        divider(headerBottom, mock);

        const qreal iconPoints = pointsOf(TextStyle::title3);
        const qreal barHeight = 24 + symbolSide(iconPoints);
        const QRectF bar(mock.left(), mock.bottom() - barHeight, mock.width(), barHeight);
        const QRectF scrollArea(mock.left(), headerBottom + 1, mock.width(),
                                bar.top() - 1 - headerBottom - 1);
        grid(scrollArea);

        clip_ = mock;
        clipRadius_ = mockRadius;
        divider(bar.top() - 1, mock);
        fill(bar, palette_.color(QPalette::Base), 0);
        const QList<QRectF> places = actionSlots(bar.adjusted(12, 12, -12, -12), bar.height() - 24);
        for (int i = 0; i < 4; ++i) {
            symbol(ViewModePreview::actionSymbols()[i], iconPoints, named(Named::secondary),
                   places[i].center());
        }
        caption(QStringLiteral("600 × 500 pixels (scaled to fit)"), mock.bottom());
    }

    // Six cells in as many columns of at least 80 as fit, scrolled to the top, with the scroll
    // indicator showing how much lies below.
    void grid(const QRectF& scrollArea) {
        clip_ = scrollArea;
        clipRadius_ = 0;
        const QRectF inner = scrollArea.adjusted(12, 12, -12, -12);
        const qreal minimum = 80;
        const int columns =
            qMax(1, static_cast<int>(std::floor((inner.width() + gridColumnSpacing) /
                                                (minimum + gridColumnSpacing))));
        const qreal cellWidth = (inner.width() - gridColumnSpacing * (columns - 1)) / columns;
        const QFont label = Theme::font(TextStyle::caption2);
        const qreal labelHeight = QFontMetricsF(label).height();
        const qreal rowHeight = 80 + 4 + labelHeight;
        const int cells = 6;
        for (int i = 0; i < cells; ++i) {
            const QRectF tile(inner.left() + (i % columns) * (cellWidth + gridColumnSpacing),
                              inner.top() + (i / columns) * (rowHeight + 12), cellWidth, 80);
            fill(tile, named(Named::secondary, 0.1), 8);
            symbol(ViewModePreview::itemSymbols()[i % 6], pointsOf(TextStyle::title2),
                   named(Named::secondary), tile.center());
            centredText(QStringLiteral("Item %1").arg(i + 1), label, named(Named::secondary),
                        QPointF(tile.center().x(), tile.bottom() + 4 + labelHeight / 2));
        }
        const int rows = (cells + columns - 1) / columns;
        const qreal contentHeight = 24 + rows * rowHeight + (rows - 1) * 12;
        if (contentHeight > scrollArea.height()) {
            const qreal track = scrollArea.height() - 4;
            const qreal length = track * scrollArea.height() / contentHeight;
            fill(QRectF(scrollArea.right() - 7, scrollArea.top() + 2, 5, length),
                 named(Named::primary, 0.35), 2.5);
        }
    }

    const QPalette& palette_;
    QRectF area_;
    QRectF clip_;
    qreal clipRadius_ = 0;
    QList<Piece> pieces_;
};

QPainterPath rounded(const QRectF& rect, qreal radius) {
    QPainterPath path;
    if (radius < 0) {
        path.addEllipse(rect);
    } else {
        path.addRoundedRect(rect, radius, radius);
    }
    return path;
}

void paintPiece(QPainter& painter, const Piece& piece, qreal ratio) {
    painter.save();
    if (piece.clip.isValid()) {
        painter.setClipPath(rounded(piece.clip, piece.clipRadius));
    }
    switch (piece.kind) {
    case Piece::Kind::fill:
        painter.fillPath(rounded(piece.rect, piece.radius), piece.brush);
        if (piece.border.style() != Qt::NoPen) {
            // Inside the edge, as a stroked border of the shape.
            const qreal inset = piece.border.widthF() / 2;
            const QRectF inner = piece.rect.adjusted(inset, inset, -inset, -inset);
            painter.setPen(piece.border);
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(rounded(inner, piece.radius < 0 ? -1 : piece.radius - inset));
        }
        break;
    case Piece::Kind::text:
        painter.setFont(piece.font);
        painter.setPen(piece.brush.color());
        painter.drawText(piece.rect, Qt::AlignCenter | Qt::TextDontClip, piece.content);
        break;
    case Piece::Kind::symbol:
        painter.drawPixmap(piece.rect.topLeft(),
                           Symbols::pixmapOfSide(piece.content, qRound(piece.rect.width() * ratio),
                                                 piece.brush.color(), ratio));
        break;
    }
    painter.restore();
}
} // namespace

const QStringList& ViewModePreview::actionSymbols() {
    static const QStringList symbols{SymbolNames::docOnClipboard, SymbolNames::noteText,
                                     SymbolNames::squareAndArrowDown, SymbolNames::checklist};
    return symbols;
}

const QStringList& ViewModePreview::itemSymbols() {
    static const QStringList symbols{SymbolNames::docTextFill,
                                     SymbolNames::photoFill,
                                     SymbolNames::link,
                                     SymbolNames::paintpalette,
                                     SymbolNames::chevronLeftForwardslashChevronRight,
                                     SymbolNames::bookmarkFill};
    return symbols;
}

ViewModePreview::ViewModePreview(KippetViewMode mode, QWidget* parent)
    : QWidget(parent), mode_(mode) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(preferredHeight);
}

void ViewModePreview::setMode(KippetViewMode mode, bool animated) {
    if (mode_ == mode) {
        return;
    }
    delete fade_;
    fade_ = nullptr;
    leaving_ = mode_;
    mode_ = mode;
    progress_ = 1;
    if (animated && Animations::enabled() && isVisible()) {
        progress_ = 0;
        fade_ = new QVariantAnimation(this);
        fade_->setStartValue(0.0);
        fade_->setEndValue(1.0);
        fade_->setDuration(TourStyle::durationMs(TourStyle::Spring::step));
        fade_->setEasingCurve(TourStyle::easing(TourStyle::Spring::step));
        connect(fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            progress_ = qBound(0.0, value.toDouble(), 1.0);
            update();
        });
        connect(fade_, &QVariantAnimation::finished, this, [this] {
            fade_->deleteLater();
            fade_ = nullptr;
            leaving_.reset();
        });
        fade_->start();
    } else {
        leaving_.reset();
    }
    update();
}

QList<ViewModePreview::Piece> ViewModePreview::pieces() const {
    return SceneBuilder(palette(), QRectF(rect())).build(mode_);
}

QSize ViewModePreview::sizeHint() const {
    return {440, preferredHeight};
}

QSize ViewModePreview::minimumSizeHint() const {
    return {400, preferredHeight};
}

QImage ViewModePreview::frontLayer(KippetViewMode mode, qreal ratio) const {
    QImage image(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // Given less than its full height, the mock is drawn smaller rather than cut.
    const qreal scale = std::min<qreal>(1, height() / qreal(preferredHeight));
    painter.scale(scale, scale);
    const QRectF area(0, 0, width() / scale, height() / scale);
    for (const Piece& piece : SceneBuilder(palette(), area).build(mode)) {
        paintPiece(painter, piece, ratio);
    }
    return image;
}

void ViewModePreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF backdrop = QRectF(rect());
    const QColor secondary = Theme::color(Named::secondary, palette());
    painter.fillPath(rounded(backdrop, backdropRadius), Theme::withAlpha(secondary, 0.05));
    painter.setPen(QPen(Theme::withAlpha(secondary, 0.1), 1));
    painter.drawPath(rounded(backdrop.adjusted(0.5, 0.5, -0.5, -0.5), backdropRadius - 0.5));

    if (leaving_ && progress_ < 1) {
        paintFront(painter, *leaving_, 1 - progress_);
    }
    paintFront(painter, mode_, progress_);
}

void ViewModePreview::paintFront(QPainter& painter, KippetViewMode mode, qreal opacity) const {
    const qreal ratio = devicePixelRatioF();
    const QImage front = frontLayer(mode, ratio);
    // The shadow: the layer's shape in black at 0.15, softened about 10 points by shrinking it
    // and drawing it back smoothly.
    QImage shadow = front;
    {
        QPainter tint(&shadow);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(shadow.rect(), QColor(0, 0, 0, qRound(255 * 0.15)));
    }
    const QSize small = (shadow.size() / (5 * ratio)).expandedTo(QSize(1, 1));
    const QImage soft = shadow.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    painter.save();
    painter.setOpacity(opacity);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(rect()), soft);
    painter.drawImage(QPointF(0, 0), front);
    painter.restore();
}
