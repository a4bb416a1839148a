#include "editors/SharedTodoRow.h"

#include "app/UnsavedEdits.h"
#include "editors/EditorStyle.h"
#include "editors/TodoCheckbox.h"
#include "editors/TodoTextLabel.h"
#include "model/JsonCoding.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "store/KippetManager.h"
#include "ui/DestructiveMenuStyle.h"
#include "ui/PointerHover.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <chrono>

namespace {
constexpr std::chrono::milliseconds completionGrace{2500};
constexpr double editFontPixels = 14;
} // namespace

SharedTodoRow::Metrics SharedTodoRow::cardMetrics() {
    return {18, 12, 6, 8, 6, SharedTodoRowButtonStyle::borderless};
}

SharedTodoRow::Metrics SharedTodoRow::editorMetrics() {
    return {20, 14, 8, 12, 8, SharedTodoRowButtonStyle::plain};
}

SharedTodoRow::SharedTodoRow(const KippetTodo& todo, Kippet* kippet, const Metrics& metrics,
                             QWidget* parent)
    : QWidget(parent), todo_(todo), kippet_(kippet), metrics_(metrics) {
    setAttribute(Qt::WA_Hover);
    checkbox_ = new TodoCheckbox(metrics.checkboxSize, metrics.checkboxFillSize, this);
    checkbox_->setObjectName(QStringLiteral("TodoCheckbox_") + JsonCoding::encodeUuid(todo.id));
    connect(checkbox_, &QAbstractButton::clicked, this, &SharedTodoRow::toggleCompletion);

    text_ = new TodoTextLabel(this);
    text_->setObjectName(QStringLiteral("TodoText_") + JsonCoding::encodeUuid(todo.id));
    connect(text_, &TodoTextLabel::editRequested, this, &SharedTodoRow::startEdit);

    editor_ = new QWidget(this);
    editField_ = new QLineEdit(editor_);
    editField_->setPlaceholderText(QStringLiteral("Todo text"));
    editField_->setFrame(false);
    editField_->setFont(Theme::systemFont(editFontPixels));
    EditorStyle::makeTransparent(editField_);
    connect(editField_, &QLineEdit::returnPressed, this, &SharedTodoRow::saveEdit);
    saveButton_ = new QToolButton(editor_);
    saveButton_->setObjectName(QStringLiteral("TodoSaveButton"));
    saveButton_->setAutoRaise(true);
    saveButton_->setFocusPolicy(Qt::NoFocus);
    saveButton_->setCursor(Qt::PointingHandCursor);
    saveButton_->setIcon(Symbols::icon(SymbolNames::checkmarkCircleFill, Theme::green()));
    // Borderless buttons draw their symbol at 16 points, plain ones at the text size.
    const int iconSide = metrics.buttonStyle == SharedTodoRowButtonStyle::borderless ? 18 : 15;
    saveButton_->setIconSize(QSize(iconSide, iconSide));
    saveButton_->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; }"));
    connect(saveButton_, &QToolButton::clicked, this, &SharedTodoRow::saveEdit);
    auto* editorLayout = new QHBoxLayout(editor_);
    editorLayout->setContentsMargins(0, 0, 0, 0);
    editorLayout->setSpacing(8);
    editorLayout->addWidget(editField_, 1);
    editorLayout->addWidget(saveButton_);
    editor_->hide();

    auto* layout = new QHBoxLayout(this);
    const int horizontal = qRound(metrics.horizontalPadding);
    const int vertical = qRound(metrics.verticalPadding);
    layout->setContentsMargins(horizontal, vertical, horizontal, vertical);
    layout->setSpacing(spacing);
    layout->addWidget(checkbox_, 0, Qt::AlignVCenter);
    layout->addWidget(text_, 1);
    layout->addWidget(editor_, 1);
    showTodo();
}

void SharedTodoRow::setTodo(const KippetTodo& todo) {
    if (todo == todo_)
        return;
    todo_ = todo;
    showTodo();
}

