#include "tuck/TuckSingleView.h"

#include "app/DailyKippet.h"
#include "model/Kippet.h"
#include "platform/Animations.h"
#include "platform/ClockAnimation.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "tuck/TuckIntake.h"
#include "tuck/TuckSingleBorderShape.h"
#include "tuck/TuckSingleContextMenu.h"
#include "tuck/TuckSingleShadow.h"
#include "tuck/TuckSpring.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QHash>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <cmath>
#include <numbers>

namespace {
// The symbol's strokes are 16 units of a 256-unit grid; semibold strokes are about a third
// heavier, 21.5 units, so the outline grows by 2.75 units on every side.
constexpr qreal semiboldGrowth = 2.75 / 256;
// How much finer than the screen's pixels the heavier outline is worked out: the growth is a
// fraction of a pixel at 14 points.
constexpr int supersample = 16;

// The symbol's coverage at semibold: the bundled set has one weight per symbol, so its drawing
// is made heavier by pushing every outline out by the difference in stroke, as the largest
// coverage of copies moved within a small disc (which grows strokes evenly whatever their
// direction), worked out at a finer grid and averaged down. Cached per symbol and size: the
// colour is laid on afterwards.
QImage semiboldCoverage(const QString& name, int side) {
    static QHash<QString, QImage> cache;
    const QString key = name + u'/' + QString::number(side);
    if (const auto found = cache.constFind(key); found != cache.constEnd())
        return *found;
    const int fine = side * supersample;
    const QImage regular = Symbols::pixmapOfSide(name, fine, Qt::white, 1, SymbolRole::kippetIcon)
                               .toImage()
                               .convertToFormat(QImage::Format_Alpha8);
    const qreal reach = semiboldGrowth * fine;
    const int steps = int(std::floor(reach));
    QImage heavier = regular;
    for (int dy = -steps; dy <= steps; ++dy) {
        for (int dx = -steps; dx <= steps; ++dx) {
            if ((dx == 0 && dy == 0) || dx * dx + dy * dy > reach * reach)
                continue;
            for (int y = std::max(0, dy); y < std::min(fine, fine + dy); ++y) {
                uchar* into = heavier.scanLine(y);
                const uchar* from = regular.constScanLine(y - dy);
                for (int x = std::max(0, dx); x < std::min(fine, fine + dx); ++x)
                    into[x] = std::max(into[x], from[x - dx]);
            }
        }
    }
    const QImage coverage =
        heavier.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_Alpha8);
    // Sizes the spring passes through and a few symbols; a change of icon starts again.
    if (cache.size() > 64)
        cache.clear();
    cache.insert(key, coverage);
    return coverage;
}

QPixmap semiboldSymbol(const QString& name, const QColor& color, int side, qreal devicePixelRatio) {
    const QString key = QStringLiteral("kippets-tab-symbol/") + name + u'/' +
                        QString::number(side) + u'/' + QString::number(color.rgba(), 16);
    QPixmap result;
    if (QPixmapCache::find(key, &result))
        return result;
    const QImage coverage = semiboldCoverage(name, side);
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < side; ++y) {
        const uchar* from = coverage.constScanLine(y);
        auto* into = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < side; ++x)
            into[x] = qPremultiply(
                qRgba(color.red(), color.green(), color.blue(), from[x] * color.alpha() / 255));
    }
    result = QPixmap::fromImage(std::move(image));
    result.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, result);
    return result;
}
} // namespace

TuckSingleView::TuckSingleView(Kippet* kippet, ScreenEdge initialEdge, qreal cornerRadius,
                               QWidget* parent)
    : QWidget(parent), kippet_(kippet), kippetId_(kippet->id()), cornerRadius_(cornerRadius),
      currentEdge_(initialEdge), selection_(new ClockAnimation(this)),
      iconSpring_(new TuckSpring(iconSpringResponse, iconSpringDamping, 1.0, this)) {
    connect(selection_, &ClockAnimation::valueChanged, this, qOverload<>(&QWidget::update));
    connect(iconSpring_, &TuckSpring::valueChanged, this, qOverload<>(&QWidget::update));
    setAttribute(Qt::WA_TranslucentBackground);
    setAcceptDrops(true);
    setFocusPolicy(Qt::NoFocus);
    updateNames();
    observe();
}

