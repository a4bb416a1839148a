#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>

class Kippet;
class QLineEdit;
class QScrollArea;
class RoundSymbolButton;
class TodoListView;
class UnsavedNotice;

// The todo panel's content: a field and a round button that add a todo, a divider, and the
// kippet's todos in a scrolling list (or, without any, an empty state), with a round close
// button floating over the list's bottom-right corner.
class KippetTodoEditorView : public QWidget {
    Q_OBJECT
public:
    static constexpr double fieldFontPixels = 15;
    // How long after the press or Return the todo is added.
    static constexpr int addDelayMilliseconds = 50;

    KippetTodoEditorView(Kippet* kippet, const QColor& accentColor, QWidget* parent = nullptr);

    void setAccentColor(const QColor& color);

    QLineEdit* addField() const { return addField_; }
    RoundSymbolButton* addButton() const { return addButton_; }
    TodoListView* list() const { return list_; }
    UnsavedNotice* unsavedNotice() const { return notice_; }

    // Clears the field at once and adds its trimmed text a moment later, or at once when the app
    // quits first; blank text adds nothing.
    // A todo the store refuses is kept and added as soon as the store takes it; until then a
    // notice under the field names it and says why.
    void addTodo();

signals:
    // The close button was pressed.
    void closeRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateAddButton();
    void placeCloseButton();
    // The kippet's todos whose add or edit the store has not taken yet, or nothing.
    void showSaveState();

    QPointer<Kippet> kippet_;
    QLineEdit* addField_;
    RoundSymbolButton* addButton_;
    UnsavedNotice* notice_;
    QScrollArea* scrollArea_;
    TodoListView* list_;
    RoundSymbolButton* closeButton_;
};