void SharedTodoRow::showTodo() {
    checkbox_->setDone(todo_.isDone);
    checkbox_->setAccessibleName(QStringLiteral("Toggle completion for ") + todo_.text);
    text_->showTodo(todo_.text, todo_.isDone);
}

void SharedTodoRow::setEditing(bool editing, const QString& text) {
    editing_ = editing;
    editField_->setText(editing ? text : QString());
    text_->setVisible(!editing);
    editor_->setVisible(editing);
}

QString SharedTodoRow::editingText() const {
    return editField_->text();
}

void SharedTodoRow::startEdit() {
    if (onStartEdit)
        onStartEdit();
}

void SharedTodoRow::saveEdit() {
    if (onSaveEdit)
        onSaveEdit();
}

void SharedTodoRow::toggleCompletion() {
    if (!kippet_)
        return;
    KippetTodo changed = todo_;
    changed.isDone = !changed.isDone;
    if (changed.isDone)
        changed.completionTransitionDeadline =
            Clock::shared().now().addMSecs(completionGrace.count());
    else
        changed.completionTransitionDeadline.reset();
    try {
        KippetManager::shared().updateTodo(changed, kippet_);
    } catch (const KippetsError&) {
        // The manager keeps the todo as it was, and so does the row.
    }
}

void SharedTodoRow::deleteTodo() {
    if (!kippet_)
        return;
    try {
        KippetManager::shared().deleteTodo(todo_.id, kippet_);
    } catch (const KippetsError&) {
        // The todo stays where it was.
    }
}

bool SharedTodoRow::saveEditedText(const KippetTodo& todo, const QString& text, Kippet* kippet) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || !kippet)
        return false;
    UnsavedEdits::Edit edit;
    edit.key = QStringLiteral("todo:") + JsonCoding::encodeUuid(todo.id);
    edit.kippetId = kippet->id();
    edit.kind = UnsavedEdits::Kind::todo;
    edit.text = trimmed;
    edit.label = QStringLiteral("the todo ") + UnsavedEdits::quoted(trimmed);
    // A kept edit is written onto the todo as it is then, so a tick made meanwhile stays.
    edit.write = [todoId = todo.id, trimmed, target = QPointer<Kippet>(kippet)] {
        if (!target)
            return;
        const QList<KippetTodo> todos = target->todos();
        for (const KippetTodo& current : todos) {
            if (current.id != todoId)
                continue;
            KippetTodo changed = current;
            changed.text = trimmed;
            KippetManager::shared().updateTodo(changed, target);
            return;
        }
    };
    if (const std::optional<QString> failure = UnsavedEdits::shared().save(std::move(edit)))
        Log::line(QStringLiteral("⚠️ [TodoEditor] Could not save the todo: ") + *failure);
    return true;
}

void SharedTodoRow::paintEvent(QPaintEvent*) {
    if (!hovering_)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), metrics_.cornerRadius, metrics_.cornerRadius);
    painter.fillPath(path, Theme::withAlpha(Theme::primary(palette()), 0.05));
}

void SharedTodoRow::followPointer() {
    const bool hovering = PointerHover::isUnderPointer(this);
    if (std::exchange(hovering_, hovering) != hovering)
        update();
}

void SharedTodoRow::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    hovering_ = true;
    update();
}

void SharedTodoRow::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    hovering_ = false;
    update();
}

void SharedTodoRow::contextMenuEvent(QContextMenuEvent* event) {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("TodoRowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QString deleteLabel = QStringLiteral("Delete");
    // Deleting asks for no confirmation: the entry says in red what it does.
    auto* style = new DestructiveMenuStyle({deleteLabel});
    style->setParent(menu);
    menu->setStyle(style);
    connect(menu->addAction(QStringLiteral("Edit")), &QAction::triggered, this,
            &SharedTodoRow::startEdit);
    connect(menu->addAction(deleteLabel), &QAction::triggered, this, &SharedTodoRow::deleteTodo);
    menu->popup(event->globalPos());
    event->accept();
}
