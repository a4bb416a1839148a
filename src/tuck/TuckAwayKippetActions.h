#pragma once

#include <QPointer>
#include <QWidget>

class Kippet;
class TuckAwayActionButton;

// The strip under a hovered tray row: paste into the kippet, its note editor, import files,
// its todo editor. All of them leave the kippet tucked. The editor buttons light up while the
// kippet's window has that editor open, read from the registry without making a window.
class TuckAwayKippetActions : public QWidget {
    Q_OBJECT
public:
    explicit TuckAwayKippetActions(Kippet* kippet, QWidget* parent = nullptr);

    bool isNoteEditorOpen() const { return isNoteEditorOpen_; }
    bool isTodoEditorOpen() const { return isTodoEditorOpen_; }
    TuckAwayActionButton* pasteButton() const { return paste_; }
    TuckAwayActionButton* noteButton() const { return note_; }
    TuckAwayActionButton* importButton() const { return import_; }
    TuckAwayActionButton* todoButton() const { return todo_; }

    void refreshEditorState();

private:
    void paste();
    void toggleNotes();
    void import();
    void toggleTodos();
    void updateButtons();

    QPointer<Kippet> kippet_;
    bool isNoteEditorOpen_ = false;
    bool isTodoEditorOpen_ = false;
    TuckAwayActionButton* paste_;
    TuckAwayActionButton* note_;
    TuckAwayActionButton* import_;
    TuckAwayActionButton* todo_;
};
