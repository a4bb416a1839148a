#include "onboarding/ShortcutsStepView.h"

#include "model/OnboardingState.h"
#include "onboarding/KeyCaptureField.h"
#include "onboarding/RoundedPanel.h"
#include "onboarding/ShortcutRow.h"
#include "onboarding/StepHeader.h"
#include "onboarding/TourButtons.h"
#include "onboarding/TourLayout.h"
#include "onboarding/TourStyle.h"
#include "platform/ClockTimer.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>

using Theme::Named;
using Theme::TextStyle;

ShortcutsStepView::ShortcutsStepView(OnboardingState* state, QWidget* parent)
    : QWidget(parent), state_(state), testClearing_(new ClockTimer(this)) {
    // One clearing, pushed back by every accepted key: a later key's message keeps its full time.
    testClearing_->setSingleShot(true);
    testClearing_->setInterval(testMessageDuration);
    connect(testClearing_, &ClockTimer::timeout, this, [this] { setTestInput(QString()); });

    StackBuilder stack(plainColumn(this), 16);
    stack.add(new StepHeader(QStringLiteral("Master Keyboard Shortcuts"),
                             QStringLiteral("Control Kippets without lifting your hands from the "
                                            "keyboard"),
                             6, 12, this),
              {});
    stack.add(shortcutList(), {});
    stack.add(buttons(), {});
    stack.add(testPanel(), {});
    stack.addFlexible();

    showShortcuts();
    if (state_) {
        connect(state_, &OnboardingState::customShortcutsChanged, this,
                &ShortcutsStepView::showShortcuts);
        connect(state_, &OnboardingState::shortcutsModifiedChanged, this,
                &ShortcutsStepView::showShortcuts);
    }
}

QWidget* ShortcutsStepView::shortcutList() {
    list_ = new QScrollArea(this);
    list_->setObjectName(QStringLiteral("ShortcutList"));
    list_->setFrameShape(QFrame::NoFrame);
    list_->setWidgetResizable(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setMaximumHeight(260);
    list_->setFocusPolicy(Qt::NoFocus);
    list_->viewport()->setAutoFillBackground(false);
    auto* content = new QWidget(list_);
    content->setAutoFillBackground(false);
    StackBuilder column(plainColumn(content), 6);
    for (const KeyboardAction action : allKeyboardActions()) {
        auto* row = new ShortcutRow(action, content);
        connect(row, &ShortcutRow::editRequested, this, [this, action] { edit(action); });
        connect(row, &ShortcutRow::cancelRequested, this, [this] { edit(std::nullopt); });
        connect(row, &ShortcutRow::saveRequested, this, [this, action](const QString& key) {
            if (state_) {
                state_->setShortcut(action, key);
            }
            edit(std::nullopt);
        });
        column.add(row, {});
        rows_.append(row);
    }
    list_->setWidget(content);
    return list_;
}

QWidget* ShortcutsStepView::buttons() {
    auto* box = new QWidget(this);
    QHBoxLayout* row = plainRow(box);
    row->setContentsMargins(16, 0, 16, 0);
    reset_ = new QPushButton(QStringLiteral("Reset to Defaults"), box);
    TourButtons::style(reset_, TourButtons::Kind::bordered);
    connect(reset_, &QPushButton::clicked, this, [this] {
        if (state_) {
            state_->resetShortcuts();
        }
    });
    row->addWidget(reset_);
    row->addStretch(1);
    saveAll_ = new QPushButton(QStringLiteral("Save Shortcuts"), box);
    TourButtons::style(saveAll_, TourButtons::Kind::prominent);
    connect(saveAll_, &QPushButton::clicked, this, [this] {
        if (state_) {
            state_->saveShortcuts();
        }
        // The row that left edit mode handed the focus on; no button keeps it.
        window()->setFocus(Qt::OtherFocusReason);
    });
    row->addWidget(saveAll_);
    return box;
}

QWidget* ShortcutsStepView::testPanel() {
    auto* panel = new RoundedPanel(this);
    panel->setFill(Named::secondary, 0.05);
    panel->setCornerRadius(12);
    QVBoxLayout* column = plainColumn(panel);
    column->setContentsMargins(12, 12, 12, 12);
    StackBuilder stack(column, 10);
    auto* heading = new QLabel(QStringLiteral("Try It Out"), panel);
    TourStyle::applyText(heading, TextStyle::headline);
    stack.add(heading);

    KeyCaptureField::Look look;
    look.placeholder = QStringLiteral("Click here and press a shortcut...");
    look.font = Theme::font(TextStyle::body);
    look.padding = 10;
    look.cornerRadius = 8;
    testField_ = new KeyCaptureField(look, panel);
    testField_->setObjectName(QStringLiteral("ShortcutTestField"));
    // As wide as it may be: the panel is always wider.
    testField_->setFixedWidth(400);
    connect(testField_, &KeyCaptureField::keyAccepted, this, [this](const QString& key) {
        setTestInput(key);
        testClearing_->restart();
    });
    stack.add(testField_, {});
    column->setAlignment(testField_, Qt::AlignHCenter);

    testMessage_ = new QLabel(panel);
    testMessage_->setObjectName(QStringLiteral("ShortcutTestMessage"));
    testMessage_->setFont(Theme::font(TextStyle::caption));
    QPalette green = testMessage_->palette();
    green.setColor(QPalette::WindowText, Theme::color(Named::green, green));
    testMessage_->setPalette(green);
    stack.add(testMessage_);
    testMessage_->hide();
    return panel;
}

ShortcutRow* ShortcutsStepView::row(KeyboardAction action) const {
    for (ShortcutRow* row : rows_) {
        if (row->action() == action) {
            return row;
        }
    }
    return nullptr;
}

void ShortcutsStepView::edit(std::optional<KeyboardAction> action) {
    editingAction_ = action;
    // The row that leaves edit mode drops its captured key before the new one takes the focus.
    for (ShortcutRow* row : std::as_const(rows_)) {
        if (row->action() != action) {
            row->setEditing(false);
        }
    }
    if (ShortcutRow* editing = action ? row(*action) : nullptr) {
        editing->setEditing(true);
        list_->ensureWidgetVisible(editing, 0, 0);
    }
}

void ShortcutsStepView::showShortcuts() {
    if (!state_) {
        return;
    }
    const KeyboardShortcuts shortcuts = state_->customShortcuts();
    for (ShortcutRow* row : std::as_const(rows_)) {
        row->setShortcut(shortcutField(shortcuts, row->action()));
    }
    saveAll_->setVisible(state_->shortcutsModified());
}

void ShortcutsStepView::setTestInput(const QString& key) {
    testInput_ = key;
    testField_->setText(key);
    testMessage_->setText(QStringLiteral("✓ Good job! You pressed '") + key.toUpper() +
                          QStringLiteral("'"));
    testMessage_->setVisible(!key.isEmpty());
}
