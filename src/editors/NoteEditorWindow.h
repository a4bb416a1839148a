#pragma once

#include "editors/EditorPanel.h"

// The floating note editor of a kippet. Closing it stores its frame with the kippet's note, so
// the next editor of that kippet can open where this one was.
class NoteEditorWindow : public EditorPanel {
    Q_OBJECT
public:
    explicit NoteEditorWindow(Kippet* kippet, QWidget* parent = nullptr);

    // Writes the panel's frame into the kippet's note and the store. A failing store loses only
    // the stored frame: it is logged and the panel still closes.
    void storeFrame();

protected:
    void willClose() override;
};
