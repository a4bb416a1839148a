// The panel's keys and its editor panels.
#include "app/DailyKippet.h"
#include "app/KeyboardReturn.h"
#include "app/KeyboardShortcutManager.h"
#include "app/MenuBarManager.h"
#include "app/WindowLevel.h"
#include "editors/NoteEditorWindow.h"
#include "editors/TodoEditorWindow.h"
#include "model/KeyboardAction.h"
#include "model/Kippet.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "window/FloatingKippetWindow.h"
#include "window/PanelTransition.h"

#include <QDebug>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWindow>

namespace {
const QString fixedCollapseKey = QStringLiteral("c");

QString boolText(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

// How a focus holder prints: "Optional(QLineEdit(0x…))", or "nil" without one.
QString describe(const QWidget* responder) {
    if (!responder)
        return QStringLiteral("nil");
    QString text;
    QDebug(&text).nospace() << responder;
    return QStringLiteral("Optional(") + text + QLatin1Char(')');
}

bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_CapsLock:
        return true;
    default:
        return false;
    }
}

// The key as typed, lower-cased: its text, or for a letter or digit without text, the key's.
QString typedKey(const QKeyEvent* event) {
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint())
        return text.toLower();
    const int key = event->key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return QString(QChar(u'a' + (key - Qt::Key_A)));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return QString(QChar(u'0' + (key - Qt::Key_0)));
    return {};
}

} // namespace

bool FloatingKippetWindow::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        // A Ctrl key the panel carries out is never taken by an application-wide shortcut.
        if ((key->modifiers() & Qt::ControlModifier) && isCtrlKeyTaken(key->key())) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void FloatingKippetWindow::watchWindowHandle() {
    QWindow* handle = windowHandle();
    if (!handle || handle == watchedWindow_)
        return;
    if (watchedWindow_)
        watchedWindow_->removeEventFilter(this);
    // Ctrl keys are routed before the focus widget sees them, as the window's own key
    // equivalents: a focused text widget then gets its paste through the panel.
    handle->installEventFilter(this);
    watchedWindow_ = handle;
}

