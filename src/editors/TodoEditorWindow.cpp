#include "editors/TodoEditorWindow.h"

#include "app/ScreenClamp.h"
#include "editors/KippetTodoEditorView.h"
#include "model/Kippet.h"
#include "platform/ScreenProvider.h"

namespace {
double placedCoordinate(double position) {
    return position == 0 ? 280 : position + 60;
}
} // namespace

TodoEditorWindow::TodoEditorWindow(Kippet* kippet, QWidget* parent)
    : EditorPanel(kippet, Qt::Key_T, parent) {
    setObjectName(QStringLiteral("TodoEditorWindow"));
    setMinimumSize(minWindowSize.toSize());
    setFrame(
        frameClampedToScreens(ScreenProvider::shared().screens(), placedFrame(kippet->position())));
    view_ = new KippetTodoEditorView(kippet, accentColor(), this);
    setContent(view_);
    connect(view_, &KippetTodoEditorView::closeRequested, this, &EditorPanel::close);
    connect(this, &EditorPanel::accentColorChanged, view_, &KippetTodoEditorView::setAccentColor);
}

RectD TodoEditorWindow::placedFrame(QPointF kippetPosition) {
    return RectD(
        QPointF(placedCoordinate(kippetPosition.x()), placedCoordinate(kippetPosition.y())),
        defaultSize);
}
