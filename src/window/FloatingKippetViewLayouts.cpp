// The view's layouts: collapsed (a header, the status and a row of buttons), mini (the status
// alone) and expanded (header, items or a status, toolbar).
#include "model/Kippet.h"
#include "platform/Log.h"
#include "ui/SymbolNames.h"
#include "window/ActionButton.h"
#include "window/CollapsedLayout.h"
#include "window/CollapsedStateIndicator.h"
#include "window/ExpandedKippetLayout.h"
#include "window/FloatingKippetView.h"
#include "window/FloatingKippetWindow.h"
#include "window/MiniStateIndicator.h"

#include <QKeySequence>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace {
FloatingKippetView::LayoutFactory& expandedLayoutFactory() {
    static FloatingKippetView::LayoutFactory factory;
    return factory;
}

QString pasteHelpText() {
    return QStringLiteral("Paste from Clipboard (%1)")
        .arg(QKeySequence(QKeySequence::Paste).toString(QKeySequence::NativeText));
}
} // namespace

void FloatingKippetView::setExpandedLayoutFactory(LayoutFactory factory) {
    expandedLayoutFactory() = std::move(factory);
}

void FloatingKippetView::showLayoutForMode() {
    if (!kippet_)
        return;
    // The old layout may be the one whose click switched the mode: it goes once that click ends.
    if (layout_) {
        layout_->hide();
        layout_->deleteLater();
    }
    buttons_.clear();
    notesButton_ = nullptr;
    todosButton_ = nullptr;
    collapsedLayout_ = nullptr;
    if (kippet_->isExpanded())
        layout_ = expandedLayout();
    else if (kippet_->isMiniView())
        layout_ = miniLayout();
    else
        layout_ = collapsedLayout();
    layout_->setParent(this);
    layout_->setGeometry(rect());
    layout_->show();
    updateButtons();
}

QWidget* FloatingKippetView::expandedLayout() {
    if (const LayoutFactory& factory = expandedLayoutFactory())
        return factory(this);
    auto* layout = new ExpandedKippetLayout(this);
    expandedLayout_ = layout;
    notesButton_ = layout->notesButton();
    todosButton_ = layout->todosButton();
    for (ActionButton* button : layout->buttons())
        buttons_.append(button);
    return layout;
}

QWidget* FloatingKippetView::miniLayout() {
    auto* layout = new QWidget;
    layout->setObjectName(QStringLiteral("MiniLayout"));
    auto* box = new QVBoxLayout(layout);
    box->setContentsMargins(0, 0, 0, 0);
    miniIndicator_ = new MiniStateIndicator(kippet_, isWindowActive_);
    // The status takes no clicks here: a click focuses the panel, a double click expands it.
    miniIndicator_->setAttribute(Qt::WA_TransparentForMouseEvents);
    box->addWidget(miniIndicator_);
    return layout;
}

