#include "editors/KippetNoteEditorView.h"

#include "editors/NoteTextView.h"
#include "editors/RoundSymbolButton.h"
#include "model/Kippet.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "store/KippetManager.h"
#include "ui/SymbolNames.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace {
constexpr int margin = RoundSymbolButton::shadowMargin;
} // namespace

KippetNoteEditorView::KippetNoteEditorView(Kippet* kippet, const QColor& accentColor,
                                           QWidget* parent)
    : QWidget(parent), kippet_(kippet),
      closeButton_(new RoundSymbolButton(SymbolNames::checkmark, RoundSymbolButton::Fill::accent)),
      textView_(new NoteTextView) {
    setMinimumSize(360, 260);
    closeButton_->setObjectName(QStringLiteral("CloseNotesButton"));
    closeButton_->setToolTip(QStringLiteral("Close Notes"));
    closeButton_->setAccentColor(accentColor);
    connect(closeButton_, &QAbstractButton::clicked, this, &KippetNoteEditorView::closeRequested);

    auto* header = new QHBoxLayout;
    // The button's own margin holds its shadow; the header's padding makes up the rest.
    header->setContentsMargins(16 - margin, 16 - margin, 16 - margin, 8 - margin);
    header->addStretch();
    header->addWidget(closeButton_);

    auto* editor = new QWidget;
    editor->setObjectName(QStringLiteral("NoteTextEditor"));
    auto* editorLayout = new QVBoxLayout(editor);
    editorLayout->setContentsMargins(16, 0, 16, 20);
    editorLayout->addWidget(textView_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(header);
    layout->addWidget(editor, 1);

    showNoteText();
    // The caret is in the note as soon as the panel is shown.
    textView_->setFocus();
    connect(textView_, &QPlainTextEdit::textChanged, this, &KippetNoteEditorView::writeNoteText);
    if (kippet)
        connect(kippet, &Kippet::noteChanged, this, &KippetNoteEditorView::showNoteText);
}

void KippetNoteEditorView::setAccentColor(const QColor& color) {
    closeButton_->setAccentColor(color);
}

void KippetNoteEditorView::showNoteText() {
    if (!kippet_)
        return;
    const QString text = kippet_->note().text;
    // Only a real change replaces the text: the echo of the user's own typing must leave the
    // caret and the selection alone.
    if (text != textView_->toPlainText())
        textView_->setPlainText(text);
}

void KippetNoteEditorView::writeNoteText() {
    if (!kippet_)
        return;
    try {
        KippetManager::shared().updateNote(textView_->toPlainText(), kippet_);
    } catch (const KippetsError& error) {
        // The text stays in the editor; the next change writes the whole text again.
        Log::line(QStringLiteral("⚠️ [NoteEditor] Could not save the note: ") +
                  error.errorDescription());
    }
}