bool FloatingKippetWindow::eventFilter(QObject* watched, QEvent* event) {
    if (hearsAppEvents_ && keyForPanel(watched, event))
        return true;
    // Whatever the keyboard does after the user's next key or press is the user's doing.
    if (watched == watchedWindow_ &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::MouseButtonPress))
        keyboardHold_.userActed();
    // A press while the panel changes its form ends the change, and goes to what lies under the
    // pointer at the panel's new frame.
    if (watched == watchedWindow_ && event->type() == QEvent::MouseButtonPress &&
        transition_->isUnderWay()) {
        transition_->pressed(*static_cast<QMouseEvent*>(event));
        return true;
    }
    if (watched == watchedWindow_ && event->type() == QEvent::MouseButtonRelease &&
        transition_->released(*static_cast<QMouseEvent*>(event)))
        return true;
    if (watched == watchedWindow_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (performKeyEquivalent(key)) {
            key->accept();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FloatingKippetWindow::keyPressEvent(QKeyEvent* event) {
    // Keys sent to a widget of the panel directly, not through its window, arrive here.
    if (performKeyEquivalent(event) || performShortcut(event)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

QWidget* FloatingKippetWindow::focusedTextWidget() const {
    QWidget* focus = focusWidget();
    if (qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus) ||
        qobject_cast<QPlainTextEdit*>(focus))
        return focus;
    return nullptr;
}

bool FloatingKippetWindow::isCtrlKeyTaken(int key) const {
    switch (key) {
    case Qt::Key_V:
        return true;
    case Qt::Key_C:
    case Qt::Key_X:
    case Qt::Key_A:
        return focusedTextWidget() != nullptr;
    default:
        return false;
    }
}

bool FloatingKippetWindow::performKeyEquivalent(QKeyEvent* event) {
    // With Ctrl held, text() is a control character: the letter comes from key().
    if (!(event->modifiers() & Qt::ControlModifier))
        return false;
    QWidget* textWidget = focusedTextWidget();
    switch (event->key()) {
    case Qt::Key_V: {
        const QWidget* responder = focusWidget() ? focusWidget() : this;
        Log::line(QStringLiteral("⌨️ [performKeyEquivalent] Ctrl+V detected, isKeyWindow: ") +
                  boolText(isActiveWindow()) + QStringLiteral(", isMiniView: ") +
                  boolText(kippet_ && kippet_->isMiniView()) +
                  QStringLiteral(", firstResponder: ") + describe(responder));
        if (textWidget) {
            Log::line(QStringLiteral(
                "⌨️ [performKeyEquivalent] First responder is text view, delegating paste"));
            if (QMetaObject::invokeMethod(textWidget, "paste"))
                return true;
        }
        Log::line(QStringLiteral(
            "⌨️ [performKeyEquivalent] Posting KippetWindowPasteRequested notification"));
        NotificationCenter::shared().post(
            NotificationName::kippetWindowPasteRequested, {},
            {{UserInfoKey::kippetId, QVariant::fromValue(kippetId_)}});
        return true;
    }
    case Qt::Key_C:
        return textWidget && QMetaObject::invokeMethod(textWidget, "copy");
    case Qt::Key_X:
        return textWidget && QMetaObject::invokeMethod(textWidget, "cut");
    case Qt::Key_A:
        return textWidget && QMetaObject::invokeMethod(textWidget, "selectAll");
    default:
        return false;
    }
}

bool FloatingKippetWindow::performShortcut(QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    // A modifier pressed alone types nothing; it is no key of its own.
    if (isModifierKey(event->key()))
        return false;
    const QString key = typedKey(event);
    const KeyboardShortcuts& shortcuts = KeyboardShortcutManager::shared().shortcuts();
    const QVariantMap request{{UserInfoKey::kippetId, QVariant::fromValue(kippetId_)}};
    for (const KeyboardAction action : allKeyboardActions()) {
        // The stored key counts only as stored: "T" never matches a typed key.
        if (shortcutField(shortcuts, action) != key)
            continue;
        switch (action) {
        case KeyboardAction::todos:
            showTodoEditor();
            break;
        case KeyboardAction::notes:
            showNoteEditor();
            break;
        case KeyboardAction::import:
            NotificationCenter::shared().post(NotificationName::kippetWindowImportRequested, {},
                                              request);
            break;
        case KeyboardAction::paste:
            NotificationCenter::shared().post(NotificationName::kippetWindowPasteRequested, {},
                                              request);
            break;
        case KeyboardAction::expand:
            toggleExpanded();
            break;
        case KeyboardAction::mini:
            if (kippet_ && !kippet_->isExpanded())
                toggleMiniView();
            break;
        case KeyboardAction::dashboard:
            if (MenuBarManager::isInstalled())
                MenuBarManager::shared().showDashboard();
            break;
        }
        return true;
    }
    if (key == fixedCollapseKey) {
        if (kippet_ && kippet_->isExpanded())
            toggleExpanded();
        return true;
    }
    return false;
}

QColor FloatingKippetWindow::accentColor() const {
    if (!kippet_)
        return {};
    return kippet_->isDailyKippet() ? dailyKippetColor() : kippet_->color().toQColor();
}

NoteEditorWindow* FloatingKippetWindow::noteWindow() const {
    return noteWindow_;
}

TodoEditorWindow* FloatingKippetWindow::todoWindow() const {
    return todoWindow_;
}

template <typename Editor>
void FloatingKippetWindow::showEditor(QPointer<Editor>& slot, EditorSlot which) {
    if (slot) {
        WindowLevel::bringToFront(slot);
        return;
    }
    if (!kippet_)
        return;
    // The panel owns its editors: they close with it and go when it goes.
    auto* editor = new Editor(kippet_, this);
    editor->onClose = [window = QPointer<FloatingKippetWindow>(this), which] {
        editorClosed(window, which);
    };
    editor->updateAccentColor(accentColor());
    slot = editor;
    WindowLevel::bringToFront(editor);
    NotificationCenter::shared().post(NotificationName::editorWindowStateChanged, {},
                                      {{UserInfoKey::kippetId, QVariant::fromValue(kippetId_)}});
}

void FloatingKippetWindow::editorClosed(const QPointer<FloatingKippetWindow>& window,
                                        EditorSlot which) {
    QVariant kippetId;
    if (window) {
        const QWidget* editor = which == EditorSlot::note
                                    ? static_cast<QWidget*>(window->noteWindow_.data())
                                    : static_cast<QWidget*>(window->todoWindow_.data());
        const QWindow* focus = QGuiApplication::focusWindow();
        // Qt may already have handed its focus to the panel, the editor's parent, while the
        // window manager gives the keyboard elsewhere: the panel asks for it in both cases.
        const bool editorHadKeyboard = !focus || focus == window->windowHandle() ||
                                       (editor && focus == editor->windowHandle());
        if (which == EditorSlot::note)
            window->noteWindow_ = nullptr;
        else
            window->todoWindow_ = nullptr;
        kippetId = QVariant::fromValue(window->kippetId_);
        // The keyboard goes back to the kippet the editor belongs to; left to the window
        // manager it would go to whichever ordinary window had it last, often the dashboard,
        // and some window managers (xfwm4) send it there a moment after the panel asked for it.
        if (editorHadKeyboard && window->isVisible())
            KeyboardReturn::giveTo(window);
    }
    NotificationCenter::shared().post(NotificationName::editorWindowStateChanged, {},
                                      {{UserInfoKey::kippetId, kippetId}});
}

void FloatingKippetWindow::showNoteEditor() {
    showEditor(noteWindow_, EditorSlot::note);
}

void FloatingKippetWindow::showTodoEditor() {
    showEditor(todoWindow_, EditorSlot::todo);
}

// The editor's own close stores what it stores and runs its close callback, exactly once.
void FloatingKippetWindow::toggleNoteEditor() {
    if (noteWindow_)
        noteWindow_->close();
    else
        showNoteEditor();
}

void FloatingKippetWindow::toggleTodoEditor() {
    if (todoWindow_)
        todoWindow_->close();
    else
        showTodoEditor();
}
