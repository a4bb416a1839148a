#pragma once

#include "editors/EditorPanel.h"

#include <QSizeF>

class KippetTodoEditorView;

// The floating todo list editor of a kippet. Every opening places it beside the kippet window
// afresh, kept on a screen; its frame is never stored.
class TodoEditorWindow : public EditorPanel {
    Q_OBJECT
public:
    static constexpr QSizeF minWindowSize{360, 300};
    static constexpr QSizeF defaultSize{400, 400};

    explicit TodoEditorWindow(Kippet* kippet, QWidget* parent = nullptr);

    // Where the panel opens before it is kept on a screen: 60 right of and 60 above the kippet's
    // position, each axis on its own at 280 when that coordinate is 0.
    static RectD placedFrame(QPointF kippetPosition);

    KippetTodoEditorView* view() const { return view_; }

private:
    KippetTodoEditorView* view_;
};
