#include "window/ItemCard.h"

#include "analysis/PerceivedText.h"
#include "app/DailyKippet.h"
#include "model/Kippet.h"
#include "model/Utf8.h"
#include "platform/Animations.h"
#include "ui/PointerHover.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "window/CardHoverButton.h"
#include "window/ThumbnailCache.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEnterEvent>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QTextLayout>
#include <QVariantAnimation>

using Theme::TextStyle;

namespace {
constexpr qreal padding = 12;
constexpr qreal cornerRadius = 10;
constexpr qreal thumbnailRadius = 8;
constexpr qreal listThumbnailWidth = 140;
constexpr qreal listThumbnailHeight = 96;
constexpr int buttonSpacing = 8;
constexpr int hoverAnimationMs = 150;
constexpr int pulseMs = 1600;

// The platform's named colours, fixed.
const QColor orange(255, 149, 0);
const QColor indigo(88, 86, 214);
const QColor green(52, 199, 89);
const QColor blue(0, 122, 255);
const QColor pink(255, 45, 85);
const QColor purple(175, 82, 222);
const QColor gray(142, 142, 147);

struct TypeLook {
    QLatin1StringView titleSymbol;
    QLatin1StringView placeholderSymbol;
    QColor accent;
    QColor gradientColor;
    qreal startOpacity;
    qreal endOpacity;
};

TypeLook lookOf(KippetItemType type) {
    switch (type) {
    case KippetItemType::file:
        return {SymbolNames::docFill, SymbolNames::docFill, orange, orange, 0.35, 0.10};
    case KippetItemType::text:
        return {SymbolNames::textAlignleft, SymbolNames::textAlignleft, indigo, indigo, 0.40, 0.10};
    case KippetItemType::url:
        return {SymbolNames::link, SymbolNames::link, green, green, 0.35, 0.10};
    case KippetItemType::image:
        return {SymbolNames::photo, SymbolNames::photoFill, Qt::white, blue, 0.35, 0.10};
    case KippetItemType::color:
        return {
            SymbolNames::paintpaletteFill, SymbolNames::paintpaletteFill, pink, pink, 0.40, 0.12};
    case KippetItemType::note:
        return {SymbolNames::noteText, SymbolNames::noteText, indigo, indigo, 0.40, 0.10};
    case KippetItemType::code:
        return {SymbolNames::chevronLeftForwardslashChevronRight,
                SymbolNames::chevronLeftForwardslashChevronRight,
                purple,
                purple,
                0.40,
                0.12};
    case KippetItemType::unknown:
        break;
    }
    return {SymbolNames::questionmarkCircleFill,
            SymbolNames::questionmarkCircleFill,
            gray,
            gray,
            0.35,
            0.12};
}

QColor withOpacity(QColor colour, qreal opacity) {
    colour.setAlphaF(static_cast<float>(colour.alphaF() * opacity));
    return colour;
}

QFont footnote() {
    QFont font = Theme::font(TextStyle::caption);
    font.setPixelSize(11);
    return font;
}

// The text cut to at most `maxLines` lines of the width, the last one ending in an ellipsis when
// text is left over.
QStringList elidedLines(QString text, const QFont& font, qreal width, int maxLines) {
    QStringList lines;
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    if (text.isEmpty() || width <= 0)
        return lines;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const QFontMetricsF metrics(font);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        const qsizetype end = line.textStart() + line.textLength();
        QString shown = text.mid(line.textStart(), line.textLength());
        const bool endsAtBreak = shown.endsWith(QChar::LineSeparator);
        shown.remove(QChar::LineSeparator);
        shown = shown.trimmed();
        if (lines.size() == maxLines - 1 && end < text.size()) {
            // The last line shown: wrapped text fills it up to the ellipsis; a line of its own
            // keeps its text and ends in one.
            QString rest = text.mid(line.textStart());
            rest.replace(QChar::LineSeparator, QLatin1Char(' '));
            const QString last = endsAtBreak ? shown + QChar(0x2026) : rest.trimmed();
            lines.append(metrics.elidedText(last, Qt::ElideRight, width));
            break;
        }
        lines.append(shown);
    }
    layout.endLayout();
    return lines;
}

// A label needs the beginning of a text only: a long one is not decoded whole while painting.
constexpr qsizetype previewBytes = 16 * 1024;

