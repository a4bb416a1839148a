#include "editors/NoteTextView.h"

#include "editors/EditorStyle.h"
#include "ui/Theme.h"

#include <QMimeData>
#include <QScrollBar>
#include <QTextDocumentFragment>

namespace {
// What the data says as plain text: its own plain text, else its HTML stripped of markup.
QString plainTextOf(const QMimeData& source) {
    if (source.hasText())
        return source.text();
    if (source.hasHtml())
        return QTextDocumentFragment::fromHtml(source.html()).toPlainText();
    return {};
}
} // namespace

NoteTextView::NoteTextView(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("NoteTextView"));
    setFrameShape(QFrame::NoFrame);
    setFont(Theme::systemFont(fontPixels));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setTabChangesFocus(false);
    EditorStyle::makeTransparent(this);
    EditorStyle::makeTransparent(viewport());
    // Four points of inset at the sides and twelve above and below the text.
    document()->setDocumentMargin(4);
    setViewportMargins(0, 8, 0, 8);
}

bool NoteTextView::canInsertFromMimeData(const QMimeData* source) const {
    return source && (source->hasText() || source->hasHtml());
}

void NoteTextView::insertFromMimeData(const QMimeData* source) {
    if (!source)
        return;
    const QString text = plainTextOf(*source);
    if (!text.isEmpty())
        insertPlainText(text);
}

QMimeData* NoteTextView::createMimeDataFromSelection() const {
    auto* data = new QMimeData;
    // The selection's text with paragraph breaks as newlines.
    data->setText(textCursor().selection().toPlainText());
    return data;
}
