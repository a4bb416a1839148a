#pragma once

#include "editors/SharedTodoRow.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QUuid>
#include <QWidget>
#include <optional>

class Kippet;
class QVariantAnimation;

// Every todo of a kippet as shared rows: the open todos, then the done ones, each part in display
// order. It follows every change of the kippet's todos, reusing the row of each todo (so an edit
// under way keeps its text and focus) and animating the change over 0.35 s with an ease-in-out:
// rows move to their new places, new open rows slide in from the top while fading in, new done
// rows fade in, rows of removed todos fade out. With animations off every change is complete at
// once. It keeps which one row is being edited. Pressing inside the list never moves the panel
// around it. The todo editor panel and the todo card both list todos with it.
class TodoListView : public QWidget {
    Q_OBJECT
public:
    static constexpr int spacing = 8;
    static constexpr int animationMilliseconds = 350;

    TodoListView(Kippet* kippet, const SharedTodoRow::Metrics& metrics, QWidget* parent = nullptr);
    ~TodoListView() override;

    // A view shown below the rows while the kippet has no todos at all; the list owns it.
    void setEmptyState(QWidget* emptyState);
    bool isShowingEmptyState() const;

    // The rows as they are listed now, leaving rows excluded.
    QList<SharedTodoRow*> openRows() const;
    QList<SharedTodoRow*> doneRows() const;
    SharedTodoRow* row(const QUuid& todoId) const;
    bool isAnimating() const;
    // Hover from where the pointer stands now: after a scroll, and after rows moved.
    void followPointer();

    std::optional<QUuid> editingTodoId() const { return editingTodoId_; }
    void startEditing(const KippetTodo& todo);
    // Saves the edited text of the todo's row through SharedTodoRow::saveEditedText, then ends
    // edit mode, whether or not anything was saved.
    void saveEdit(const KippetTodo& todo);
    void cancelEdit();

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    // Lists the kippet's todos as they are now.
    void reload();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Motion {
        QPointer<QWidget> widget;
        QRect from;
        QRect to;
        double fromOpacity = 1;
        double toOpacity = 1;
        bool removeAtEnd = false;
    };

    SharedTodoRow* makeRow(const KippetTodo& todo);
    QList<QWidget*> listedWidgets() const;
    // The places of the listed widgets for a width; the list's height goes to `height`.
    QHash<QWidget*, QRect> targets(int width, int* height = nullptr) const;
    void relayout();
    void animate(QList<Motion> motions);
    void step(double progress);
    void finishAnimation();
    static double opacityOf(const QWidget* widget);
    static void setOpacity(QWidget* widget, double opacity);

    QPointer<Kippet> kippet_;
    SharedTodoRow::Metrics metrics_;
    QList<SharedTodoRow*> open_;
    QList<SharedTodoRow*> done_;
    QHash<QUuid, SharedTodoRow*> rows_;
    QWidget* emptyState_ = nullptr;
    std::optional<QUuid> editingTodoId_;
    QList<Motion> motions_;
    QVariantAnimation* animation_ = nullptr;
};
