#include "editors/TodoListView.h"

#include "editors/TodoLists.h"
#include "model/Kippet.h"
#include "platform/Animations.h"
#include "platform/Clock.h"

#include <QEasingCurve>
#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QSet>
#include <QVariantAnimation>

namespace {
int heightOf(QWidget* widget, int width) {
    return widget->hasHeightForWidth() ? widget->heightForWidth(width)
                                       : widget->sizeHint().height();
}

QRect interpolated(const QRect& from, const QRect& to, double progress) {
    const auto mix = [progress](int a, int b) { return qRound(a + (b - a) * progress); };
    return QRect(mix(from.x(), to.x()), mix(from.y(), to.y()), mix(from.width(), to.width()),
                 mix(from.height(), to.height()));
}

} // namespace

TodoListView::TodoListView(Kippet* kippet, const SharedTodoRow::Metrics& metrics, QWidget* parent)
    : QWidget(parent), kippet_(kippet), metrics_(metrics) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    animation_ = new QVariantAnimation(this);
    animation_->setDuration(animationMilliseconds);
    animation_->setEasingCurve(Animations::easeInOut());
    animation_->setStartValue(0.0);
    animation_->setEndValue(1.0);
    connect(animation_, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { step(value.toDouble()); });
    connect(animation_, &QVariantAnimation::finished, this, &TodoListView::finishAnimation);
    if (kippet)
        connect(kippet, &Kippet::todosChanged, this, &TodoListView::reload);
    reload();
}

TodoListView::~TodoListView() {
    // The widgets go with the list; the animation must not touch them on the way.
    animation_->stop();
}

void TodoListView::setEmptyState(QWidget* emptyState) {
    delete emptyState_;
    emptyState_ = emptyState;
    emptyState_->setParent(this);
    emptyState_->setVisible(isShowingEmptyState());
    relayout();
}

bool TodoListView::isShowingEmptyState() const {
    return emptyState_ && kippet_ && kippet_->todos().isEmpty();
}

QList<SharedTodoRow*> TodoListView::openRows() const {
    return open_;
}

QList<SharedTodoRow*> TodoListView::doneRows() const {
    return done_;
}

SharedTodoRow* TodoListView::row(const QUuid& todoId) const {
    return rows_.value(todoId);
}

bool TodoListView::isAnimating() const {
    return animation_->state() == QAbstractAnimation::Running;
}

SharedTodoRow* TodoListView::makeRow(const KippetTodo& todo) {
    auto* row = new SharedTodoRow(todo, kippet_, metrics_, this);
    row->onStartEdit = [this, row] { startEditing(row->todo()); };
    row->onSaveEdit = [this, row] { saveEdit(row->todo()); };
    row->onCancelEdit = [this] { cancelEdit(); };
    rows_.insert(todo.id, row);
    return row;
}

void TodoListView::reload() {
    const TodoLists lists =
        kippet_ ? TodoLists::split(kippet_->todos(), Clock::shared().now()) : TodoLists{};
    QHash<QUuid, SharedTodoRow*> previous = rows_;
    QSet<QWidget*> entering;
    const auto take = [&](const QList<KippetTodo>& todos) {
        QList<SharedTodoRow*> listed;
        for (const KippetTodo& todo : todos) {
            SharedTodoRow* row = previous.take(todo.id);
            if (row) {
                row->setTodo(todo);
            } else {
                row = makeRow(todo);
                entering.insert(row);
            }
            listed.append(row);
        }
        return listed;
    };
    open_ = take(lists.open);
    done_ = take(lists.done);

    QList<Motion> motions;
    for (SharedTodoRow* gone : std::as_const(previous)) {
        rows_.remove(gone->todo().id);
        if (editingTodoId_ == gone->todo().id)
            editingTodoId_.reset();
        motions.append({gone, gone->geometry(), gone->geometry(), opacityOf(gone), 0, true});
    }
    if (emptyState_) {
        if (emptyState_->isHidden() && isShowingEmptyState())
            entering.insert(emptyState_);
        emptyState_->setVisible(isShowingEmptyState());
    }

    const QHash<QWidget*, QRect> places = targets(width());
    for (QWidget* widget : listedWidgets()) {
        const QRect to = places.value(widget);
        if (entering.contains(widget)) {
            // New open rows come down from above the list; new done rows only fade in.
            auto* row = qobject_cast<SharedTodoRow*>(widget);
            const bool fromTop = row && open_.contains(row);
            const QRect from = fromTop ? to.translated(0, -(to.bottom() + 1)) : to;
            widget->setGeometry(from);
            widget->show();
            motions.append({widget, from, to, 0, 1, false});
        } else {
            motions.append({widget, widget->geometry(), to, opacityOf(widget), 1, false});
        }
    }
    updateGeometry();
    animate(std::move(motions));
}