QByteArray textHead(const QByteArray& content) {
    if (content.size() <= previewBytes)
        return content;
    qsizetype end = previewBytes;
    // Back to the start of the character the cut falls in, which is dropped too.
    while (end > 0 && (quint8(content[end - 1]) & 0xC0) == 0x80)
        --end;
    if (end > 0 && quint8(content[end - 1]) >= 0xC0)
        --end;
    return content.left(end);
}

std::optional<QUrl> strictURL(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (text.isEmpty() || !url.isValid())
        return std::nullopt;
    return url;
}
} // namespace

ItemCard::ItemCard(const KippetItem& item, Kippet* kippet, ItemLayoutMode layoutMode,
                   ThumbnailCache* thumbnails, QWidget* parent)
    : QWidget(parent), item_(item), kippet_(kippet), layoutMode_(layoutMode),
      thumbnails_(thumbnails), hover_(this, hoverAnimationMs, QEasingCurve::InOutQuad) {
    if (thumbnails_) {
        picture_ = thumbnails_->picture(item_);
        if (picture_.isNull() && !thumbnails_->isSettled(item_.id))
            connect(thumbnails_, &ThumbnailCache::ready, this, &ItemCard::pictureReady);
    }
    updatePulse();
}

void ItemCard::pictureReady(const QUuid& id) {
    if (id != item_.id || !thumbnails_)
        return;
    disconnect(thumbnails_, &ThumbnailCache::ready, this, &ItemCard::pictureReady);
    picture_ = thumbnails_->picture(item_);
    framedPicture_ = {};
    update();
}

void ItemCard::setItem(const KippetItem& item) {
    if (item == item_)
        return;
    const bool textChanged = item.displayTitle() != item_.displayTitle() ||
                             item.metadata.aiDescription != item_.metadata.aiDescription;
    item_ = item;
    if (textChanged)
        texts_ = {};
    updatePulse();
    update();
}

void ItemCard::setLayoutMode(ItemLayoutMode layoutMode) {
    if (std::exchange(layoutMode_, layoutMode) == layoutMode)
        return;
    texts_ = {};
    framedPicture_ = {};
    placeHoverButtons();
    update();
}

qreal ItemCard::thumbnailHeight(qreal offeredHeight) {
    const qreal scaled = offeredHeight * 0.4;
    return offeredHeight > 1 && scaled > 80 ? scaled : 80;
}

std::optional<QUrl> ItemCard::linkURL(const KippetItem& item) {
    if (item.metadata.urlString) {
        if (std::optional<QUrl> url = strictURL(*item.metadata.urlString))
            return url;
    }
    if (const std::optional<QString> text = decodeUtf8(item.content))
        return strictURL(*text);
    return std::nullopt;
}

std::optional<QString> ItemCard::previewLabel(const KippetItem& item) {
    if (item.metadata.fileExtension && !item.metadata.fileExtension->isEmpty())
        return item.metadata.fileExtension->toUpper();
    if (item.type == KippetItemType::text || item.type == KippetItemType::note) {
        const std::optional<QString> text = decodeUtf8(textHead(item.content));
        if (!text)
            return std::nullopt;
        QString trimmed = text->trimmed();
        if (trimmed.isEmpty())
            return std::nullopt;
        static const QRegularExpression whiteSpace(QStringLiteral("\\s+"));
        trimmed.replace(whiteSpace, QStringLiteral(" "));
        return PerceivedText::prefix(trimmed, 18);
    }
    if (item.type == KippetItemType::url) {
        const std::optional<QUrl> url = linkURL(item);
        if (!url || url->host().isEmpty())
            return std::nullopt;
        return url->host();
    }
    return std::nullopt;
}

QColor ItemCard::borderColor() const {
    if (!kippet_ || hover_.value() <= 0)
        return Qt::transparent;
    const QColor colour =
        kippet_->isDailyKippet() ? dailyKippetColor() : kippet_->color().toQColor();
    return withOpacity(colour, 0.5 * hover_.value());
}

QStringList ItemCard::titleLines() const {
    return texts().title;
}

QStringList ItemCard::descriptionLines() const {
    return texts().description;
}

QList<CardHoverButton*> ItemCard::hoverButtons() const {
    return buttons_;
}

// Hover.
void ItemCard::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    setHovering(true);
}

void ItemCard::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    setHovering(false);
}

void ItemCard::followPointer() {
    setHovering(PointerHover::isUnderPointer(this));
}