QWidget* FloatingKippetView::collapsedLayout() {
    auto* layout = new CollapsedLayout;
    collapsedLayout_ = layout;
    const QColor accent = palette().color(QPalette::Highlight);
    const QColor colour = displayColor();
    const auto part = [this](const QString& systemName, const QString& helpText,
                             const QString& identifier, std::function<void()> action, bool isActive,
                             const QColor& activeColor, qreal buttonSize, qreal iconSize,
                             ActionButtonStyle style) {
        return CollapsedLayout::Part{ActionButtonLook{systemName, isWindowActive_, isActive,
                                                      activeColor, buttonSize, iconSize, style},
                                     helpText, identifier, std::move(action)};
    };
    const CollapsedLayout::Part create = part(
        SymbolNames::plusCircleFill, QStringLiteral("Create New Kippet"),
        QStringLiteral("NewKippetButton"), [this] { setShowNewKippetSheet(true); }, false, accent,
        24, 18, ActionButtonStyle::plain);
    const CollapsedLayout::Part close = part(
        SymbolNames::xmarkCircleFill, QStringLiteral("Close Kippet"),
        QStringLiteral("CloseKippetButton"), [this] { closeKippet(); }, false, accent, 24, 18,
        ActionButtonStyle::plain);

    collapsedIndicator_ = new CollapsedStateIndicator(kippet_, isWindowActive_, layout);
    connect(collapsedIndicator_, &CollapsedStateIndicator::tapped, this,
            &FloatingKippetView::statusTapped);

    const QList<CollapsedLayout::Part> row = {
        part(
            SymbolNames::docOnClipboard, pasteHelpText(), QStringLiteral("PasteButton"),
            [this] { pasteFromClipboard(); }, false, accent, 36, 16, ActionButtonStyle::glass),
        part(
            SymbolNames::noteText, notesHelpText(), QStringLiteral("NotesButton"),
            [this] { collapsedNotesButtonTapped(); }, isNoteEditorOpen_, colour, 36, 16,
            ActionButtonStyle::glass),
        part(
            SymbolNames::squareAndArrowDown, QStringLiteral("Import Files"),
            QStringLiteral("ImportButton"), [this] { importFiles(); }, false, accent, 36, 16,
            ActionButtonStyle::glass),
        part(
            SymbolNames::checklist, todosHelpText(), QStringLiteral("TodosButton"),
            [this] { collapsedTodosButtonTapped(); }, isTodoEditorOpen_, colour, 36, 16,
            ActionButtonStyle::glass)};
    layout->setParts(create, close, collapsedIndicator_, row);
    return layout;
}

QString FloatingKippetView::notesHelpText() const {
    return isNoteEditorOpen_ ? QStringLiteral("Close Notes") : QStringLiteral("Open Notes");
}

QString FloatingKippetView::todosHelpText() const {
    return isTodoEditorOpen_ ? QStringLiteral("Close Todos") : QStringLiteral("Open Todos");
}

// A click on the status expands the panel; the double click it may begin is the same gesture.
void FloatingKippetView::statusTapped(ulong timestamp) {
    if (!window_)
        return;
    statusTapTime_ = timestamp;
    window_->toggleExpanded();
}

void FloatingKippetView::updateButtons() {
    for (const QPointer<ActionButton>& button : std::as_const(buttons_)) {
        if (button)
            button->setIsWindowActive(isWindowActive_);
    }
    if (notesButton_) {
        notesButton_->setIsActive(isNoteEditorOpen_);
        notesButton_->setActiveColor(displayColor());
        notesButton_->setHelpText(notesHelpText());
    }
    if (todosButton_) {
        todosButton_->setIsActive(isTodoEditorOpen_);
        todosButton_->setActiveColor(displayColor());
        todosButton_->setHelpText(todosHelpText());
    }
    if (collapsedLayout_) {
        collapsedLayout_->setIsWindowActive(isWindowActive_);
        collapsedLayout_->setButtonState(QStringLiteral("NotesButton"), isNoteEditorOpen_,
                                         displayColor(), notesHelpText());
        collapsedLayout_->setButtonState(QStringLiteral("TodosButton"), isTodoEditorOpen_,
                                         displayColor(), todosHelpText());
    }
    if (collapsedIndicator_)
        collapsedIndicator_->setIsActive(isWindowActive_);
    if (miniIndicator_)
        miniIndicator_->setIsActive(isWindowActive_);
    if (expandedLayout_)
        expandedLayout_->setIsWindowActive(isWindowActive_);
}

void FloatingKippetView::collapsedNotesButtonTapped() {
    Log::line(QStringLiteral("📝 Notes button clicked (collapsed)"));
    withWindow([](FloatingKippetWindow& window) { window.toggleNoteEditor(); });
}

void FloatingKippetView::collapsedTodosButtonTapped() {
    Log::line(QStringLiteral("✅ Todos button clicked (collapsed)"));
    withWindow([](FloatingKippetWindow& window) { window.toggleTodoEditor(); });
}