void TuckSingleView::observe() {
    NotificationCenter& center = NotificationCenter::shared();
    const QVariant id = QVariant::fromValue(kippetId_);
    center.observe(NotificationName::tuckSingleEdgeChanged, UserInfoKey::kippetId, id, this,
                   [this](const NotificationCenter::Notification& notification) {
                       const QVariant kippetId = notification.userInfo.value(UserInfoKey::kippetId);
                       const QVariant raw = notification.userInfo.value(UserInfoKey::edge);
                       if (kippetId.typeId() != QMetaType::QUuid ||
                           kippetId.toUuid() != kippetId_ || raw.typeId() != QMetaType::QString)
                           return;
                       if (const std::optional<ScreenEdge> edge =
                               screenEdgeFromRaw(raw.toString())) {
                           currentEdge_ = *edge;
                           update();
                           emit shadowChanged();
                       }
                   });
    center.observe(NotificationName::tuckSingleSelectionChanged, UserInfoKey::kippetId, id, this,
                   [this](const NotificationCenter::Notification& notification) {
                       const QVariant kippetId = notification.userInfo.value(UserInfoKey::kippetId);
                       const QVariant selected =
                           notification.userInfo.value(UserInfoKey::isSelected);
                       if (kippetId.typeId() != QMetaType::QUuid ||
                           kippetId.toUuid() != kippetId_ || selected.typeId() != QMetaType::Bool)
                           return;
                       setSelected(selected.toBool());
                   });
    connect(&Preferences::shared(), &Preferences::changed, this, [this](const QString& key) {
        if (key == cutoutKey || key == monochromeKey)
            update();
        if (key == cutoutKey)
            emit shadowChanged();
    });
    if (!kippet_)
        return;
    connect(kippet_, &Kippet::nameChanged, this, &TuckSingleView::updateNames);
    connect(kippet_, &Kippet::colorChanged, this, &TuckSingleView::kippetColorChanged);
    connect(kippet_, &Kippet::iconChanged, this, qOverload<>(&QWidget::update));
    connect(kippet_, &Kippet::isDailyKippetChanged, this, &TuckSingleView::kippetColorChanged);
}

void TuckSingleView::kippetColorChanged() {
    update();
    emit shadowChanged();
}

void TuckSingleView::setSelected(bool selected) {
    if (selected == isSelected_)
        return;
    isSelected_ = selected;
    selection_->animateTo(selected ? 1 : 0, selectionDuration, Animations::easeInOut());
    iconSpring_->setTarget(selected ? selectedIconScale : 1.0);
    update();
}

void TuckSingleView::updateNames() {
    if (!kippet_)
        return;
    setObjectName(QStringLiteral("TuckSinglePullTab-") + kippet_->name());
    setAccessibleName(QStringLiteral("Tucked kippet: ") + kippet_->name());
}

// ---- what is drawn ----

bool TuckSingleView::isCutout() const {
    return Preferences::shared().boolOr(cutoutKey, false);
}

QColor TuckSingleView::kippetColor() const {
    if (!kippet_)
        return Qt::gray;
    return kippet_->isDailyKippet() ? dailyKippetColor() : kippet_->color().toQColor();
}

qreal TuckSingleView::selectionShown() const {
    return selection_->value();
}

qreal TuckSingleView::iconScale() const {
    return iconSpring_->value();
}

QColor TuckSingleView::iconColor() const {
    const bool monochrome = Preferences::shared().boolOr(monochromeKey, true);
    if (isCutout() && monochrome)
        return Theme::mix(Qt::white, kippetColor(), selectionShown());
    return kippetColor();
}

qreal TuckSingleView::borderWidth() const {
    if (isDraggingOver_)
        return dropBorderWidth;
    return selectionShown() > 0 ? selectedBorderWidth : 0;
}

QColor TuckSingleView::borderColor() const {
    QColor color = kippetColor();
    // A hovering drop shows the border whole at once; the selection's border fades in and out.
    if (!isDraggingOver_)
        color.setAlphaF(color.alphaF() * 0.7 * selectionShown());
    return color;
}

void TuckSingleView::paintShadow(QPainter& painter, QPointF topLeft) const {
    if (isCutout())
        return;
    const QColor color = kippetColor();
    const qreal ratio = painter.device()->devicePixelRatioF();
    const QString key = rawValue(currentEdge_) + u'/' + QString::number(color.rgba(), 16) + u'/' +
                        QString::number(width()) + u'x' + QString::number(height()) + u'/' +
                        QString::number(ratio);
    if (key != shadowKey_) {
        const QPainterPath fill =
            TuckSingleBorderShape::fill(QRectF(rect()), cornerRadius_, currentEdge_);
        TuckSingleShadow::Image shadow = TuckSingleShadow::render(fill, currentEdge_, color, ratio);
        shadowImage_ = std::move(shadow.image);
        shadowOrigin_ = shadow.origin;
        shadowKey_ = key;
    }
    painter.drawImage(topLeft + shadowOrigin_, shadowImage_);
}

