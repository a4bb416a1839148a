#pragma once

#include "editors/EditorPanel.h"

// The floating todo list editor of a kippet. Its frame is never stored.
class TodoEditorWindow : public EditorPanel {
    Q_OBJECT
public:
    explicit TodoEditorWindow(Kippet* kippet, QWidget* parent = nullptr);
};
