#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>
#include <optional>

class Kippet;
class NoteFindBar;
class NoteTextView;
class RoundSymbolButton;
class UnsavedNotice;

// The note panel's content: a round close button at the top right and the note's text below.
// Every change of the text goes to the kippet manager at once; a change of the note made
// elsewhere replaces the text only when it differs, so typing never loses its caret. While the
// store refuses the text, a notice under it says so and why; the text stays, is written again
// with the next change and once a second, and the notice goes once a write succeeds. The find
// key opens a find bar in the header, left of the close button.
class KippetNoteEditorView : public QWidget {
    Q_OBJECT
public:
    KippetNoteEditorView(Kippet* kippet, const QColor& accentColor, QWidget* parent = nullptr);

    void setAccentColor(const QColor& color);
    NoteTextView* textView() const { return textView_; }
    UnsavedNotice* unsavedNotice() const { return notice_; }
    NoteFindBar* findBar() const { return findBar_; }

signals:
    // The close button was pressed.
    void closeRequested();

private:
    void showNoteText();
    void writeNoteText();
    void showSaveState();
    QString noteKey() const;

    QPointer<Kippet> kippet_;
    RoundSymbolButton* closeButton_;
    NoteTextView* textView_;
    UnsavedNotice* notice_;
    NoteFindBar* findBar_;
    // The note's text as last shown from the kippet: a note that changes only its frame or time
    // must not replace text the store has not taken yet.
    std::optional<QString> shownNote_;
};
