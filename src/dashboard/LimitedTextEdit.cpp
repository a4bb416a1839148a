#include "dashboard/LimitedTextEdit.h"

#include "analysis/PerceivedText.h"

#include <QMimeData>
#include <QTextCursor>

LimitedTextEdit::LimitedTextEdit(qsizetype limit, QWidget* parent)
    : QPlainTextEdit(parent), limit_(limit) {
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, &LimitedTextEdit::textDidChange);
}

QString LimitedTextEdit::leadingCharacters(const QString& text, qsizetype count) {
    if (count <= 0)
        return QString();
    // A boundary found before the end of a window is a boundary of the whole text too, since
    // the character after it is in the window; so the window grows until it holds `count`
    // whole characters.
    qsizetype window = count * 4 + 16;
    while (window < text.size()) {
        const QString head = text.left(window);
        const QString cut = PerceivedText::prefix(head, count);
        if (cut.size() < head.size())
            return cut;
        window *= 2;
    }
    return PerceivedText::prefix(text, count);
}

void LimitedTextEdit::setText(const QString& text) {
    if (text == toPlainText())
        return;
    settingText_ = true;
    setPlainText(text);
    settingText_ = false;
    moveCursor(QTextCursor::End);
}

void LimitedTextEdit::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText())
        return;
    QString remaining = toPlainText();
    const QTextCursor cursor = textCursor();
    remaining.remove(cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart());
    const qsizetype room = limit_ - PerceivedText::length(remaining);
    if (room <= 0)
        return;
    QMimeData cut;
    cut.setText(leadingCharacters(source->text(), room));
    QPlainTextEdit::insertFromMimeData(&cut);
}

void LimitedTextEdit::textDidChange() {
    const QString text = toPlainText();
    qsizetype length = PerceivedText::length(text);
    if (length > limit_ && !settingText_) {
        // Typing past the end, or a paste whose first character joins the one before it.
        settingText_ = true;
        setPlainText(leadingCharacters(text, limit_));
        settingText_ = false;
        moveCursor(QTextCursor::End);
        length = PerceivedText::length(toPlainText());
    }
    if (length != length_) {
        length_ = length;
        emit perceivedLengthChanged(length_);
    }
}