QList<QWidget*> TodoListView::listedWidgets() const {
    QList<QWidget*> widgets;
    for (SharedTodoRow* row : open_)
        widgets.append(row);
    for (SharedTodoRow* row : done_)
        widgets.append(row);
    if (isShowingEmptyState())
        widgets.append(emptyState_);
    return widgets;
}

QHash<QWidget*, QRect> TodoListView::targets(int width, int* height) const {
    const QMargins margins = contentsMargins();
    const int inner = std::max(0, width - margins.left() - margins.right());
    QHash<QWidget*, QRect> places;
    int y = margins.top();
    bool first = true;
    for (QWidget* widget : listedWidgets()) {
        if (!first)
            y += spacing;
        first = false;
        const int rowHeight = heightOf(widget, inner);
        places.insert(widget, QRect(margins.left(), y, inner, rowHeight));
        y += rowHeight;
    }
    if (height)
        *height = y + margins.bottom();
    return places;
}

int TodoListView::heightForWidth(int width) const {
    int height = 0;
    targets(width, &height);
    return height;
}

QSize TodoListView::sizeHint() const {
    const int width = std::max(this->width(), 200);
    return QSize(width, heightForWidth(width));
}

QSize TodoListView::minimumSizeHint() const {
    return QSize(0, heightForWidth(std::max(width(), 200)));
}

void TodoListView::relayout() {
    updateGeometry();
    if (isAnimating()) {
        // The running animation ends at the new places.
        const QHash<QWidget*, QRect> places = targets(width());
        for (Motion& motion : motions_) {
            if (!motion.removeAtEnd && motion.widget && places.contains(motion.widget))
                motion.to = places.value(motion.widget);
        }
        return;
    }
    const QHash<QWidget*, QRect> places = targets(width());
    for (auto it = places.begin(); it != places.end(); ++it)
        it.key()->setGeometry(it.value());
}

void TodoListView::animate(QList<Motion> motions) {
    animation_->stop();
    finishAnimation();
    motions_ = std::move(motions);
    if (!Animations::enabled() || !isVisible()) {
        finishAnimation();
        return;
    }
    for (Motion& motion : motions_) {
        if (motion.widget && (motion.fromOpacity < 1 || motion.toOpacity < 1))
            setOpacity(motion.widget, motion.fromOpacity);
    }
    animation_->start();
}

void TodoListView::step(double progress) {
    for (Motion& motion : motions_) {
        if (!motion.widget)
            continue;
        motion.widget->setGeometry(interpolated(motion.from, motion.to, progress));
        if (motion.fromOpacity < 1 || motion.toOpacity < 1)
            setOpacity(motion.widget,
                       motion.fromOpacity + (motion.toOpacity - motion.fromOpacity) * progress);
    }
}

void TodoListView::finishAnimation() {
    const QList<Motion> motions = std::exchange(motions_, {});
    for (const Motion& motion : motions) {
        if (!motion.widget)
            continue;
        if (motion.removeAtEnd) {
            motion.widget->hide();
            // Deleted later: the row may be the one whose menu or button started the change.
            motion.widget->deleteLater();
            continue;
        }
        motion.widget->setGeometry(motion.to);
        motion.widget->setGraphicsEffect(nullptr);
    }
    followPointer();
}

void TodoListView::followPointer() {
    for (SharedTodoRow* row : findChildren<SharedTodoRow*>(Qt::FindDirectChildrenOnly))
        row->followPointer();
}

double TodoListView::opacityOf(const QWidget* widget) {
    const auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    return effect ? effect->opacity() : 1.0;
}

void TodoListView::setOpacity(QWidget* widget, double opacity) {
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(widget);
        widget->setGraphicsEffect(effect);
    }
    effect->setOpacity(opacity);
}

void TodoListView::startEditing(const KippetTodo& todo) {
    if (editingTodoId_ && *editingTodoId_ != todo.id) {
        // Another row's unsaved text is dropped.
        if (SharedTodoRow* previous = row(*editingTodoId_))
            previous->setEditing(false);
    }
    editingTodoId_ = todo.id;
    if (SharedTodoRow* editing = row(todo.id))
        editing->setEditing(true, todo.text);
    relayout();
}

void TodoListView::saveEdit(const KippetTodo& todo) {
    SharedTodoRow* editing = row(todo.id);
    const QString text = editing ? editing->editingText() : QString();
    SharedTodoRow::saveEditedText(todo, text, kippet_);
    cancelEdit();
}

void TodoListView::cancelEdit() {
    if (editingTodoId_) {
        if (SharedTodoRow* editing = row(*editingTodoId_))
            editing->setEditing(false);
    }
    editingTodoId_.reset();
    relayout();
}

void TodoListView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

// The list keeps every press, so a drag that starts in it never moves the panel.
void TodoListView::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void TodoListView::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
}

void TodoListView::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}
