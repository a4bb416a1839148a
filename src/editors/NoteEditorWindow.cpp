#include "editors/NoteEditorWindow.h"

#include "model/Kippet.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "store/KippetManager.h"

NoteEditorWindow::NoteEditorWindow(Kippet* kippet, QWidget* parent) : EditorPanel(kippet, parent) {
    setObjectName(QStringLiteral("NoteEditorWindow"));
}

void NoteEditorWindow::willClose() {
    storeFrame();
}

void NoteEditorWindow::storeFrame() {
    Kippet* owner = kippet();
    // The manager that owns the kippet is the one that stores it.
    auto* manager = owner ? qobject_cast<KippetManager*>(owner->parent()) : nullptr;
    if (!manager)
        return;
    const RectD current = frame();
    try {
        manager->updateNoteWindowFrame(owner, current.x, current.y, current.width, current.height);
    } catch (const std::exception& error) {
        Log::line(
            QStringLiteral("⚠️ [NoteEditorWindow] Could not store the note window frame: ") +
            KippetsError::textOf(error));
    }
}
