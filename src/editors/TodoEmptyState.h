#pragma once

#include <QWidget>

class QLabel;

// What the todo editor's list shows for a kippet without any todo: a checklist symbol, "No todos
// yet" and a hint to add one above.
class TodoEmptyState : public QWidget {
    Q_OBJECT
public:
    explicit TodoEmptyState(QWidget* parent = nullptr);

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColours();

    QLabel* symbol_;
    QLabel* title_;
    QLabel* hint_;
};
