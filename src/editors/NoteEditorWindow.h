#pragma once

#include "editors/EditorPanel.h"

#include <QSizeF>

class KippetNoteEditorView;

// The floating note editor of a kippet. It opens where the kippet's note says it was left, or
// beside the kippet window, always on a screen, and keeps that frame with the note: at once when
// the note had none, whenever a move or resize by the pointer ends, and when it closes.
class NoteEditorWindow : public EditorPanel {
    Q_OBJECT
public:
    static constexpr QSizeF minWindowSize{360, 260};
    static constexpr QSizeF defaultSize{480, 360};

    explicit NoteEditorWindow(Kippet* kippet, QWidget* parent = nullptr);

    // Where a note without a stored frame opens, before it is kept on a screen: 40 right of and
    // 40 above the kippet's position, each axis on its own at 220 when that coordinate is 0.
    static RectD placedFrame(QPointF kippetPosition);

    // Writes the panel's frame into the kippet's note and the store. A failing store loses only
    // the stored frame: it is logged and the panel carries on.
    void storeFrame();

    KippetNoteEditorView* view() const { return view_; }

protected:
    void willClose() override;
    void frameChangeEnded() override;

private:
    KippetNoteEditorView* view_;
};
