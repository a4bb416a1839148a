#include "tuck/TuckAwayKippetRow.h"

#include "model/JsonCoding.h"
#include "model/Kippet.h"
#include "platform/ClockAnimation.h"
#include "tuck/TuckAwayKippetActions.h"
#include "tuck/TuckAwayKippetContextMenu.h"
#include "tuck/TuckAwayStyle.h"
#include "tuck/TuckAwayWindow.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "window/ElidedLabel.h"
#include "window/KippetIconBadge.h"

#include <QContextMenuEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

TuckAwayKippetRow::TuckAwayKippetRow(Kippet* kippet, bool cutoutEnabled, bool monochromeIcons,
                                     QWidget* parent)
    : QWidget(parent), kippet_(kippet), cutoutEnabled_(cutoutEnabled),
      monochromeIcons_(monochromeIcons), button_(new QWidget(this)),
      badgeSlot_(new QWidget(button_)),
      badge_(new KippetIconBadge(iconColor(), kippet->icon(), true, 28, button_)),
      name_(new ElidedLabel(QString(), button_)), count_(new QLabel(button_)),
      reveal_(new ClockAnimation(this)) {
    connect(reveal_, &ClockAnimation::valueChanged, this, &TuckAwayKippetRow::revealStepped);
    connect(reveal_, &ClockAnimation::finished, this, &TuckAwayKippetRow::revealFinished);
    setObjectName(QStringLiteral("TuckAwayKippetRow-") + JsonCoding::encodeUuid(kippet->id()));
    setAttribute(Qt::WA_Hover);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(button_);

    auto* line = new QHBoxLayout(button_);
    line->setContentsMargins(12, 6, 12, 6);
    line->setSpacing(10);
    badgeSlot_->setFixedSize(28, 28);
    // The badge's glow reaches past its slot into the padding around it.
    badgeSlot_->installEventFilter(this);
    badge_->setAttribute(Qt::WA_TransparentForMouseEvents);
    line->addWidget(badgeSlot_);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    name_->setFont(Theme::font(Theme::TextStyle::subheadline, QFont::Medium));
    count_->setFont(Theme::font(Theme::TextStyle::caption));
    QPalette secondary = count_->palette();
    secondary.setColor(QPalette::WindowText, Theme::secondary(palette()));
    count_->setPalette(secondary);
    texts->addWidget(name_);
    texts->addWidget(count_);
    line->addLayout(texts, 1);
    auto* chevron = new QLabel(button_);
    chevron->setPixmap(Symbols::pixmap(SymbolNames::chevronRight, 10,
                                       Theme::withAlpha(Theme::primary(palette()), 0.3),
                                       devicePixelRatioF()));
    line->addWidget(chevron);

    for (auto signal :
         {&Kippet::nameChanged, &Kippet::itemsChanged, &Kippet::noteChanged, &Kippet::todosChanged})
        connect(kippet, signal, this, &TuckAwayKippetRow::updateTexts);
    for (auto signal : {&Kippet::colorChanged, &Kippet::iconChanged, &Kippet::isDailyKippetChanged})
        connect(kippet, signal, this, &TuckAwayKippetRow::updateBadge);
    updateTexts();
    updateBadge();
}

QColor TuckAwayKippetRow::iconColor() const {
    if (cutoutEnabled_ && monochromeIcons_)
        return Qt::white;
    return kippet_ ? TuckAwayStyle::kippetColor(*kippet_) : QColor(Qt::gray);
}

QString TuckAwayKippetRow::countText() const {
    return count_->text();
}

void TuckAwayKippetRow::updateTexts() {
    if (!kippet_)
        return;
    name_->setFullText(kippet_->name());
    count_->setText(QString::number(kippet_->totalItemCount()) + QStringLiteral(" items"));
}

