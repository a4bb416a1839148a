#pragma once

#include <QColor>
#include <QPointer>
#include <QWidget>

class Kippet;
class QLineEdit;
class QScrollArea;
class RoundSymbolButton;
class TodoListView;

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

    // Clears the field at once and adds its trimmed text a moment later; blank text adds nothing.
    // When the add fails the text comes back into the field, unless something new was typed.
    void addTodo();

signals:
    // The close button was pressed.
    void closeRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateAddButton();
    void placeCloseButton();

    QPointer<Kippet> kippet_;
    QLineEdit* addField_;
    RoundSymbolButton* addButton_;
    QScrollArea* scrollArea_;
    TodoListView* list_;
    RoundSymbolButton* closeButton_;
};
