#pragma once

#include "model/KippetTodo.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class Kippet;
class QLineEdit;
class QToolButton;
class TodoCheckbox;
class TodoTextLabel;

enum class SharedTodoRowButtonStyle { plain, borderless };

// One todo of a kippet, wherever todos are listed: a round checkbox that ticks and unticks it,
// its text, and while its owner has put it into edit mode, a text field with a save button. Its
// context menu offers "Edit" and "Delete". Which row is edited and what a save does belong to the
// owner; the row reports the user's intent through its callbacks. Ticking, unticking and
// deleting go to the kippet manager straight from the row; their errors are dropped, as the
// manager leaves the kippet as it was.
class SharedTodoRow : public QWidget {
    Q_OBJECT
public:
    // The sizes an owner gives its rows.
    struct Metrics {
        double checkboxSize;
        double checkboxFillSize;
        double verticalPadding;
        double horizontalPadding;
        double cornerRadius;
        SharedTodoRowButtonStyle buttonStyle;
    };
    // The compact rows of the todo card in the kippet window.
    static Metrics cardMetrics();
    // The rows of the todo editor panel.
    static Metrics editorMetrics();

    static constexpr int spacing = 12;

    SharedTodoRow(const KippetTodo& todo, Kippet* kippet, const Metrics& metrics,
                  QWidget* parent = nullptr);

    const KippetTodo& todo() const { return todo_; }
    // Shows another state of the same todo.
    void setTodo(const KippetTodo& todo);

    bool isEditing() const { return editing_; }
    // Edit mode on, with the text to edit, or off. Focus stays where it is.
    void setEditing(bool editing, const QString& text = {});
    // The text in the edit field.
    QString editingText() const;

    bool isHovering() const { return hovering_; }
    // Hover from where the pointer stands now, after the row moved under a still pointer.
    void followPointer();

    // Set by the owner.
    std::function<void()> onStartEdit;
    std::function<void()> onSaveEdit;
    // Kept for the owner; no control of the row runs it.
    std::function<void()> onCancelEdit;

    // Ticks an open todo with 2.5 s of grace before it counts as done, or unticks a done one.
    void toggleCompletion();
    void deleteTodo();

    // The owners' save: the text trimmed of whitespace and newlines at both ends becomes the
    // todo's text; false, changing nothing, when nothing is left. Text the store refuses is kept
    // in UnsavedEdits and written as soon as the store takes it.
    static bool saveEditedText(const KippetTodo& todo, const QString& text, Kippet* kippet);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void showTodo();
    void startEdit();
    void saveEdit();

    KippetTodo todo_;
    QPointer<Kippet> kippet_;
    Metrics metrics_;
    bool editing_ = false;
    bool hovering_ = false;
    TodoCheckbox* checkbox_;
    TodoTextLabel* text_;
    QWidget* editor_;
    QLineEdit* editField_;
    QToolButton* saveButton_;
};
