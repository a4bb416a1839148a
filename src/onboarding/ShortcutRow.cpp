#include "onboarding/ShortcutRow.h"

#include "onboarding/KeyBadge.h"
#include "onboarding/KeyCaptureField.h"
#include "onboarding/SymbolView.h"
#include "onboarding/TourButtons.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"
#include "ui/SymbolNames.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStackedLayout>

using Theme::Named;
using Theme::TextStyle;

ShortcutRow::ShortcutRow(KeyboardAction action, QWidget* parent)
    : QWidget(parent), action_(action) {
    setObjectName(QStringLiteral("ShortcutRow_") + rawValue(action));
    QHBoxLayout* row = plainRow(this);
    row->setContentsMargins(16, 12, 16, 12);
    row->setSpacing(16);

    auto* label = new QWidget(this);
    QHBoxLayout* labelRow = plainRow(label);
    labelRow->setSpacing(12);
    auto* symbol =
        new SymbolView(symbolOf(action), Theme::font(TextStyle::title3).pixelSize(), label);
    symbol->setColor(Named::secondary);
    auto* symbolFrame = new QWidget(label);
    symbolFrame->setFixedWidth(24);
    plainRow(symbolFrame)->addWidget(symbol, 0, Qt::AlignCenter);
    labelRow->addWidget(symbolFrame);
    auto* title = new QLabel(rawValue(action), label);
    TourStyle::applyText(title, TextStyle::body);
    labelRow->addWidget(title, 1);
    row->addWidget(label, 1);

    auto* controls = new QWidget(this);
    modes_ = new QStackedLayout(controls);
    modes_->addWidget(displayControls());
    modes_->addWidget(editControls());
    row->addWidget(controls, 0, Qt::AlignVCenter);
}

QString ShortcutRow::symbolOf(KeyboardAction action) {
    switch (action) {
    case KeyboardAction::todos:
        return SymbolNames::checklist;
    case KeyboardAction::notes:
        return SymbolNames::noteText;
    case KeyboardAction::import:
        return SymbolNames::squareAndArrowDown;
    case KeyboardAction::paste:
        return SymbolNames::docOnClipboard;
    case KeyboardAction::expand:
        return SymbolNames::arrowUpLeftAndArrowDownRight;
    case KeyboardAction::mini:
        return SymbolNames::minusSquare;
    case KeyboardAction::dashboard:
        break;
    }
    return SymbolNames::squareGrid2x2;
}

QWidget* ShortcutRow::displayControls() {
    auto* box = new QWidget(this);
    QHBoxLayout* row = plainRow(box);
    row->setSpacing(8);
    // Both modes keep their controls at the row's trailing edge.
    row->addStretch(1);
    badge_ = new KeyBadge(QString(), 32, box);
    row->addWidget(badge_, 0, Qt::AlignVCenter);
    edit_ = new QPushButton(QStringLiteral("Edit"), box);
    TourButtons::style(edit_, TourButtons::Kind::plain);
    edit_->setFont(Theme::font(TextStyle::caption));
    connect(edit_, &QPushButton::clicked, this, &ShortcutRow::editRequested);
    row->addWidget(edit_, 0, Qt::AlignVCenter);
    return box;
}

QWidget* ShortcutRow::editControls() {
    auto* box = new QWidget(this);
    QHBoxLayout* row = plainRow(box);
    row->setSpacing(8);
    row->addStretch(1);
    KeyCaptureField::Look look;
    look.placeholder = QStringLiteral("Press key...");
    look.font = Theme::font(TextStyle::body);
    look.font.setFamily(QStringLiteral("monospace"));
    look.font.setStyleHint(QFont::Monospace);
    look.font.setBold(true);
    look.padding = 8;
    look.cornerRadius = 6;
    look.accentBackground = true;
    field_ = new KeyCaptureField(look, box);
    field_->setObjectName(QStringLiteral("ShortcutKeyField"));
    field_->setFixedWidth(60 + 2 * look.padding);
    connect(field_, &KeyCaptureField::keyAccepted, this, &ShortcutRow::capture);
    row->addWidget(field_, 0, Qt::AlignVCenter);
    save_ = new QPushButton(QStringLiteral("Save"), box);
    TourButtons::style(save_, TourButtons::Kind::bordered);
    save_->setEnabled(false);
    connect(save_, &QPushButton::clicked, this, [this] {
        if (!newKey_.isEmpty()) {
            emit saveRequested(newKey_);
        }
    });
    row->addWidget(save_, 0, Qt::AlignVCenter);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), box);
    TourButtons::style(cancel_, TourButtons::Kind::plain);
    connect(cancel_, &QPushButton::clicked, this, &ShortcutRow::cancelRequested);
    row->addWidget(cancel_, 0, Qt::AlignVCenter);
    return box;
}

void ShortcutRow::setShortcut(const QString& key) {
    shortcut_ = key;
    badge_->setLetter(key.toUpper());
}

void ShortcutRow::setEditing(bool editing) {
    if (editing_ == editing) {
        return;
    }
    editing_ = editing;
    capture(QString());
    modes_->setCurrentIndex(editing ? 1 : 0);
    if (editing) {
        field_->setFocus(Qt::OtherFocusReason);
    }
}

void ShortcutRow::capture(const QString& key) {
    newKey_ = key;
    field_->setText(key);
    save_->setEnabled(!key.isEmpty());
}

void ShortcutRow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(shape, Theme::withAlpha(Theme::color(Named::secondary, palette()), 0.03));
}
