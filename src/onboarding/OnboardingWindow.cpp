#include "onboarding/OnboardingWindow.h"

#include "app/WindowLevel.h"
#include "model/OnboardingState.h"
#include "onboarding/OnboardingKeyFilter.h"
#include "onboarding/OnboardingView.h"
#include "onboarding/TourLayout.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/ScreenArrival.h"
#include "platform/ScreenProvider.h"
#include "ui/Theme.h"
#include "ui/WindowShapeMask.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
QPainterPath roundedShape(const QRectF& rect) {
    QPainterPath path;
    path.addRoundedRect(rect, OnboardingWindow::cornerRadius, OnboardingWindow::cornerRadius);
    return path;
}
} // namespace

OnboardingWindow::OnboardingWindow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    WindowLevel::makeFloating(this);
    setObjectName(QStringLiteral("OnboardingWindow"));
    setWindowTitle(QStringLiteral("Kippets"));
    setFixedSize(windowWidth, windowHeight);
    // Translucent from the start, so that a compositor that starts later can blend the corners;
    // without one they are cut off, as they would show black, and the cut follows the compositor
    // starting and stopping.
    setAttribute(Qt::WA_TranslucentBackground);
    shapeMask_ = new WindowShapeMask(
        this, [this] { return WindowShapeMask::rounded(rect(), cornerRadius); });

    view_ = new OnboardingView(new OnboardingState, this, this);
    plainColumn(this)->addWidget(view_);
    new OnboardingKeyFilter(this);

    place();
    // X11 knows no panels that take keys without activating their application.
    show();
    raise();
    activateWindow();
    // No button starts out focused; Tab reaches them all the same.
    view_->setFocusPolicy(Qt::ClickFocus);
    view_->setFocus();
}

OnboardingState* OnboardingWindow::state() const {
    return view_->state();
}

void OnboardingWindow::place() {
    // Centred on the usable area of the main screen, or on a 1920 × 1080 desktop without one.
    const ScreenProvider& screens = ScreenProvider::shared();
    RectD area(0, 0, 1920, 1080);
    if (const std::optional<ScreenInfo> main = screens.mainScreen())
        area = main->visibleFrame;
    else
        ScreenArrival::whenScreenAppears(this, [this] { place(); });
    setGeometry(screens.space().toQtRect(frameCentredOn(area)));
}

RectD OnboardingWindow::frameCentredOn(const RectD& area) {
    return RectD(area.midX() - windowWidth / 2.0, area.midY() - windowHeight / 2.0, windowWidth,
                 windowHeight);
}

void OnboardingWindow::closeEvent(QCloseEvent* event) {
    if (!closingPosted_) {
        closingPosted_ = true;
        NotificationCenter::shared().post(NotificationName::onboardingWindowClosing);
    }
    event->accept();
}

void OnboardingWindow::keyPressEvent(QKeyEvent* event) {
    // An Escape that a focused text field left unused.
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool OnboardingWindow::isMasked() const {
    return shapeMask_->isCut();
}

void OnboardingWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (isMasked()) {
        painter.fillRect(rect(), palette().color(QPalette::Window));
        return;
    }
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    Theme::paintWindowMaterial(painter, this, roundedShape(QRectF(rect())),
                               Theme::Material::underWindowBackground);
}
