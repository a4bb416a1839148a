#include "tuck/TuckAwayKippetRow.h"

#include "app/Symbols.h"
#include "dashboard/SheetStyle.h"
#include "model/JsonCoding.h"
#include "model/Kippet.h"
#include "tuck/TuckAwayKippetActions.h"
#include "tuck/TuckAwayKippetContextMenu.h"
#include "tuck/TuckAwayStyle.h"
#include "tuck/TuckAwayWindow.h"
#include "window/ElidedLabel.h"
#include "window/KippetIconBadge.h"

#include <QContextMenuEvent>
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
      name_(new ElidedLabel(QString(), button_)), count_(new QLabel(button_)) {
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
    name_->setFont(SheetStyle::font(SheetStyle::TextStyle::subheadline, QFont::Medium));
    count_->setFont(SheetStyle::font(SheetStyle::TextStyle::caption));
    QPalette secondary = count_->palette();
    secondary.setColor(QPalette::WindowText, SheetStyle::secondary(palette()));
    count_->setPalette(secondary);
    texts->addWidget(name_);
    texts->addWidget(count_);
    line->addLayout(texts, 1);
    auto* chevron = new QLabel(button_);
    chevron->setPixmap(Symbols::pixmap(QStringLiteral("chevron.right"), 10,
                                       SheetStyle::withAlpha(SheetStyle::primary(palette()), 0.3),
                                       devicePixelRatioF()));
    line->addWidget(chevron);

    for (auto signal :
         {&Kippet::nameChanged, &Kippet::itemsChanged, &Kippet::noteChanged, &Kippet::todosChanged})
        connect(kippet, signal, this, &TuckAwayKippetRow::updateTexts);
    for (auto signal : {&Kippet::colorChanged, &Kippet::iconChanged, &Kippet::isDailyKippetChanged})
        connect(kippet, signal, this, &TuckAwayKippetRow::updateBadge);
    updateTexts();
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
}

bool TuckAwayKippetRow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == badgeSlot_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        badge_->move(badgeSlot_->pos() -
                     QPoint(KippetIconBadge::glowMargin, KippetIconBadge::glowMargin));
    return QWidget::eventFilter(watched, event);
}

void TuckAwayKippetRow::setRowHovering(bool hovering) {
    if (hovering == isRowHovering_)
        return;
    isRowHovering_ = hovering;
    if (hovering && kippet_) {
        actions_ = new TuckAwayKippetActions(kippet_, this);
        static_cast<QVBoxLayout*>(layout())->addWidget(actions_);
        actions_->show();
    } else if (actions_) {
        // A button of the strip may be what the pointer just left through.
        layout()->removeWidget(actions_);
        actions_->hide();
        std::exchange(actions_, nullptr)->deleteLater();
    }
    update();
    emit heightChanged();
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
    if (!isRowHovering_)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(shape, SheetStyle::withAlpha(SheetStyle::primary(palette()), 0.06));
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