void ItemCard::setHovering(bool hovering) {
    if (std::exchange(isHovering_, hovering) == hovering)
        return;
    if (hovering)
        makeHoverButtons();
    for (CardHoverButton* button : std::as_const(buttons_))
        button->setVisible(hovering && !item_.isProcessing);
    hover_.fadeTo(hovering);
}

// The buttons are made at the first hover: most cards are never pointed at.
void ItemCard::makeHoverButtons() {
    if (!buttons_.isEmpty())
        return;
    const struct {
        QLatin1StringView symbol;
        const char* name;
        void (ItemCard::*signal)(const QUuid&);
    } specs[] = {{SymbolNames::folder, "RevealItemButton", &ItemCard::revealRequested},
                 {SymbolNames::docOnDoc, "CopyItemButton", &ItemCard::copyRequested},
                 {SymbolNames::xmarkCircleFill, "RemoveItemButton", &ItemCard::removeRequested}};
    for (const auto& spec : specs) {
        auto* button = new CardHoverButton(spec.symbol, this);
        button->setObjectName(QString::fromLatin1(spec.name));
        connect(button, &QAbstractButton::clicked, this,
                [this, signal = spec.signal] { emit(this->*signal)(item_.id); });
        buttons_.append(button);
    }
    placeHoverButtons();
}

void ItemCard::placeHoverButtons() {
    if (buttons_.isEmpty())
        return;
    const int side = buttons_.first()->width();
    if (layoutMode_ == ItemLayoutMode::grid) {
        int x = width() - buttonSpacing - (3 * side + 2 * buttonSpacing);
        for (CardHoverButton* button : std::as_const(buttons_)) {
            button->move(x, buttonSpacing);
            x += side + buttonSpacing;
        }
    } else {
        int y = int(padding) + 4;
        for (CardHoverButton* button : std::as_const(buttons_)) {
            button->move(width() - int(padding) - side, y);
            y += side + buttonSpacing;
        }
    }
}

void ItemCard::updatePulse() {
    const bool pulsing = item_.isProcessing && Animations::enabled();
    if (pulsing && !pulseAnimation_) {
        pulseAnimation_ = new QVariantAnimation(this);
        pulseAnimation_->setDuration(pulseMs);
        pulseAnimation_->setKeyValueAt(0, 1.0);
        pulseAnimation_->setKeyValueAt(0.5, 0.4);
        pulseAnimation_->setKeyValueAt(1, 1.0);
        pulseAnimation_->setLoopCount(-1);
        connect(pulseAnimation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            pulse_ = v.toReal();
            update();
        });
    }
    if (pulseAnimation_) {
        if (pulsing)
            pulseAnimation_->start();
        else
            pulseAnimation_->stop();
    }
    pulse_ = 1;
    for (CardHoverButton* button : std::as_const(buttons_))
        button->setVisible(isHovering_ && !item_.isProcessing);
}

void ItemCard::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    framedPicture_ = {};
    placeHoverButtons();
}

// Geometry.
QRectF ItemCard::thumbnailRect() const {
    if (layoutMode_ == ItemLayoutMode::list)
        return {padding, padding, listThumbnailWidth, listThumbnailHeight};
    const qreal width = std::max<qreal>(1, this->width() - 2 * padding);
    return {padding, padding, width, thumbnailHeight(height())};
}

int ItemCard::textLeft() const {
    return layoutMode_ == ItemLayoutMode::list ? int(padding * 2 + listThumbnailWidth)
                                               : int(padding);
}

int ItemCard::textWidth() const {
    if (layoutMode_ == ItemLayoutMode::grid)
        return std::max(1, width() - 2 * int(padding));
    // Room is kept for the buttons, so the text does not move when they appear.
    const int buttons = CardHoverButton::side() + int(padding);
    return std::max(1, width() - textLeft() - int(padding) - buttons);
}

const ItemCard::Texts& ItemCard::texts() const {
    const int width = textWidth();
    if (texts_.width == width)
        return texts_;
    const QFont caption = Theme::font(TextStyle::caption);
    const qreal symbolWidth = QFontMetricsF(caption).height() + 6;
    texts_.width = width;
    texts_.title = elidedLines(item_.displayTitle(), Theme::font(TextStyle::subheadline),
                               width - symbolWidth, 2);
    texts_.description.clear();
    if (item_.metadata.aiDescription) {
        texts_.description = elidedLines(*item_.metadata.aiDescription, footnote(), width,
                                         layoutMode_ == ItemLayoutMode::grid ? 3 : 2);
    }
    texts_.label = previewLabel(item_);
    return texts_;
}

