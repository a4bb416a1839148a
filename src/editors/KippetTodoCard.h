#pragma once

#include "editors/KippetCardFrame.h"

#include <functional>

class QLabel;
class QToolButton;
class TodoListView;

// The kippet's todos in the expanded window, below the note card: "Todos", the count of open
// todos against all, a "+" button that asks the window for its todo editor, then the open and
// the done todos as compact shared rows, ticked, edited and deleted in place. New todos are
// added in the editor, not here.
class KippetTodoCard : public KippetCardFrame {
    Q_OBJECT
public:
    KippetTodoCard(Kippet* kippet, std::function<void()> onOpenEditor, QWidget* parent = nullptr);

    // "open/total"; empty while the kippet has no todos.
    QString countText() const;
    QToolButton* addButton() const { return addButton_; }
    TodoListView* list() const { return list_; }
    // The card and its rows, after they moved under a still pointer.
    void followPointer() override;

protected:
    void updateLook() override;

private:
    QWidget* makeHeader();
    void updateCount();

    std::function<void()> onOpenEditor_;
    QLabel* symbol_ = nullptr;
    QLabel* count_ = nullptr;
    QToolButton* addButton_ = nullptr;
    QLabel* empty_ = nullptr;
    TodoListView* list_ = nullptr;
};
