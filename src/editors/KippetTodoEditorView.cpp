#include "editors/KippetTodoEditorView.h"

#include "app/UnsavedEdits.h"
#include "editors/EditorStyle.h"
#include "editors/RoundSymbolButton.h"
#include "editors/SharedTodoRow.h"
#include "editors/TodoEmptyState.h"
#include "editors/TodoListView.h"
#include "editors/UnsavedNotice.h"
#include "model/Kippet.h"
#include "platform/Log.h"
#include "store/KippetManager.h"
#include "ui/SymbolNames.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <chrono>

namespace {
constexpr int margin = RoundSymbolButton::shadowMargin;

// A hairline between the add row and the list.
class Divider : public QWidget {
public:
    Divider() { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Theme::separator(palette()));
    }
};
} // namespace

KippetTodoEditorView::KippetTodoEditorView(Kippet* kippet, const QColor& accentColor,
                                           QWidget* parent)
    : QWidget(parent), kippet_(kippet), addField_(new QLineEdit),
      addButton_(new RoundSymbolButton(SymbolNames::plus, RoundSymbolButton::Fill::accent)),
      notice_(new UnsavedNotice), scrollArea_(new QScrollArea),
      list_(new TodoListView(kippet, SharedTodoRow::editorMetrics())),
      closeButton_(new RoundSymbolButton(SymbolNames::arrowDownRightAndArrowUpLeft,
                                         RoundSymbolButton::Fill::material, this)) {
    setMinimumSize(360, 300);

    addField_->setObjectName(QStringLiteral("AddTodoTextField"));
    addField_->setPlaceholderText(QStringLiteral("Add a todo..."));
    addField_->setFrame(false);
    addField_->setFont(Theme::systemFont(fieldFontPixels));
    EditorStyle::makeTransparent(addField_);
    connect(addField_, &QLineEdit::returnPressed, this, &KippetTodoEditorView::addTodo);
    connect(addField_, &QLineEdit::textChanged, this, &KippetTodoEditorView::updateAddButton);

    addButton_->setObjectName(QStringLiteral("AddTodoButton"));
    addButton_->setToolTip(QStringLiteral("Add Todo"));
    addButton_->setAccentColor(accentColor);
    connect(addButton_, &QAbstractButton::clicked, this, &KippetTodoEditorView::addTodo);
    updateAddButton();

    auto* addRow = new QHBoxLayout;
    // The button's own margin holds its shadow; the row's padding makes up the rest.
    addRow->setContentsMargins(16, 16 - margin, 16 - margin, 12 - margin);
    addRow->setSpacing(12 - margin);
    addRow->addWidget(addField_, 1);
    addRow->addWidget(addButton_);

    notice_->setObjectName(QStringLiteral("TodosNotSavedNotice"));
    auto* noticeRow = new QVBoxLayout;
    noticeRow->setContentsMargins(16, 0, 16, 12);
    noticeRow->addWidget(notice_);

    list_->setContentsMargins(16, 12, 16, 12);
    list_->setEmptyState(new TodoEmptyState);
    scrollArea_->setFrameShape(QFrame::NoFrame);
    scrollArea_->setWidgetResizable(true);
    scrollArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea_->setWidget(list_);
    connect(scrollArea_->verticalScrollBar(), &QScrollBar::valueChanged, list_,
            &TodoListView::followPointer);
    EditorStyle::makeTransparent(scrollArea_);
    EditorStyle::makeTransparent(scrollArea_->viewport());
    EditorStyle::makeTransparent(list_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(addRow);
    layout->addLayout(noticeRow);
    layout->addWidget(new Divider);
    layout->addWidget(scrollArea_, 1);

    closeButton_->setObjectName(QStringLiteral("CloseTodosButton"));
    closeButton_->setToolTip(QStringLiteral("Close Todos"));
    connect(closeButton_, &QAbstractButton::clicked, this, &KippetTodoEditorView::closeRequested);
    placeCloseButton();

    showSaveState();
    connect(&UnsavedEdits::shared(), &UnsavedEdits::changed, this,
            &KippetTodoEditorView::showSaveState);
}

void KippetTodoEditorView::setAccentColor(const QColor& color) {
    addButton_->setAccentColor(color);
}

void KippetTodoEditorView::updateAddButton() {
    addButton_->setEnabled(!addField_->text().trimmed().isEmpty());
}

void KippetTodoEditorView::addTodo() {
    const QString text = addField_->text().trimmed();
    if (text.isEmpty() || !kippet_)
        return;
    addField_->clear();
    // The add belongs to the kept edits, not to this view: closing the panel, or quitting, before
    // it is due still adds.
    UnsavedEdits::Edit edit;
    // Every add is its own: two adds of the same text make two todos.
    edit.key = QStringLiteral("todo-add:") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    edit.kippetId = kippet_->id();
    edit.kind = UnsavedEdits::Kind::todo;
    edit.text = text;
    edit.label = QStringLiteral("the todo ") + UnsavedEdits::quoted(text);
    edit.write = [text, target = kippet_] {
        if (target)
            KippetManager::shared().addTodo(text, target);
    };
    UnsavedEdits::shared().saveAfter(
        std::chrono::milliseconds(addDelayMilliseconds), std::move(edit),
        [](const std::optional<QString>& failure) {
            if (failure)
                Log::line(QStringLiteral("⚠️ [TodoEditor] Could not add the todo: ") +
                          *failure);
        });
}

void KippetTodoEditorView::showSaveState() {
    if (!kippet_)
        return;
    QStringList texts;
    QString reason;
    for (const UnsavedEdits::Edit& edit :
         UnsavedEdits::shared().kept(kippet_->id(), UnsavedEdits::Kind::todo)) {
        texts.append(UnsavedEdits::quoted(edit.text));
        reason = edit.reason;
    }
    if (texts.isEmpty()) {
        notice_->setText(QString());
        return;
    }
    const QString verb =
        texts.size() == 1 ? QStringLiteral(" is not saved: ") : QStringLiteral(" are not saved: ");
    notice_->setText(UnsavedEdits::listed(texts) + verb + reason +
                     UnsavedEdits::shared().retryNote());
}

void KippetTodoEditorView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeCloseButton();
}

void KippetTodoEditorView::placeCloseButton() {
    const QSize size = closeButton_->size();
    closeButton_->move(width() - 16 + margin - size.width(),
                       height() - 16 + margin - size.height());
    closeButton_->raise();
}
