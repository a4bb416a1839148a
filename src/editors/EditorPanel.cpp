#include "editors/EditorPanel.h"

#include "app/ScreenClamp.h"
#include "model/Kippet.h"
#include "platform/ScreenProvider.h"

#include <QCloseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr QSize panelSize{320, 360};
constexpr double accentBarHeight = 6;
constexpr double gapToOwner = 12;
} // namespace

EditorPanel::EditorPanel(Kippet* kippet, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::NoDropShadowWindowHint),
      kippet_(kippet), accentColor_(kippet ? kippet->color().toQColor() : QColor()) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose);
    if (kippet)
        setWindowTitle(kippet->name());
    resize(panelSize);
    placeBesideOwner();
}

void EditorPanel::placeBesideOwner() {
    const QWidget* owner = parentWidget();
    if (!owner)
        return;
    const ScreenProvider& screens = ScreenProvider::shared();
    const RectD ownerFrame = screens.space().fromQt(QRectF(owner->geometry()));
    // Right of the kippet's panel, tops aligned, kept on screen.
    const RectD wanted(ownerFrame.maxX() + gapToOwner, ownerFrame.maxY() - panelSize.height(),
                       panelSize.width(), panelSize.height());
    setGeometry(screens.space().toQtRect(frameClampedToScreens(screens.screens(), wanted)));
}

Kippet* EditorPanel::kippet() const {
    return kippet_;
}

void EditorPanel::close() {
    // Every road goes through closeEvent; finishing here also covers a hidden panel, which the
    // platform closes without hiding it again.
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
    QPointer<EditorPanel> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, color] {
            if (!self)
                return;
            self->accentColor_ = color;
            self->update();
        },
        Qt::QueuedConnection);
}

RectD EditorPanel::frame() const {
    return ScreenProvider::shared().space().fromQt(QRectF(geometry()));
}

void EditorPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath tile;
    tile.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(tile, palette().color(QPalette::Window));
    painter.setClipPath(tile);
    painter.fillRect(QRectF(0, 0, width(), accentBarHeight), accentColor_);
}