// Painting.
void ItemCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect());
    Theme::paintUltraThinMaterial(painter, bounds, cornerRadius, palette());

    const QRectF frame = thumbnailRect();
    paintThumbnail(painter, frame);
    if (layoutMode_ == ItemLayoutMode::grid) {
        qreal y = paintTitleRow(painter, frame.bottom() + 10);
        if (!texts().description.isEmpty())
            paintLines(painter, texts().description, footnote(), Theme::secondary(palette()),
                       y + 10);
    } else {
        qreal y = paintTitleRow(painter, padding);
        if (!texts().description.isEmpty())
            y = paintLines(painter, texts().description, footnote(), Theme::secondary(palette()),
                           y + 8);
        if (texts().label)
            paintChip(painter, *texts().label, QPointF(textLeft(), y + 8));
    }
    if (hover_.value() > 0) {
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(borderColor(), 2));
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), cornerRadius, cornerRadius);
    }
    if (item_.isProcessing)
        paintProcessingCover(painter);
}

void ItemCard::paintThumbnail(QPainter& painter, const QRectF& frame) const {
    painter.save();
    QPainterPath clip;
    clip.addRoundedRect(frame, thumbnailRadius, thumbnailRadius);
    painter.setClipPath(clip);
    if (picture_.isNull()) {
        paintPlaceholder(painter, frame);
    } else {
        const qreal ratio = devicePixelRatioF();
        const QSize pixels = (frame.size() * ratio).toSize();
        if (framedPicture_.isNull() || framedPicture_.size() != pixels) {
            // Scaled to fill: the picture's middle, cut to the frame's proportions.
            const QSizeF source = picture_.size();
            const qreal scale =
                std::max(pixels.width() / source.width(), pixels.height() / source.height());
            const QSizeF cut(pixels.width() / scale, pixels.height() / scale);
            const QRectF sourceRect(
                QPointF((source.width() - cut.width()) / 2, (source.height() - cut.height()) / 2),
                cut);
            QImage framed = picture_.copy(sourceRect.toAlignedRect())
                                .scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            framedPicture_ = QPixmap::fromImage(std::move(framed));
            framedPicture_.setDevicePixelRatio(ratio);
        }
        painter.drawPixmap(frame.topLeft(), framedPicture_);
        QLinearGradient shade(frame.topLeft(), frame.bottomLeft());
        shade.setColorAt(0, QColor(0, 0, 0, qRound(0.08 * 255)));
        shade.setColorAt(1, QColor(0, 0, 0, qRound(0.02 * 255)));
        painter.fillRect(frame, shade);
    }
    painter.restore();
}

void ItemCard::paintPlaceholder(QPainter& painter, const QRectF& frame) const {
    const TypeLook look = lookOf(item_.type);
    QLinearGradient gradient(frame.topLeft(), frame.bottomRight());
    gradient.setColorAt(0, withOpacity(look.gradientColor, look.startOpacity));
    gradient.setColorAt(1, withOpacity(look.gradientColor, look.endOpacity));
    painter.fillRect(frame, gradient);

    const QPixmap glyph =
        Symbols::pixmap(look.placeholderSymbol, 26, look.accent, devicePixelRatioF());
    const QSizeF glyphSize = glyph.deviceIndependentSize();
    const std::optional<QString>& label = texts().label;
    const QFont font = Theme::font(TextStyle::caption2);
    const QFontMetricsF metrics(font);
    const qreal chipHeight = metrics.height() + 8;
    const qreal stackHeight = glyphSize.height() + (label ? 6 + chipHeight : 0);
    qreal y = frame.center().y() - stackHeight / 2;
    painter.drawPixmap(QPointF(frame.center().x() - glyphSize.width() / 2, y), glyph);
    if (!label)
        return;
    y += glyphSize.height() + 6;
    const qreal maxWidth = frame.width() - 16;
    const QString text = metrics.elidedText(*label, Qt::ElideRight, maxWidth - 16);
    const qreal chipWidth = metrics.horizontalAdvance(text) + 16;
    const QRectF chip(frame.center().x() - chipWidth / 2, y, chipWidth, chipHeight);
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(look.accent, 0.12));
    painter.drawRoundedRect(chip, chipHeight / 2, chipHeight / 2);
    painter.setFont(font);
    painter.setPen(withOpacity(look.accent, 0.8));
    painter.drawText(chip, Qt::AlignCenter, text);
}

