#include "editors/KippetNoteEditorView.h"

#include "app/UnsavedEdits.h"
#include "editors/NoteFindBar.h"
#include "editors/NoteTextView.h"
#include "editors/RoundSymbolButton.h"
#include "editors/UnsavedNotice.h"
#include "model/Kippet.h"
#include "platform/Log.h"
#include "store/KippetManager.h"
#include "ui/SymbolNames.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QVBoxLayout>

namespace {
constexpr int margin = RoundSymbolButton::shadowMargin;
constexpr int findBarGap = 10;
} // namespace

KippetNoteEditorView::KippetNoteEditorView(Kippet* kippet, const QColor& accentColor,
                                           QWidget* parent)
    : QWidget(parent), kippet_(kippet),
      closeButton_(new RoundSymbolButton(SymbolNames::checkmark, RoundSymbolButton::Fill::accent)),
      textView_(new NoteTextView), notice_(new UnsavedNotice) {
    setMinimumSize(360, 260);
    closeButton_->setObjectName(QStringLiteral("CloseNotesButton"));
    closeButton_->setToolTip(QStringLiteral("Close Notes"));
    closeButton_->setAccentColor(accentColor);
    connect(closeButton_, &QAbstractButton::clicked, this, &KippetNoteEditorView::closeRequested);

    // The find bar opens in the header, beside the close button: there it covers no text.
    findBar_ = new NoteFindBar(textView_, this);
    auto* header = new QHBoxLayout;
    // The button's own margin holds its shadow; the header's padding makes up the rest.
    header->setContentsMargins(16 - margin, 16 - margin, 16 - margin, 8 - margin);
    header->setSpacing(findBarGap - margin);
    header->addStretch();
    header->addWidget(findBar_, 0, Qt::AlignVCenter);
    header->addWidget(closeButton_);

    auto* editor = new QWidget;
    editor->setObjectName(QStringLiteral("NoteTextEditor"));
    auto* editorLayout = new QVBoxLayout(editor);
    editorLayout->setContentsMargins(16, 0, 16, 20);
    editorLayout->setSpacing(8);
    editorLayout->addWidget(textView_);
    notice_->setObjectName(QStringLiteral("NoteNotSavedNotice"));
    editorLayout->addWidget(notice_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(header);
    layout->addWidget(editor, 1);

    auto* find = new QAction(this);
    find->setShortcut(QKeySequence::Find);
    find->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(find);
    connect(find, &QAction::triggered, findBar_, &NoteFindBar::open);

    showNoteText();
    // Text the store refused before the panel was last closed is still the note being written.
    if (const auto kept = UnsavedEdits::shared().kept(noteKey()))
        textView_->setPlainText(kept->text);
    showSaveState();
    connect(&UnsavedEdits::shared(), &UnsavedEdits::changed, this,
            &KippetNoteEditorView::showSaveState);
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
    if (shownNote_ == text)
        return;
    shownNote_ = text;
    // Only a real change replaces the text: the echo of the user's own typing must leave the
    // caret and the selection alone.
    if (text != textView_->toPlainText())
        textView_->setPlainText(text);
}

void KippetNoteEditorView::writeNoteText() {
    if (!kippet_)
        return;
    const QString text = textView_->toPlainText();
    UnsavedEdits::Edit edit;
    edit.key = noteKey();
    edit.kippetId = kippet_->id();
    edit.kind = UnsavedEdits::Kind::note;
    edit.text = text;
    edit.label = QStringLiteral("the note of ") + UnsavedEdits::quoted(kippet_->name());
    edit.write = [kippet = kippet_, text] {
        if (kippet)
            KippetManager::shared().updateNote(text, kippet);
    };
    // A refused text stays in the editor and is kept: it is written again until the store
    // takes it.
    if (const std::optional<QString> failure = UnsavedEdits::shared().save(std::move(edit)))
        Log::line(QStringLiteral("⚠️ [NoteEditor] Could not save the note: ") + *failure);
}

void KippetNoteEditorView::showSaveState() {
    const std::optional<UnsavedEdits::Edit> kept = UnsavedEdits::shared().kept(noteKey());
    notice_->setText(kept ? QStringLiteral("This note is not saved: ") + kept->reason +
                                UnsavedEdits::shared().retryNote()
                          : QString());
}

QString KippetNoteEditorView::noteKey() const {
    return kippet_ ? QStringLiteral("note:") + kippet_->id().toString(QUuid::WithoutBraces)
                   : QString();
}
