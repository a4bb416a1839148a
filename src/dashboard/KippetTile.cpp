#include "dashboard/KippetTile.h"

#include "app/DailyKippet.h"
#include "app/Dialogs.h"
#include "app/MenuBarManager.h"
#include "dashboard/KippetContextMenu.h"
#include "model/Kippet.h"
#include "platform/Animations.h"
#include "platform/KippetsError.h"
#include "store/KippetManager.h"
#include "ui/Theme.h"

#include <QContextMenuEvent>
#include <QEasingCurve>
#include <QHelpEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QVariantAnimation>
#include <cmath>

namespace {
// A spring with a response of 0.35 s and a damping fraction of 1, settled within half a second.
constexpr int springDuration = 500;
constexpr double springResponse = 0.35;

double spring(double seconds) {
    const double omega = 2 * M_PI / springResponse;
    return 1 - (1 + omega * seconds) * std::exp(-omega * seconds);
}

qreal springProgress(qreal progress) {
    const double end = springDuration / 1000.0;
    return qreal(spring(progress * end) / spring(end));
}
} // namespace

KippetTile::KippetTile(Kippet* kippet, KippetCallback onEdit, KippetCallback onEditInstructions,
                       QWidget* parent)
    : QWidget(parent), kippet_(kippet), onEdit_(std::move(onEdit)),
      onEditInstructions_(std::move(onEditInstructions)),
      openAnimation_(new QVariantAnimation(this)) {
    setAttribute(Qt::WA_Hover);
    // A tile that scrolls into view shows its state at once; only changes animate.
    isOpen_ = kippet_ && KippetContextMenu::isOpen(*kippet_);
    openness_ = isOpen_ ? 1 : 0;
    QEasingCurve curve;
    curve.setCustomType(springProgress);
    openAnimation_->setDuration(springDuration);
    openAnimation_->setEasingCurve(curve);
    connect(openAnimation_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { setOpenness(value.toReal()); });
    connect(&KippetManager::shared(), &KippetManager::activeKippetsChanged, this,
            &KippetTile::refreshOpenState);
    for (auto signal :
         {&Kippet::nameChanged, &Kippet::colorChanged, &Kippet::iconChanged, &Kippet::itemsChanged,
          &Kippet::noteChanged, &Kippet::todosChanged, &Kippet::isDailyKippetChanged})
        connect(kippet, signal, this, qOverload<>(&QWidget::update));
}

QString KippetTile::statusText() const {
    return isOpen_ ? QStringLiteral("Kippet is open") : QString();
}

QString KippetTile::countText() const {
    return kippet_ ? QString::number(kippet_->totalItemCount()) : QString();
}

QColor KippetTile::kippetColor() const {
    if (!kippet_)
        return {};
    return kippet_->isDailyKippet() ? dailyKippetColor() : kippet_->color().toQColor();
}

void KippetTile::refreshOpenState() {
    const bool open = kippet_ && KippetContextMenu::isOpen(*kippet_);
    if (open == isOpen_)
        return;
    isOpen_ = open;
    const qreal target = open ? 1 : 0;
    openAnimation_->stop();
    if (!Animations::enabled()) {
        setOpenness(target);
        return;
    }
    openAnimation_->setStartValue(openness_);
    openAnimation_->setEndValue(target);
    openAnimation_->start();
}

void KippetTile::setOpenness(qreal openness) {
    openness_ = openness;
    update();
    opennessChanged();
}

QColor KippetTile::blend(const QColor& closed, const QColor& open) const {
    return Theme::mix(closed, open, openness_);
}

void KippetTile::showError(const QString& message) {
    Dialogs::shared().showError(message, window());
}

void KippetTile::toggle() {
    const QPointer<Kippet> kippet = kippet_;
    if (!kippet)
        return;
    KippetManager& manager = KippetManager::shared();
    if (KippetContextMenu::isOpen(*kippet)) {
        try {
            manager.closeKippet(kippet);
        } catch (const std::exception& error) {
            showError(KippetsError::textOf(error));
        }
        // The window goes even when the store keeps the kippet open.
        if (kippet)
            MenuBarManager::shared().closeWindow(kippet.data());
        return;
    }
    try {
        manager.reopenKippet(kippet);
    } catch (const std::exception& error) {
        showError(KippetsError::textOf(error));
        return;
    }
    if (kippet)
        MenuBarManager::shared().showWindow(kippet);
}

QMenu* KippetTile::buildContextMenu() {
    const QPointer<KippetTile> self(this);
    KippetContextMenu::Callbacks callbacks;
    callbacks.onEdit = [self] {
        if (self && self->kippet_ && self->onEdit_)
            self->onEdit_(self->kippet_);
    };
    callbacks.onDelete = [self] {
        if (self)
            self->confirmDelete();
    };
    if (onEditInstructions_)
        callbacks.onEditInstructions = [self] {
            if (self && self->kippet_)
                self->onEditInstructions_(self->kippet_);
        };
    callbacks.onError = [self](const QString& message) {
        if (self)
            self->showError(message);
    };
    return KippetContextMenu::build(kippet_, std::move(callbacks), this);
}

void KippetTile::confirmDelete() {
    const QPointer<Kippet> kippet = kippet_;
    if (!kippet)
        return;
    const QString question = QStringLiteral(
        "Are you sure you want to delete this kippet? This action cannot be undone.");
    const bool confirmed = Dialogs::shared().confirmDestructive(question, question,
                                                                QStringLiteral("Delete"), window());
    if (!confirmed || !kippet)
        return;
    // The manager deletes the row first and changes nothing when that fails, so the kippet is
    // still listed and the user learns why.
    const QPointer<QWidget> presenter = window();
    try {
        KippetManager::shared().deleteKippet(kippet);
    } catch (const std::exception& error) {
        Dialogs::shared().showError(KippetsError::textOf(error), presenter);
    }
}

void KippetTile::paintActiveDot(QPainter& painter, const QRectF& rect) const {
    const QColor green = Theme::green();
    painter.save();
    painter.setPen(Qt::NoPen);
    for (int ring = 4; ring >= 1; --ring) {
        painter.setBrush(Theme::withAlpha(green, 0.5 * 0.12 * (5 - ring)));
        painter.drawEllipse(rect.adjusted(-ring, -ring, ring, ring));
    }
    painter.setBrush(green);
    painter.drawEllipse(rect);
    painter.restore();
}

bool KippetTile::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (isOpen_ && activeDotRect().adjusted(-3, -3, 3, 3).contains(help->pos()))
            QToolTip::showText(help->globalPos(), activeToolTip, this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void KippetTile::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton && hitRect().contains(event->position());
    event->accept();
}

void KippetTile::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        pressed_ && event->button() == Qt::LeftButton && hitRect().contains(event->position());
    pressed_ = false;
    if (click)
        toggle();
}

void KippetTile::contextMenuEvent(QContextMenuEvent* event) {
    if (!hitRect().contains(event->pos()) || !kippet_)
        return;
    buildContextMenu()->popup(event->globalPos());
}
