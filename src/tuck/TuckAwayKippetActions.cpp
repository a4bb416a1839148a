#include "tuck/TuckAwayKippetActions.h"

#include "app/MenuBarManager.h"
#include "model/Kippet.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "tuck/TuckAwayActionButton.h"
#include "tuck/TuckAwayStyle.h"
#include "tuck/TuckIntake.h"
#include "ui/SymbolNames.h"
#include "window/FloatingKippetWindow.h"

#include <QHBoxLayout>

TuckAwayKippetActions::TuckAwayKippetActions(Kippet* kippet, QWidget* parent)
    : QWidget(parent), kippet_(kippet),
      paste_(new TuckAwayActionButton(SymbolNames::docOnClipboard, this)),
      note_(new TuckAwayActionButton(SymbolNames::noteText, this)),
      import_(new TuckAwayActionButton(SymbolNames::squareAndArrowDown, this)),
      todo_(new TuckAwayActionButton(SymbolNames::checklist, this)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 2, 12, 6);
    layout->setSpacing(12);
    layout->addStretch();
    for (TuckAwayActionButton* button : {paste_, note_, import_, todo_})
        layout->addWidget(button);
    layout->addStretch();
    paste_->setToolTip(QStringLiteral("Paste from Clipboard"));
    import_->setToolTip(QStringLiteral("Import Files"));
    connect(paste_, &QAbstractButton::clicked, this, &TuckAwayKippetActions::paste);
    connect(note_, &QAbstractButton::clicked, this, &TuckAwayKippetActions::toggleNotes);
    connect(import_, &QAbstractButton::clicked, this, &TuckAwayKippetActions::import);
    connect(todo_, &QAbstractButton::clicked, this, &TuckAwayKippetActions::toggleTodos);
    if (kippet) {
        NotificationCenter::shared().observe(
            NotificationName::editorWindowStateChanged, UserInfoKey::kippetId,
            QVariant::fromValue(kippet->id()), this,
            [this](const NotificationCenter::Notification&) { refreshEditorState(); });
    }
    refreshEditorState();
}

void TuckAwayKippetActions::refreshEditorState() {
    FloatingKippetWindow* window =
        kippet_ ? MenuBarManager::shared().registeredWindow(kippet_->id()) : nullptr;
    isNoteEditorOpen_ = window && window->noteWindow();
    isTodoEditorOpen_ = window && window->todoWindow();
    updateButtons();
}

void TuckAwayKippetActions::updateButtons() {
    const QColor colour = kippet_ ? TuckAwayStyle::kippetColor(*kippet_) : QColor();
    note_->setActive(isNoteEditorOpen_, colour);
    todo_->setActive(isTodoEditorOpen_, colour);
    note_->setToolTip(isNoteEditorOpen_ ? QStringLiteral("Close Notes")
                                        : QStringLiteral("Open Notes"));
    todo_->setToolTip(isTodoEditorOpen_ ? QStringLiteral("Close Todos")
                                        : QStringLiteral("Open Todos"));
}

void TuckAwayKippetActions::paste() {
    if (kippet_)
        TuckIntake::start(TuckIntake::pasteFromClipboard(kippet_));
}

void TuckAwayKippetActions::import() {
    if (kippet_)
        TuckIntake::start(TuckIntake::importChosenFiles(kippet_));
}

// The editors belong to the kippet's window, made hidden when the kippet never had one; the
// window announces the change, which is what lights the buttons.
void TuckAwayKippetActions::toggleNotes() {
    if (kippet_)
        MenuBarManager::shared().windowForKippet(kippet_)->toggleNoteEditor();
}

void TuckAwayKippetActions::toggleTodos() {
    if (kippet_)
        MenuBarManager::shared().windowForKippet(kippet_)->toggleTodoEditor();
}
