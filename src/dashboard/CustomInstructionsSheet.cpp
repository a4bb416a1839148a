#include "dashboard/CustomInstructionsSheet.h"

#include "app/CustomInstructions.h"
#include "app/DailyKippet.h"
#include "app/WindowLevel.h"
#include "dashboard/BusyButton.h"
#include "dashboard/CharacterCounter.h"
#include "dashboard/EditorFrame.h"
#include "dashboard/LimitedTextEdit.h"
#include "dashboard/SheetBadge.h"
#include "dashboard/WarningBanner.h"
#include "model/Kippet.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>

using Theme::TextStyle;

namespace {
QIcon symbolIcon(const QString& name, const QColor& color) {
    return Theme::buttonIcon(name, color);
}

QLabel* secondaryLabel(const QString& text, TextStyle style, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(Theme::font(style));
    label->setTextFormat(Qt::PlainText);
    QPalette colored = label->palette();
    colored.setColor(QPalette::WindowText, Theme::secondary(parent->palette()));
    label->setPalette(colored);
    return label;
}
} // namespace

CustomInstructionsSheet::CustomInstructionsSheet(Kippet* kippet, SaveCallback onSave,
                                                 CancelCallback onCancel, QWidget* parent)
    : QDialog(parent), kippet_(kippet), onSave_(std::move(onSave)), onCancel_(std::move(onCancel)) {
    setWindowModality(Qt::WindowModal);
    WindowLevel::makeModal(this);
    setWindowTitle(QStringLiteral("Custom AI Instructions"));
    setMinimumSize(440, minimumHeightFloor);
    setMaximumWidth(520);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(20);
    stack->addWidget(buildHeader());
    stack->addWidget(buildEditorSection(), 1);
    stack->addWidget(buildWarning());
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    stack->addWidget(divider);
    stack->addWidget(buildButtonRow());

    if (kippet_) {
        connect(kippet_, &Kippet::nameChanged, this, &CustomInstructionsSheet::refreshHeader);
        connect(kippet_, &Kippet::colorChanged, this, &CustomInstructionsSheet::refreshHeader);
        connect(kippet_, &Kippet::iconChanged, this, &CustomInstructionsSheet::refreshHeader);
        connect(kippet_, &Kippet::isDailyKippetChanged, this,
                &CustomInstructionsSheet::refreshHeader);
        connect(kippet_, &Kippet::customInstructionsChanged, this,
                &CustomInstructionsSheet::refreshControls);
    }
    refreshHeader();
    refreshControls();
    resize(480, sizeHint().height());
}

QWidget* CustomInstructionsSheet::buildHeader() {
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);
    badge_ = new SheetBadge(40, 18, std::nullopt, header);
    row->addWidget(badge_, 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    title_ = new QLabel(QStringLiteral("Custom AI Instructions"), header);
    title_->setFont(Theme::font(TextStyle::title3, QFont::Bold));
    texts->addWidget(title_);
    name_ = secondaryLabel(QString(), TextStyle::subheadline, header);
    texts->addWidget(name_);
    row->addLayout(texts);
    row->addStretch(1);
    return header;
}

QWidget* CustomInstructionsSheet::buildEditorSection() {
    auto* section = new QWidget(this);
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(8);
    auto* frame = new EditorFrame(instructionsLimit, section);
    frame->setMinimumHeight(160 + 16);
    frame->setMaximumHeight(240 + 16);
    editor_ = frame->editor();
    column->addWidget(frame, 1);
    auto* hintRow = new QHBoxLayout;
    auto* hint = secondaryLabel(
        QStringLiteral("Tell the AI how to organize files. E.g., \"Sort by course: English, "
                       "Design, Psychology.\""),
        TextStyle::caption, section);
    hint->setWordWrap(true);
    hintRow->addWidget(hint, 1);
    counter_ = new CharacterCounter(instructionsLimit, section);
    hintRow->addWidget(counter_, 0, Qt::AlignTop);
    column->addLayout(hintRow);
    connect(editor_, &LimitedTextEdit::perceivedLengthChanged, counter_,
            &CharacterCounter::setCount);
    // Editing leaves the warning in place; only the next save clears it.
    connect(editor_, &QPlainTextEdit::textChanged, this, &CustomInstructionsSheet::refreshControls);
    return section;
}

QWidget* CustomInstructionsSheet::buildWarning() {
    auto* banner = new WarningBanner(this);
    warning_ = banner;
    warningText_ = banner->messageLabel();
    warning_->setVisible(false);
    return warning_;
}

