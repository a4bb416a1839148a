#include "tuck/TuckSingleView.h"

#include "app/DailyKippet.h"
#include "model/Kippet.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Preferences.h"
#include "tuck/TuckIntake.h"
#include "tuck/TuckSingleBorderShape.h"
#include "tuck/TuckSingleContextMenu.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

TuckSingleView::TuckSingleView(Kippet* kippet, ScreenEdge initialEdge, qreal cornerRadius,
                               QWidget* parent)
    : QWidget(parent), kippet_(kippet), kippetId_(kippet->id()), cornerRadius_(cornerRadius),
      currentEdge_(initialEdge) {
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
                       isSelected_ = selected.toBool();
                       update();
                   });
    connect(&Preferences::shared(), &Preferences::changed, this, [this](const QString& key) {
        if (key == cutoutKey || key == monochromeKey)
            update();
    });
    if (!kippet_)
        return;
    connect(kippet_, &Kippet::nameChanged, this, &TuckSingleView::updateNames);
    connect(kippet_, &Kippet::colorChanged, this, qOverload<>(&QWidget::update));
    connect(kippet_, &Kippet::iconChanged, this, qOverload<>(&QWidget::update));
    connect(kippet_, &Kippet::isDailyKippetChanged, this, qOverload<>(&QWidget::update));
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

QColor TuckSingleView::iconColor() const {
    const bool monochrome = Preferences::shared().boolOr(monochromeKey, true);
    if (isCutout() && monochrome && !isSelected_)
        return Qt::white;
    return kippetColor();
}

qreal TuckSingleView::borderWidth() const {
    if (isDraggingOver_)
        return dropBorderWidth;
    return isSelected_ ? selectedBorderWidth : 0;
}

QColor TuckSingleView::borderColor() const {
    QColor color = kippetColor();
    if (!isDraggingOver_)
        color.setAlphaF(color.alphaF() * 0.7);
    return color;
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
        const qreal scale = iconScale();
        const qreal dpr = devicePixelRatioF() * scale;
        const QPixmap icon = Symbols::pixmap(kippet_->icon(), iconPointSize, iconColor(), dpr,
                                             SymbolRole::kippetIcon);
        const QSizeF size = icon.deviceIndependentSize() * scale;
        painter.drawPixmap(QRectF(bounds.center() - QPointF(size.width(), size.height()) / 2, size),
                           icon, QRectF(icon.rect()));
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
        isSelected_ = !isSelected_;
        update();
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