void TuckSingleView::paintEvent(QPaintEvent*) {
    ++paintCount_;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    const QPainterPath fill = TuckSingleBorderShape::fill(bounds, cornerRadius_, currentEdge_);
    if (isCutout()) {
        painter.fillPath(fill, Qt::black);
        Theme::blurBehind(this, {});
    } else {
        Theme::paintWindowMaterial(painter, this, fill, Theme::Material::ultraThin);
    }
    // Whatever reaches past the tab's outline is cut off, as the panel's rounded mask does.
    painter.setClipPath(fill);

    if (kippet_) {
        // A symbol is about 1.1 times its point size.
        const qreal ratio = devicePixelRatioF();
        const qreal wanted = 1.1 * iconPointSize * iconScale();
        // At rest the icon is drawn pixel for pixel, to stay sharp; while the spring moves it
        // is drawn from a slightly larger drawing at the exact size, so that it grows smoothly.
        const bool moving = iconSpring_->isRunning();
        const int side =
            std::max(1, moving ? int(std::ceil(wanted * ratio)) : qRound(wanted * ratio));
        const QPixmap icon = semiboldSymbol(kippet_->icon(), iconColor(), side, ratio);
        const qreal drawn = moving ? wanted : side / ratio;
        QPointF topLeft = bounds.center() - QPointF(drawn, drawn) / 2;
        if (!moving)
            topLeft =
                QPointF(std::round(topLeft.x() * ratio), std::round(topLeft.y() * ratio)) / ratio;
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(QRectF(topLeft, QSizeF(drawn, drawn)), icon, QRectF(icon.rect()));
    }

    if (const qreal width = borderWidth(); width > 0) {
        QPen pen(borderColor(), width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        pen.setMiterLimit(10);
        painter.strokePath(TuckSingleBorderShape::border(bounds, cornerRadius_, currentEdge_), pen);
    }
}

// ---- the gesture: a click selects, a drag moves the tab ----

void TuckSingleView::postSelection(bool selected) {
    NotificationCenter::shared().post(NotificationName::tuckSingleSelectionChanged, {},
                                      {{UserInfoKey::kippetId, QVariant::fromValue(kippetId_)},
                                       {UserInfoKey::isSelected, selected}});
}

void TuckSingleView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // Selected before its menu opens, so the tab shows which kippet the menu acts on.
        if (!isSelected_)
            postSelection(true);
        event->accept();
        return;
    }
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    isPressed_ = true;
    isDraggingTab_ = false;
    pressPosition_ = event->globalPosition();
    event->accept();
}

void TuckSingleView::mouseMoveEvent(QMouseEvent* event) {
    if (!isPressed_)
        return;
    const QPointF translation = event->globalPosition() - pressPosition_;
    if (!isDraggingTab_ && std::hypot(translation.x(), translation.y()) > dragThreshold)
        isDraggingTab_ = true;
    if (isDraggingTab_ && onPullTabDrag)
        onPullTabDrag(event->globalPosition());
    event->accept();
}

void TuckSingleView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isPressed_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    isPressed_ = false;
    const bool wasDrag = isDraggingTab_;
    isDraggingTab_ = false;
    if (!wasDrag) {
        setSelected(!isSelected_);
        postSelection(isSelected_);
    }
    event->accept();
}

void TuckSingleView::contextMenuEvent(QContextMenuEvent* event) {
    if (!kippet_)
        return;
    QMenu* menu = TuckSingleContextMenu::build(kippet_, onUntuck, this);
    menu->popup(event->globalPos());
    event->accept();
}

// ---- drops ----

void TuckSingleView::dragEnterEvent(QDragEnterEvent* event) {
    if (!kippet_ || event->mimeData()->formats().isEmpty()) {
        event->ignore();
        return;
    }
    isDraggingOver_ = true;
    update();
    event->acceptProposedAction();
}

void TuckSingleView::dragMoveEvent(QDragMoveEvent* event) {
    event->acceptProposedAction();
}

void TuckSingleView::dragLeaveEvent(QDragLeaveEvent*) {
    isDraggingOver_ = false;
    update();
}

void TuckSingleView::dropEvent(QDropEvent* event) {
    isDraggingOver_ = false;
    update();
    if (!kippet_)
        return;
    // The drop's data is read before the event ends; the items follow one after another.
    TuckIntake::start(TuckIntake::drop(kippet_, *event->mimeData()));
    event->acceptProposedAction();
}
