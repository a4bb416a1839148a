#include "window/FloatingKippetView.h"

#include "analysis/KippetIntake.h"
#include "app/CustomInstructions.h"
#include "app/DailyKippet.h"
#include "app/Dialogs.h"
#include "editors/NoteEditorWindow.h"
#include "editors/TodoEditorWindow.h"
#include "model/Kippet.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "platform/NotificationNames.h"
#include "store/KippetManager.h"
#include "window/FloatingKippetWindow.h"
#include "window/GridColumns.h"
#include "window/ItemStateTracker.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QMouseEvent>

namespace {
FloatingKippetView::SheetFactory& newKippetSheetFactory() {
    static FloatingKippetView::SheetFactory factory;
    return factory;
}

FloatingKippetView::SheetFactory& customInstructionsSheetFactory() {
    static FloatingKippetView::SheetFactory factory;
    return factory;
}

QString describe(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return KippetsError::textOf(error);
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}
} // namespace

FloatingKippetView::FloatingKippetView(Kippet* kippet, FloatingKippetWindow* window)
    : QWidget(window), kippet_(kippet), window_(window), intake_(new KippetIntake(kippet, this)),
      itemStates_(new ItemStateTracker(kippet, ItemStateTracker::Policy::contentView, this)),
      gridColumns_(new GridColumns(this)) {
    setAcceptDrops(true);
    shownColor_ = displayColor();
    connect(intake_, &KippetIntake::errorOccurred, this, &FloatingKippetView::showError);
    connect(kippet, &Kippet::isExpandedChanged, this, &FloatingKippetView::showLayoutForMode);
    connect(kippet, &Kippet::isMiniViewChanged, this, &FloatingKippetView::showLayoutForMode);
    connect(kippet, &Kippet::colorChanged, this, &FloatingKippetView::displayColorChanged);
    connect(kippet, &Kippet::isDailyKippetChanged, this, &FloatingKippetView::displayColorChanged);
    observeNotifications();
    showLayoutForMode();
}

FloatingKippetView::~FloatingKippetView() {
    NotificationCenter::shared().removeObservers(this);
}

void FloatingKippetView::setNewKippetSheetFactory(SheetFactory factory) {
    newKippetSheetFactory() = std::move(factory);
}

void FloatingKippetView::setCustomInstructionsSheetFactory(SheetFactory factory) {
    customInstructionsSheetFactory() = std::move(factory);
}

QColor FloatingKippetView::displayColor() const {
    if (!kippet_)
        return Qt::gray;
    return kippet_->isDailyKippet() ? dailyKippetColor() : kippet_->color().toQColor();
}

void FloatingKippetView::withWindow(
    const std::function<void(FloatingKippetWindow&)>& action) const {
    if (window_)
        action(*window_);
}

void FloatingKippetView::observeNotifications() {
    NotificationCenter& centre = NotificationCenter::shared();
    // Only this kippet's notifications reach the view; every handler still checks the id.
    const QVariant kippetId = kippet_ ? QVariant::fromValue(kippet_->id()) : QVariant();
    const auto observe = [&](const QString& name, NotificationCenter::Handler handler) {
        if (kippetId.isValid())
            centre.observe(name, UserInfoKey::kippetId, kippetId, this, std::move(handler));
        else
            centre.observe(name, this, std::move(handler));
    };
    observe(NotificationName::kippetWindowActiveStateChanged,
            [this](const NotificationCenter::Notification& notification) {
                const QVariant isActive = notification.userInfo.value(UserInfoKey::isActive);
                if (!isForThisKippet(notification) || isActive.typeId() != QMetaType::Bool)
                    return;
                isWindowActive_ = isActive.toBool();
                updateWindowChrome();
                updateButtons();
            });
    observe(NotificationName::kippetWindowPasteRequested,
            [this](const NotificationCenter::Notification& notification) {
                if (isForThisKippet(notification))
                    pasteFromClipboard();
            });
    observe(NotificationName::kippetWindowImportRequested,
            [this](const NotificationCenter::Notification& notification) {
                if (isForThisKippet(notification))
                    importFiles();
            });
    observe(NotificationName::editorWindowStateChanged,
            [this](const NotificationCenter::Notification& notification) {
                if (!isForThisKippet(notification))
                    return;
                readEditorFlags();
                updateButtons();
            });
}

bool FloatingKippetView::isForThisKippet(
    const NotificationCenter::Notification& notification) const {
    const QVariant id = notification.userInfo.value(UserInfoKey::kippetId);
    return kippet_ && id.typeId() == QMetaType::QUuid && id.toUuid() == kippet_->id();
}

void FloatingKippetView::readEditorFlags() {
    isNoteEditorOpen_ = window_ && window_->noteWindow();
    isTodoEditorOpen_ = window_ && window_->todoWindow();
}

void FloatingKippetView::updateWindowChrome() {
    withWindow([this](FloatingKippetWindow& window) {
        window.updateChromeBorder(isWindowActive_, isDraggingOver_, displayColor());
    });
}