QWidget* CustomInstructionsSheet::buildButtonRow() {
    auto* row = new QWidget(this);
    auto* buttons = new QHBoxLayout(row);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(12);
    const QColor ink = Theme::primary(palette());
    clearButton_ =
        new QPushButton(symbolIcon(SymbolNames::trash, Theme::red()), QStringLiteral("Clear"), row);
    clearButton_->setAutoDefault(false);
    clearButton_->setProperty("symbol", SymbolNames::trash);
    QPalette destructive = clearButton_->palette();
    destructive.setColor(QPalette::ButtonText, Theme::red());
    clearButton_->setPalette(destructive);
    connect(clearButton_, &QPushButton::clicked, this, &CustomInstructionsSheet::clear);
    buttons->addWidget(clearButton_);
    buttons->addStretch(1);
    cancelButton_ =
        new QPushButton(symbolIcon(SymbolNames::xmarkCircle, ink), QStringLiteral("Cancel"), row);
    cancelButton_->setAutoDefault(false);
    cancelButton_->setProperty("symbol", SymbolNames::xmarkCircle);
    connect(cancelButton_, &QPushButton::clicked, this, &CustomInstructionsSheet::reject);
    buttons->addWidget(cancelButton_);
    saveButton_ = new BusyButton(row);
    saveButton_->setLabel(QStringLiteral("Save"), symbolIcon(SymbolNames::checkmarkCircle, ink));
    saveButton_->setProperty("symbol", SymbolNames::checkmarkCircle);
    saveButton_->setDefault(true);
    connect(saveButton_, &QPushButton::clicked, this, &CustomInstructionsSheet::save);
    buttons->addWidget(saveButton_);
    return row;
}

void CustomInstructionsSheet::refreshHeader() {
    if (!kippet_)
        return;
    const QColor color =
        kippet_->isDailyKippet() ? dailyKippetColor() : kippet_->color().toQColor();
    badge_->setColor(color);
    badge_->setIcon(kippet_->icon());
    name_->setText(kippet_->name());
}

void CustomInstructionsSheet::refreshControls() {
    const bool hasInstructions = kippet_ && kippet_->customInstructions().has_value();
    clearButton_->setVisible(hasInstructions && !editor_->toPlainText().isEmpty());
    clearButton_->setEnabled(!isSanitizing_);
    cancelButton_->setEnabled(!isSanitizing_);
    saveButton_->setEnabled(!isSanitizing_);
    saveButton_->setBusy(isSanitizing_);
    editor_->setEnabled(!isSanitizing_);
    warning_->setVisible(errorMessage_.has_value());
    warningText_->setText(errorMessage_.value_or(QString()));
}

void CustomInstructionsSheet::setSanitizing(bool sanitizing) {
    isSanitizing_ = sanitizing;
    refreshControls();
}

void CustomInstructionsSheet::setErrorMessage(const std::optional<QString>& message) {
    errorMessage_ = message;
    refreshControls();
    fitHeight();
}

// Wrapped texts need more height at narrower widths, and the warning comes and goes: the sheet
// grows to what its content needs at its width, never less than its minimum.
void CustomInstructionsSheet::fitHeight() {
    const int needed = qMax(minimumHeightFloor, layout()->totalHeightForWidth(width()));
    setMinimumHeight(needed);
    if (height() < needed)
        resize(width(), needed);
}

void CustomInstructionsSheet::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (hasAppeared_ && event->oldSize().width() != event->size().width())
        fitHeight();
}

void CustomInstructionsSheet::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (hasAppeared_)
        return;
    hasAppeared_ = true;
    fitHeight();
    editor_->setText(kippet_ ? kippet_->customInstructions().value_or(QString()) : QString());
    refreshControls();
}

void CustomInstructionsSheet::clear() {
    if (isSanitizing_)
        return;
    editor_->setText(QString());
    onSave_(std::nullopt, std::nullopt);
}

void CustomInstructionsSheet::save() {
    if (isSanitizing_)
        return;
    const QString text = editor_->toPlainText();
    if (CustomInstructions::trimmed(text).isEmpty()) {
        onSave_(std::nullopt, std::nullopt);
        return;
    }
    isSanitizing_ = true;
    errorMessage_.reset();
    refreshControls();
    screenAndSave(QPointer<CustomInstructionsSheet>(this), text, onSave_);
}

// Runs on after the sheet is gone: the result still reaches the presenter's callback, which
// finds the kippet by id; the sheet itself is touched only while it exists.
QCoro::Task<> CustomInstructionsSheet::screenAndSave(QPointer<CustomInstructionsSheet> sheet,
                                                     QString text, SaveCallback onSave) {
    const CustomInstructions::Screened screened = co_await CustomInstructions::screen(text);
    if (sheet)
        sheet->setSanitizing(false);
    if (screened.rejection) {
        if (sheet)
            sheet->setErrorMessage(screened.rejection);
        co_return;
    }
    try {
        onSave(screened.custom, screened.sanitized);
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("❌ [CustomInstructionsSheet] Saving instructions failed: ") +
                  KippetsError::textOf(error));
    } catch (...) {
        Log::line(QStringLiteral("❌ [CustomInstructionsSheet] Saving instructions failed"));
    }
}

void CustomInstructionsSheet::reject() {
    if (isSanitizing_)
        return;
    onCancel_();
}

void CustomInstructionsSheet::dismiss() {
    isDismissed_ = true;
    hide();
    deleteLater();
}

void CustomInstructionsSheet::closeEvent(QCloseEvent* event) {
    if (isDismissed_) {
        event->accept();
        return;
    }
    if (isSanitizing_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}
