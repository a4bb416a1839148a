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
#include "ui/CompositorCheck.h"
#include "ui/Theme.h"

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
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      composited_(CompositorCheck::shared().isCompositing()) {
    setAttribute(Qt::WA_DeleteOnClose);
    WindowLevel::makeFloating(this);
    setObjectName(QStringLiteral("OnboardingWindow"));
    setWindowTitle(QStringLiteral("Kippets"));
    setFixedSize(windowWidth, windowHeight);
    if (composited_) {
        setAttribute(Qt::WA_TranslucentBackground);
    } else {
        // Without a compositor the transparent corners would show black: cut them off instead.
        setMask(QRegion(roundedShape(QRectF(rect())).toFillPolygon().toPolygon()));
    }

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

void OnboardingWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (composited_) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        Theme::paintWindowMaterial(painter, this, roundedShape(QRectF(rect())),
                                   Theme::Material::underWindowBackground);
    } else {
        painter.fillRect(rect(), palette().color(QPalette::Window));
    }
}
