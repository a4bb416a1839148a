#include "dashboard/CreateKippetSheet.h"

#include "analysis/PerceivedText.h"
#include "app/WindowLevel.h"
#include "dashboard/BusyButton.h"
#include "dashboard/CapsuleBadge.h"
#include "dashboard/CharacterCounter.h"
#include "dashboard/ColorSwatchGrid.h"
#include "dashboard/DisclosureHeader.h"
#include "dashboard/EditorFrame.h"
#include "dashboard/IconGrid.h"
#include "dashboard/KippetForm.h"
#include "dashboard/KippetPreviewCard.h"
#include "dashboard/LimitedTextEdit.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>

using Theme::TextStyle;

namespace {
QIcon symbolIcon(const QString& name, const QPalette& palette) {
    return Theme::buttonIcon(name, palette.color(QPalette::ButtonText));
}

QLabel* secondaryLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(Theme::font(TextStyle::caption));
    label->setTextFormat(Qt::PlainText);
    QPalette colored = label->palette();
    colored.setColor(QPalette::WindowText, Theme::secondary(parent->palette()));
    label->setPalette(colored);
    return label;
}
} // namespace

CreateKippetSheet::CreateKippetSheet(KippetForm& form, const Kippet* kippet, Callback onCancel,
                                     Callback onSave, QWidget* parent)
    : QDialog(parent), form_(form), isEditing_(kippet != nullptr), onCancel_(std::move(onCancel)),
      onSave_(std::move(onSave)) {
    setWindowModality(Qt::WindowModal);
    WindowLevel::makeModal(this);
    setWindowTitle(isEditing_ ? QStringLiteral("Edit Kippet")
                              : QStringLiteral("Create New Kippet"));
    setMinimumSize(520, 560);
    setMaximumWidth(600);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(24);
    stack->addWidget(buildHeader());
    stack->addWidget(buildForm(), 1);
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    stack->addWidget(divider);
    stack->addWidget(buildButtonRow());

    connect(&form_, &KippetForm::nameChanged, this, &CreateKippetSheet::nameDidChange);
    connect(&form_, &KippetForm::customInstructionsChanged, this,
            &CreateKippetSheet::instructionsDidChange);
    connect(&form_, &KippetForm::colorChanged, this,
            [this] { activeBadge_->setColor(form_.color().toQColor()); });
    nameField_->setText(form_.name());
    instructionsEditor_->setText(form_.customInstructions());
    instructionsDidChange();
    updateConfirmEnabled();
    resize(560, sizeHint().height());
}

const QList<KippetColor>& CreateKippetSheet::colorPalette() {
    return ColorSwatchGrid::colorPalette();
}

const QStringList& CreateKippetSheet::iconOptions() {
    return IconGrid::iconOptions();
}

QWidget* CreateKippetSheet::buildHeader() {
    auto* header = new QWidget(this);
    auto* column = new QVBoxLayout(header);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(12);
    title_ = new QLabel(windowTitle(), header);
    title_->setFont(Theme::font(TextStyle::title2, QFont::Bold));
    title_->setAlignment(Qt::AlignCenter);
    column->addWidget(title_);
    preview_ = new KippetPreviewCard(form_, header);
    column->addWidget(preview_);
    return header;
}

QWidget* CreateKippetSheet::captioned(const QString& caption, QWidget* content) {
    auto* section = new QWidget;
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    auto* label = new QLabel(caption, section);
    label->setFont(Theme::font(TextStyle::headline));
    column->addWidget(label);
    column->addWidget(content, 0, Qt::AlignLeft);
    return section;
}

QWidget* CreateKippetSheet::buildForm() {
    formArea_ = new QScrollArea(this);
    formArea_->setFrameShape(QFrame::NoFrame);
    // Only the fields take the keyboard: a focusable scroll area would come first in the chain
    // and take the focus the sheet's first text field gets when the sheet opens.
    formArea_->setFocusPolicy(Qt::NoFocus);
    formArea_->setWidgetResizable(true);
    formArea_->setMaximumHeight(380);
    formArea_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    formArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    formArea_->viewport()->setAutoFillBackground(false);

    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 8, 0);
    column->setSpacing(20);
    column->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    nameField_ = new QLineEdit(content);
    nameField_->setPlaceholderText(QStringLiteral("Kippet name"));
    nameField_->setFont(Theme::font(TextStyle::body));
    // The rounded-border field, seen in both appearances (the style's own frame is lost on a
    // dark window).
    nameField_->setStyleSheet(
        QStringLiteral("QLineEdit { border: 1px solid %1; border-radius: 5px; padding: 3px 5px; "
                       "background: %2; }")
            .arg(Theme::withAlpha(Theme::secondary(palette()), 0.6).name(QColor::HexArgb),
                 palette().color(QPalette::Base).name()));
    connect(nameField_, &QLineEdit::textEdited, &form_, &KippetForm::setName);
    auto* nameSection = captioned(QStringLiteral("Name"), nameField_);
    nameSection->layout()->setAlignment(nameField_, Qt::Alignment());
    column->addWidget(nameSection);

    colorGrid_ = new ColorSwatchGrid(form_, content);
    column->addWidget(captioned(QStringLiteral("Color"), colorGrid_));
    iconGrid_ = new IconGrid(form_, content);
    column->addWidget(captioned(QStringLiteral("Icon"), iconGrid_));
    column->addWidget(buildInstructionsSection());

    formArea_->setWidget(content);
    return formArea_;
}

