#include "dashboard/SearchField.h"

#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>

SearchField::SearchField(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(6);
    glass_ = new QLabel(this);
    edit_ = new QLineEdit(this);
    edit_->setFrame(false);
    edit_->setFixedWidth(150);
    edit_->setPlaceholderText(QStringLiteral("Search kippets..."));
    edit_->setAttribute(Qt::WA_MacShowFocusRect, false);
    edit_->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
    clear_ = new QToolButton(this);
    clear_->setAutoRaise(true);
    clear_->setCursor(Qt::ArrowCursor);
    clear_->setFocusPolicy(Qt::NoFocus);
    clear_->setIconSize(QSize(13, 13));
    clear_->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; }"));
    clear_->hide();
    layout->addWidget(glass_);
    layout->addWidget(edit_);
    layout->addWidget(clear_);
    applyIcons();
    connect(edit_, &QLineEdit::textChanged, this, [this](const QString& text) {
        clear_->setVisible(!text.isEmpty());
        emit textChanged(text);
    });
    connect(clear_, &QToolButton::clicked, edit_, &QLineEdit::clear);
}

QString SearchField::text() const {
    return edit_->text();
}

void SearchField::applyIcons() {
    const QColor secondary = Theme::secondary(palette());
    glass_->setPixmap(
        Theme::symbol(SymbolNames::magnifyingglass, secondary, 13, devicePixelRatioF()));
    clear_->setIcon(Theme::buttonIcon(SymbolNames::xmarkCircleFill, secondary));
}

void SearchField::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyIcons();
}

void SearchField::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(shape, palette().color(QPalette::Base));
}
