#include "editors/KippetTodoCard.h"

#include "editors/EditorStyle.h"
#include "editors/SharedTodoRow.h"
#include "editors/TodoListView.h"
#include "editors/TodoLists.h"
#include "model/Kippet.h"
#include "platform/Clock.h"
#include "ui/SymbolNames.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

KippetTodoCard::KippetTodoCard(Kippet* kippet, std::function<void()> onOpenEditor, QWidget* parent)
    : KippetCardFrame(kippet, parent), onOpenEditor_(std::move(onOpenEditor)) {
    setObjectName(QStringLiteral("KippetTodoCard"));
    setAttribute(Qt::WA_Hover);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(padding, padding, padding, padding);
    stack->setSpacing(12);
    stack->addWidget(makeHeader());

    empty_ = new QLabel(QStringLiteral("No todos yet. Click + to add one."));
    empty_->setObjectName(QStringLiteral("TodoCardEmpty"));
    empty_->setFont(Theme::systemFont(13));
    empty_->setContentsMargins(0, 16, 0, 16);
    stack->addWidget(empty_);
    list_ = new TodoListView(kippet, SharedTodoRow::cardMetrics());
    stack->addWidget(list_);

    if (kippet_)
        connect(kippet_, &Kippet::todosChanged, this, &KippetTodoCard::updateCount);
    updateLook();
    updateCount();
}

QWidget* KippetTodoCard::makeHeader() {
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    symbol_ = new QLabel;
    auto* title = new QLabel(QStringLiteral("Todos"));
    title->setObjectName(QStringLiteral("TodoCardTitle"));
    title->setFont(Theme::systemFont(13, QFont::DemiBold));
    count_ = new QLabel;
    count_->setObjectName(QStringLiteral("TodoCardCount"));
    count_->setFont(Theme::systemFont(10));
    row->addWidget(symbol_);
    row->addWidget(title);
    row->addWidget(count_);
    row->addStretch(1);
    addButton_ = new QToolButton;
    addButton_->setObjectName(QStringLiteral("AddTodoCardButton"));
    addButton_->setToolTip(QStringLiteral("Add Todo"));
    addButton_->setAutoRaise(true);
    addButton_->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; }"));
    connect(addButton_, &QToolButton::clicked, this, [this] {
        if (onOpenEditor_)
            onOpenEditor_();
    });
    row->addWidget(addButton_);
    return header;
}

QString KippetTodoCard::countText() const {
    return count_->isHidden() ? QString() : count_->text();
}

void KippetTodoCard::updateCount() {
    const QList<KippetTodo> todos = kippet_ ? kippet_->todos() : QList<KippetTodo>();
    const bool none = todos.isEmpty();
    count_->setVisible(!none);
    empty_->setVisible(none);
    list_->setVisible(!none);
    if (none)
        return;
    // A todo ticked a moment ago still counts as open until its deadline passes.
    const qsizetype open = TodoLists::split(todos, Clock::shared().now()).open.size();
    count_->setText(QStringLiteral("%1/%2").arg(open).arg(todos.size()));
}

void KippetTodoCard::followPointer() {
    KippetCardFrame::followPointer();
    list_->followPointer();
}

void KippetTodoCard::updateLook() {
    const qreal ratio = devicePixelRatioF();
    symbol_->setPixmap(
        Symbols::pixmap(SymbolNames::checklist, 13, Theme::secondary(palette()), ratio));
    addButton_->setIcon(QIcon(Symbols::pixmap(SymbolNames::plusCircleFill, 16, accent(), ratio)));
    addButton_->setIconSize(QSize(18, 18));
    QPalette tertiary = count_->palette();
    tertiary.setColor(QPalette::WindowText, Theme::tertiary(palette()));
    count_->setPalette(tertiary);
    empty_->setPalette(tertiary);
    update();
}