QWidget* CreateKippetSheet::buildInstructionsSection() {
    auto* section = new QWidget;
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);

    instructionsHeader_ = new DisclosureHeader(section);
    auto* label = new QLabel(QStringLiteral("Custom AI Instructions"), instructionsHeader_);
    label->setFont(Theme::font(TextStyle::headline));
    instructionsHeader_->labelRow()->addWidget(label);
    activeBadge_ = new CapsuleBadge(QStringLiteral("Active"), instructionsHeader_);
    instructionsHeader_->labelRow()->addWidget(activeBadge_, 0, Qt::AlignVCenter);
    instructionsHeader_->labelRow()->addStretch(1);
    column->addWidget(instructionsHeader_);

    instructionsContent_ = new QWidget(section);
    auto* content = new QVBoxLayout(instructionsContent_);
    content->setContentsMargins(18, 0, 0, 0);
    content->setSpacing(8);
    auto* frame = new EditorFrame(instructionsLimit, instructionsContent_);
    frame->setFixedHeight(120 + 16);
    instructionsEditor_ = frame->editor();
    content->addWidget(frame);
    auto* helpRow = new QHBoxLayout;
    auto* help = secondaryLabel(
        QStringLiteral("Tell the AI how to organize files. E.g., \"This is for my university. "
                       "Sort by course: English, Design, Psychology.\""),
        instructionsContent_);
    help->setWordWrap(true);
    helpRow->addWidget(help, 1);
    counter_ = new CharacterCounter(instructionsLimit, instructionsContent_);
    helpRow->addWidget(counter_, 0, Qt::AlignTop);
    content->addLayout(helpRow);
    column->addWidget(instructionsContent_);
    instructionsContent_->setVisible(false);

    connect(instructionsHeader_, &QAbstractButton::toggled, instructionsContent_,
            &QWidget::setVisible);
    connect(instructionsEditor_, &QPlainTextEdit::textChanged, this,
            [this] { form_.setCustomInstructions(instructionsEditor_->toPlainText()); });
    return section;
}

QWidget* CreateKippetSheet::buildButtonRow() {
    auto* row = new QWidget(this);
    auto* buttons = new QHBoxLayout(row);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(16);
    cancelButton_ = new QPushButton(symbolIcon(SymbolNames::xmarkCircle, palette()),
                                    QStringLiteral("Cancel"), row);
    cancelButton_->setProperty("symbol", SymbolNames::xmarkCircle);
    cancelButton_->setAutoDefault(false);
    connect(cancelButton_, &QPushButton::clicked, this, [this] { onCancel_(); });
    buttons->addWidget(cancelButton_);
    buttons->addStretch(1);
    confirmButton_ = new BusyButton(row);
    const QString symbol = isEditing_ ? SymbolNames::checkmarkCircle : SymbolNames::plusCircle;
    confirmButton_->setLabel(isEditing_ ? QStringLiteral("Save") : QStringLiteral("Create"),
                             symbolIcon(symbol, palette()));
    confirmButton_->setProperty("symbol", symbol);
    confirmButton_->setDefault(true);
    connect(confirmButton_, &QPushButton::clicked, this, &CreateKippetSheet::confirm);
    buttons->addWidget(confirmButton_);
    return row;
}

QPushButton* CreateKippetSheet::cancelButton() const {
    return cancelButton_;
}

bool CreateKippetSheet::isInstructionsExpanded() const {
    return instructionsHeader_->isChecked();
}

void CreateKippetSheet::nameDidChange() {
    if (nameField_->text() != form_.name())
        nameField_->setText(form_.name());
    updateConfirmEnabled();
}

void CreateKippetSheet::instructionsDidChange() {
    const QString value = form_.customInstructions();
    // Only a change is cut: the value the host opened the sheet with is shown as it is.
    if (hasAppeared_ && PerceivedText::length(value) > instructionsLimit) {
        form_.setCustomInstructions(LimitedTextEdit::leadingCharacters(value, instructionsLimit));
        return;
    }
    instructionsEditor_->setText(value);
    counter_->setCount(PerceivedText::length(value));
    activeBadge_->setColor(form_.color().toQColor());
    activeBadge_->setVisible(!value.trimmed().isEmpty());
}

void CreateKippetSheet::updateConfirmEnabled() {
    confirmButton_->setEnabled(!isWorking_ && !form_.name().trimmed().isEmpty());
}

void CreateKippetSheet::setWorking(bool working) {
    isWorking_ = working;
    confirmButton_->setBusy(working);
    updateConfirmEnabled();
}

void CreateKippetSheet::confirm() {
    if (isWorking_ || form_.name().trimmed().isEmpty() || isBehindAlert())
        return;
    onSave_();
}

// An alert over the sheet is answered first: a save meanwhile would stack a second one.
bool CreateKippetSheet::isBehindAlert() const {
    const QList<QWidget*> children = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    return std::any_of(children.begin(), children.end(), [](const QWidget* child) {
        return child->isWindow() && child->isModal() && child->isVisible();
    });
}

void CreateKippetSheet::reject() {
    onCancel_();
}

void CreateKippetSheet::dismiss() {
    isDismissed_ = true;
    hide();
    deleteLater();
}

void CreateKippetSheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (hasAppeared_)
        return;
    hasAppeared_ = true;
    instructionsHeader_->setChecked(!form_.customInstructions().trimmed().isEmpty());
}

void CreateKippetSheet::closeEvent(QCloseEvent* event) {
    if (isDismissed_) {
        event->accept();
        return;
    }
    // The window's close button cancels; the sheet stays until the host dismisses it.
    QDialog::closeEvent(event);
}
