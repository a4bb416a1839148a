#include "editors/EditorPanel.h"

#include "app/DailyKippet.h"
#include "app/WindowLevel.h"
#include "model/Kippet.h"
#include "platform/ScreenProvider.h"
#include "ui/ChromeBorderView.h"
#include "ui/ResizeGrip.h"
#include "ui/Theme.h"
#include "ui/WindowManagerMoves.h"
#include "ui/WindowShapeMask.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWindow>

EditorPanel::EditorPanel(Kippet* kippet, Qt::Key closeKey, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::NoDropShadowWindowHint),
      kippet_(kippet), closeKey_(closeKey),
      accentColor_(kippet ? displayColor(*kippet) : QColor(Qt::gray)) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    WindowLevel::makeFloating(this);
    new WindowShapeMask(this, [this] { return WindowShapeMask::rounded(rect(), cornerRadius); });
    if (kippet) {
        setWindowTitle(kippet->name());
        connect(kippet, &Kippet::nameChanged, this,
                [this, kippet] { setWindowTitle(kippet->name()); });
    }
    border_ = new ChromeBorderView(cornerRadius, this);
    for (Qt::Edges edges :
         {Qt::Edges(Qt::LeftEdge), Qt::Edges(Qt::RightEdge), Qt::Edges(Qt::TopEdge),
          Qt::Edges(Qt::BottomEdge), Qt::TopEdge | Qt::LeftEdge, Qt::TopEdge | Qt::RightEdge,
          Qt::BottomEdge | Qt::LeftEdge, Qt::BottomEdge | Qt::RightEdge}) {
        auto* grip = new ResizeGrip(edges, this);
        connect(grip, &ResizeGrip::released, this, [this] { frameChangeEnded(); });
        grips_.append(grip);
    }
    // A move or resize the window manager carries out ends without a mouse-up on the panel.
    connect(new WindowManagerMoves(this), &WindowManagerMoves::settled, this,
            [this] { frameChangeEnded(); });
    // Activation events reach a tool window only when Qt's shared activation of tool windows
    // and their parents changes; the focus window always tells.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &EditorPanel::applyBorder);
}

EditorPanel::~EditorPanel() = default;

QColor EditorPanel::displayColor(const Kippet& kippet) {
    return kippet.isDailyKippet() ? dailyKippetColor() : kippet.color().toQColor();
}

void EditorPanel::setContent(QWidget* content) {
    content_ = content;
    content_->setParent(this);
    content_->setGeometry(rect());
    content_->show();
    border_->raise();
    placeGrips();
}

void EditorPanel::close() {
    // Every road goes through closeEvent; finishing here also covers a panel never shown, which
    // the platform closes without hiding it.
    if (!closing_)
        QWidget::close();
    finishClose();
}

void EditorPanel::closeEvent(QCloseEvent* event) {
    event->accept();
    if (closing_)
        return;
    closing_ = true;
    willClose();
}

void EditorPanel::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // The platform hides a panel right after accepting its close, also a close by the window
    // manager: that is when the panel counts as closed.
    if (closing_)
        finishClose();
}

void EditorPanel::finishClose() {
    if (!closing_ || finished_)
        return;
    finished_ = true;
    if (onClose)
        onClose();
}

void EditorPanel::updateAccentColor(const QColor& color) {
    QMetaObject::invokeMethod(
        this,
        [this, color] {
            accentColor_ = color;
            applyBorder();
            emit accentColorChanged(color);
        },
        Qt::QueuedConnection);
}

RectD EditorPanel::frame() const {
    return ScreenProvider::shared().space().fromQt(QRectF(geometry()));
}

void EditorPanel::setFrame(const RectD& frame) {
    setGeometry(ScreenProvider::shared().space().toQtRect(frame));
}

bool EditorPanel::isBorderVisible() const {
    return border_->isBorderShown();
}

QColor EditorPanel::borderColor() const {
    return border_->color();
}

double EditorPanel::currentBorderWidth() const {
    return border_->borderWidth();
}

bool EditorPanel::isFocusWindow() const {
    return windowHandle() && QGuiApplication::focusWindow() == windowHandle();
}

void EditorPanel::applyBorder() {
    // Only the panel's own activation counts: Qt also calls a tool window active while its
    // parent window is.
    if (isFocusWindow()) {
        QColor shown = accentColor_;
        shown.setAlphaF(static_cast<float>(activeBorderAlpha));
        border_->setBorder(shown, borderWidth);
        return;
    }
    // Hidden at once, never faded; the colour stays for the next activation to replace.
    border_->hideBorder();
}

void EditorPanel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        applyBorder();
}

bool EditorPanel::isCloseKey(const QKeyEvent& event) const {
    return (event.modifiers() & Qt::ControlModifier) && event.key() == closeKey_;
}

bool EditorPanel::isStandardEditingKey(const QKeyEvent& event) {
    if (!(event.modifiers() & Qt::ControlModifier))
        return false;
    const int key = event.key();
    return key == Qt::Key_V || key == Qt::Key_C || key == Qt::Key_X || key == Qt::Key_A;
}

bool EditorPanel::event(QEvent* event) {
    // Shortcut overrides travel from the focused widget up to the panel; claiming them here keeps
    // application-wide shortcuts from taking the panel's keys.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (isCloseKey(*key) || isStandardEditingKey(*key)) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void EditorPanel::keyPressEvent(QKeyEvent* event) {
    if (isCloseKey(*event)) {
        event->accept();
        close();
        return;
    }
    if (handleStandardEditingKeys(*event)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool EditorPanel::handleStandardEditingKeys(const QKeyEvent& event) {
    // A focused text widget has already taken its own editing keys; what arrives here was
    // pressed while something else had the focus, which may still know the action.
    if (!isStandardEditingKey(event))
        return false;
    QWidget* focused = focusWidget();
    if (!focused || focused == this)
        return false;
    const char* action = nullptr;
    switch (event.key()) {
    case Qt::Key_V:
        action = "paste";
        break;
    case Qt::Key_C:
        action = "copy";
        break;
    case Qt::Key_X:
        action = "cut";
        break;
    default:
        action = "selectAll";
        break;
    }
    return focused->metaObject()->indexOfMethod(QByteArray(action) + "()") >= 0 &&
           QMetaObject::invokeMethod(focused, action);
}

void EditorPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    Theme::paintWindowMaterial(painter, this, path, Theme::Material::underWindowBackground);
}

void EditorPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (content_)
        content_->setGeometry(rect());
    border_->setGeometry(rect());
    placeGrips();
}

void EditorPanel::placeGrips() {
    for (ResizeGrip* grip : std::as_const(grips_)) {
        grip->setGeometry(grip->placement(size()));
        grip->raise();
    }
}

void EditorPanel::mousePressEvent(QMouseEvent* event) {
    activateWindow();
    raise();
    if (event->button() == Qt::LeftButton) {
        dragOffset_ = event->globalPosition().toPoint() - pos();
        movedByDrag_ = false;
    }
    QWidget::mousePressEvent(event);
}

void EditorPanel::mouseMoveEvent(QMouseEvent* event) {
    if (dragOffset_ && (event->buttons() & Qt::LeftButton)) {
        const QPoint target = event->globalPosition().toPoint() - *dragOffset_;
        if (target != pos()) {
            move(target);
            movedByDrag_ = true;
        }
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void EditorPanel::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    const bool moved = dragOffset_ && movedByDrag_;
    dragOffset_.reset();
    movedByDrag_ = false;
    if (moved)
        frameChangeEnded();
}