void TuckAwayKippetRow::updateBadge() {
    if (!kippet_)
        return;
    badge_->setColor(iconColor());
    badge_->setIcon(kippet_->icon());
    // The tray's own fill, black for the cutout, is what the badge stands on; under the pointer
    // the row's highlight lies over it.
    const QColor tray = Theme::over(TuckAwayStyle::fill(cutoutEnabled_, palette()),
                                    palette().color(QPalette::Window));
    badge_->setBackdrop(isRowHovering_ ? Theme::over(highlight(1), tray) : tray);
}

QColor TuckAwayKippetRow::highlight(qreal shown) const {
    return Theme::withAlpha(Theme::primary(palette()), 0.06 * shown);
}

bool TuckAwayKippetRow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == badgeSlot_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        badge_->move(badgeSlot_->pos() -
                     QPoint(KippetIconBadge::glowMargin, KippetIconBadge::glowMargin));
    if (watched == stripHolder_ && event->type() == QEvent::Resize)
        placeStrip();
    return QWidget::eventFilter(watched, event);
}

qreal TuckAwayKippetRow::stripShown() const {
    return reveal_->value();
}

void TuckAwayKippetRow::setRowHovering(bool hovering) {
    if (hovering == isRowHovering_)
        return;
    isRowHovering_ = hovering;
    updateBadge();
    if (hovering && kippet_ && !actions_) {
        stripHolder_ = new QWidget(this);
        stripHolder_->setFixedHeight(0);
        stripHolder_->installEventFilter(this);
        actions_ = new TuckAwayKippetActions(kippet_, stripHolder_);
        static_cast<QVBoxLayout*>(layout())->addWidget(stripHolder_);
        stripHolder_->show();
        actions_->show();
    }
    reveal_->animateTo(hovering ? 1 : 0, hoverSpan);
}

void TuckAwayKippetRow::revealStepped() {
    if (stripHolder_ && actions_) {
        stripHolder_->setFixedHeight(qRound(actions_->sizeHint().height() * reveal_->value()));
        placeStrip();
    }
    // The row's own height first, so that the list sees it when told.
    layout()->activate();
    update();
    emit heightChanged();
}

void TuckAwayKippetRow::revealFinished() {
    if (isRowHovering_ || !stripHolder_)
        return;
    // A button of the strip may be what the pointer just left through.
    layout()->removeWidget(stripHolder_);
    stripHolder_->hide();
    std::exchange(stripHolder_, nullptr)->deleteLater();
    actions_ = nullptr;
    layout()->activate();
    update();
    emit heightChanged();
}

void TuckAwayKippetRow::placeStrip() {
    if (!stripHolder_ || !actions_)
        return;
    const int height = actions_->sizeHint().height();
    actions_->setGeometry(0, stripHolder_->height() - height, stripHolder_->width(), height);
    const qreal shown = reveal_->value();
    if (shown >= 1) {
        actions_->setGraphicsEffect(nullptr);
        return;
    }
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(actions_->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(actions_);
        actions_->setGraphicsEffect(effect);
    }
    effect->setOpacity(shown);
}

void TuckAwayKippetRow::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    setRowHovering(true);
}

void TuckAwayKippetRow::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    setRowHovering(false);
}

void TuckAwayKippetRow::paintEvent(QPaintEvent*) {
    const qreal shown = reveal_->value();
    if (shown <= 0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(shape, highlight(shown));
}

void TuckAwayKippetRow::mousePressEvent(QMouseEvent* event) {
    event->setAccepted(event->button() == Qt::LeftButton);
}

void TuckAwayKippetRow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton ||
        !button_->geometry().contains(event->position().toPoint()))
        return;
    if (onTap) {
        // Bringing the kippet back closes the tray, this row with it.
        const TuckAwayWindow::CallbackScope scope;
        const std::function<void()> tap = onTap;
        tap();
    }
}

QMenu* TuckAwayKippetRow::contextMenu() {
    const QPointer<TuckAwayKippetRow> self(this);
    return TuckAwayKippetContextMenu::build(
        kippet_,
        [self] {
            if (self && self->onKippetClosed)
                self->onKippetClosed();
        },
        this);
}

void TuckAwayKippetRow::contextMenuEvent(QContextMenuEvent* event) {
    contextMenu()->popup(event->globalPos());
}