void FloatingKippetView::displayColorChanged() {
    const QColor colour = displayColor();
    if (colour == shownColor_)
        return;
    shownColor_ = colour;
    updateWindowChrome();
    withWindow([&colour](FloatingKippetWindow& window) {
        if (NoteEditorWindow* note = window.noteWindow())
            note->updateAccentColor(colour);
        if (TodoEditorWindow* todo = window.todoWindow())
            todo->updateAccentColor(colour);
    });
    updateButtons();
}

void FloatingKippetView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    updateWindowChrome();
    itemStates_->appear();
    readEditorFlags();
    updateButtons();
}

void FloatingKippetView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        itemStates_->disappear();
}

void FloatingKippetView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (layout_)
        layout_->setGeometry(rect());
}

// Drops. Whatever a drag carries may hold something the intake takes, and a drop that yields
// nothing is still taken: the intake says why when it can.
void FloatingKippetView::dragEnterEvent(QDragEnterEvent* event) {
    if (!event->mimeData() || event->mimeData()->formats().isEmpty())
        return;
    event->acceptProposedAction();
    setDraggingOver(true);
}

void FloatingKippetView::dragMoveEvent(QDragMoveEvent* event) {
    event->acceptProposedAction();
}

void FloatingKippetView::dragLeaveEvent(QDragLeaveEvent* event) {
    QWidget::dragLeaveEvent(event);
    setDraggingOver(false);
}

void FloatingKippetView::dropEvent(QDropEvent* event) {
    setDraggingOver(false);
    event->acceptProposedAction();
    if (event->mimeData())
        start(intake_->handleDrop(*event->mimeData()));
}

void FloatingKippetView::setDraggingOver(bool isDraggingOver) {
    if (std::exchange(isDraggingOver_, isDraggingOver) != isDraggingOver)
        updateWindowChrome();
}

void FloatingKippetView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    const std::optional<ulong> tapped = std::exchange(statusTapTime_, std::nullopt);
    if (tapped && event->timestamp() - *tapped <= ulong(QApplication::doubleClickInterval()))
        return;
    withWindow([](FloatingKippetWindow& window) { window.toggleExpanded(); });
}

void FloatingKippetView::pasteFromClipboard() {
    if (kippet_ && kippet_->isDemoMode())
        NotificationCenter::shared().post(NotificationName::demoKippetPaste);
    const QMimeData* data = QApplication::clipboard()->mimeData();
    const QMimeData empty;
    start(intake_->pasteFromPasteboard(data ? *data : empty));
}

void FloatingKippetView::importFiles() {
    start(intake_->importChosenFiles());
}

void FloatingKippetView::start(QCoro::Task<void> task) {
    [](QCoro::Task<void> running) -> QCoro::Task<void> {
        std::exception_ptr failure;
        try {
            co_await std::move(running);
        } catch (...) {
            failure = std::current_exception();
        }
        if (failure)
            Log::line(QStringLiteral("❌ [FloatingKippetView] Intake failed: ") + describe(failure));
    }(std::move(task));
}

void FloatingKippetView::showError(const QString& text) {
    Dialogs::shared().showError(text, this);
}

void FloatingKippetView::saveCustomInstructions(
    const std::optional<QString>& customInstructions,
    const std::optional<QString>& sanitizedInstructions) {
    if (kippet_) {
        if (const std::optional<QString> failure =
                CustomInstructions::store(kippet_->id(), customInstructions, sanitizedInstructions))
            showError(*failure);
    }
    setShowCustomInstructionsSheet(false);
}

void FloatingKippetView::closeKippet() {
    const QPointer<FloatingKippetWindow> window = window_;
    if (kippet_) {
        try {
            KippetManager::shared().closeKippet(kippet_);
        } catch (const std::exception& error) {
            Log::line(QStringLiteral("❌ [FloatingKippetView] Failed to close kippet: ") +
                      KippetsError::textOf(error));
        }
    }
    if (window)
        window->close();
}

void FloatingKippetView::setShowNewKippetSheet(bool show) {
    if (std::exchange(showNewKippetSheet_, show) == show)
        return;
    presentSheet(newKippetSheet_, show, newKippetSheetFactory());
    if (show && !newKippetSheet_)
        showNewKippetSheet_ = false;
}

void FloatingKippetView::setShowCustomInstructionsSheet(bool show) {
    if (std::exchange(showCustomInstructionsSheet_, show) == show)
        return;
    presentSheet(customInstructionsSheet_, show, customInstructionsSheetFactory());
    if (show && !customInstructionsSheet_)
        showCustomInstructionsSheet_ = false;
    if (!showCustomInstructionsSheet_) {
        withWindow([](FloatingKippetWindow& window) {
            if (QWidget* focused = window.focusWidget())
                focused->clearFocus();
        });
    }
}

void FloatingKippetView::presentSheet(QPointer<QWidget>& slot, bool show,
                                      const SheetFactory& factory) {
    if (!show) {
        if (slot) {
            slot->hide();
            slot->deleteLater();
        }
        slot = nullptr;
        return;
    }
    if (!slot && factory)
        slot = factory(this);
    if (slot)
        slot->show();
}
