#include "editors/NoteEditorWindow.h"

#include "app/ScreenClamp.h"
#include "editors/KippetNoteEditorView.h"
#include "model/Kippet.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "platform/ScreenProvider.h"
#include "store/KippetManager.h"

namespace {
double placedCoordinate(double position) {
    return position == 0 ? 220 : position + 40;
}
} // namespace

NoteEditorWindow::NoteEditorWindow(Kippet* kippet, QWidget* parent)
    : EditorPanel(kippet, Qt::Key_N, parent) {
    setObjectName(QStringLiteral("NoteEditorWindow"));
    const std::optional<KippetNote::WindowFrame> saved = kippet->note().windowFrame;
    const RectD requested = saved
                                ? RectD(saved->originX, saved->originY, saved->width, saved->height)
                                : placedFrame(kippet->position());
    setMinimumSize(minWindowSize.toSize());
    setFrame(frameClampedToScreens(ScreenProvider::shared().screens(), requested));

    view_ = new KippetNoteEditorView(kippet, accentColor(), this);
    setContent(view_);
    connect(view_, &KippetNoteEditorView::closeRequested, this, &EditorPanel::close);
    connect(this, &EditorPanel::accentColorChanged, view_, &KippetNoteEditorView::setAccentColor);
    // A first frame is kept at once, so the next opening finds the panel where it was.
    if (!saved)
        storeFrame();
}

RectD NoteEditorWindow::placedFrame(QPointF kippetPosition) {
    return RectD(
        QPointF(placedCoordinate(kippetPosition.x()), placedCoordinate(kippetPosition.y())),
        defaultSize);
}

void NoteEditorWindow::storeFrame() {
    Kippet* owner = kippet();
    if (!owner)
        return;
    const RectD current = frame();
    try {
        KippetManager::shared().updateNoteWindowFrame(owner, current.x, current.y, current.width,
                                                      current.height);
    } catch (const KippetsError& error) {
        Log::line(
            QStringLiteral("⚠️ [NoteEditorWindow] Could not store the note window frame: ") +
            error.errorDescription());
    }
}

void NoteEditorWindow::willClose() {
    storeFrame();
}

void NoteEditorWindow::frameChangeEnded() {
    storeFrame();
}