qreal ItemCard::paintTitleRow(QPainter& painter, qreal top) const {
    const QFont caption = Theme::font(TextStyle::caption);
    const QFont titleFont = Theme::font(TextStyle::subheadline);
    const QFontMetricsF titleMetrics(titleFont);
    const qreal symbolSide = QFontMetricsF(caption).height();
    const QPixmap glyph = Symbols::pixmap(lookOf(item_.type).titleSymbol, symbolSide / 1.1,
                                          Theme::secondary(palette()), devicePixelRatioF());
    const qreal left = textLeft();
    // The symbol sits on the first line's baseline.
    const qreal baseline = top + titleMetrics.ascent();
    const QSizeF glyphSize = glyph.deviceIndependentSize();
    painter.drawPixmap(QPointF(left, baseline - glyphSize.height() + 1), glyph);
    painter.save();
    painter.translate(glyphSize.width() + 6, 0);
    const qreal bottom =
        paintLines(painter, texts().title, titleFont, Theme::primary(palette()), top);
    painter.restore();
    return std::max(bottom, top + glyphSize.height());
}

qreal ItemCard::paintLines(QPainter& painter, const QStringList& lines, const QFont& font,
                           const QColor& color, qreal top) const {
    const QFontMetricsF metrics(font);
    painter.setFont(font);
    painter.setPen(color);
    qreal y = top;
    for (const QString& line : lines) {
        painter.drawText(QPointF(textLeft(), y + metrics.ascent()), line);
        y += metrics.lineSpacing();
    }
    return y;
}

void ItemCard::paintChip(QPainter& painter, const QString& label, QPointF topLeft) const {
    const QFont font = Theme::font(TextStyle::caption2);
    const QFontMetricsF metrics(font);
    const QString text = metrics.elidedText(label, Qt::ElideRight, textWidth() - 16);
    const QRectF chip(topLeft, QSizeF(metrics.horizontalAdvance(text) + 16, metrics.height() + 8));
    painter.setPen(Qt::NoPen);
    painter.setBrush(withOpacity(Theme::secondary(palette()), 0.12));
    painter.drawRoundedRect(chip, chip.height() / 2, chip.height() / 2);
    painter.setFont(font);
    painter.setPen(Theme::secondary(palette()));
    painter.drawText(chip, Qt::AlignCenter, text);
}

void ItemCard::paintProcessingCover(QPainter& painter) const {
    const QRectF bounds = QRectF(rect());
    QPainterPath shape;
    shape.addRoundedRect(bounds, cornerRadius, cornerRadius);
    painter.fillPath(shape, Theme::ultraThinCover(palette()));
    const QPixmap glyph = Symbols::pixmap(SymbolNames::sparkles, 22, Theme::secondary(palette()),
                                          devicePixelRatioF());
    QRectF target(QPointF(), glyph.deviceIndependentSize());
    target.moveCenter(bounds.center());
    painter.setOpacity(pulse_);
    painter.drawPixmap(target, glyph, QRectF(glyph.rect()));
    painter.setOpacity(1);
}

void ItemCard::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    pressedAt_ = event->position().toPoint();
    secondClick_ = false;
    event->accept();
}

void ItemCard::mouseMoveEvent(QMouseEvent* event) {
    if (!pressedAt_ || !(event->buttons() & Qt::LeftButton))
        return;
    if ((event->position().toPoint() - *pressedAt_).manhattanLength() <
        QApplication::startDragDistance())
        return;
    pressedAt_.reset();
    emit dragRequested(item_.id);
}

void ItemCard::mouseReleaseEvent(QMouseEvent* event) {
    const bool second = std::exchange(secondClick_, false);
    if (event->button() != Qt::LeftButton || !std::exchange(pressedAt_, std::nullopt)) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    // The first click of a double click opened the item already; a second try would only
    // open it, or say why it cannot be opened, once more.
    if (!second && rect().contains(event->position().toPoint()))
        emit clicked(item_.id);
}

void ItemCard::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    // Still a press that can start a drag.
    pressedAt_ = event->position().toPoint();
    secondClick_ = true;
    event->accept();
}

void ItemCard::contextMenuEvent(QContextMenuEvent* event) {
    emit contextMenuRequested(item_.id, event->globalPos());
    event->accept();
}
