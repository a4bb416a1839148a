#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>

class Kippet;
class NoteTextView;
class RoundSymbolButton;

// The note panel's content: a round close button at the top right and the note's text below.
// Every change of the text goes to the kippet manager at once; a change of the note made
// elsewhere replaces the text only when it differs, so typing never loses its caret.
class KippetNoteEditorView : public QWidget {
    Q_OBJECT
public:
    KippetNoteEditorView(Kippet* kippet, const QColor& accentColor, QWidget* parent = nullptr);

    void setAccentColor(const QColor& color);
    NoteTextView* textView() const { return textView_; }

signals:
    // The close button was pressed.
    void closeRequested();

private:
    void showNoteText();
    void writeNoteText();

    QPointer<Kippet> kippet_;
    RoundSymbolButton* closeButton_;
    NoteTextView* textView_;
};
