#include "editors/TodoEditorWindow.h"

TodoEditorWindow::TodoEditorWindow(Kippet* kippet, QWidget* parent) : EditorPanel(kippet, parent) {
    setObjectName(QStringLiteral("TodoEditorWindow"));
}
