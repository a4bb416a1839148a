#include "onboarding/OnboardingWindow.h"

#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/ScreenProvider.h"

#include <QCloseEvent>
#include <QVBoxLayout>

namespace {
OnboardingWindow::ContentFactory& contentFactory() {
    // The tour's pages arrive with onboarding; until then the window stands empty.
    static OnboardingWindow::ContentFactory factory = [](OnboardingWindow* window) -> QWidget* {
        return new QWidget(window);
    };
    return factory;
}
} // namespace

OnboardingWindow::OnboardingWindow() : QWidget(nullptr, Qt::Window) {
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(contentFactory()(this));
    const ScreenProvider& screens = ScreenProvider::shared();
    RectD frame(0, 0, width, height);
    if (const std::optional<ScreenInfo> main = screens.mainScreen()) {
        const RectD visible = main->visibleFrame;
        frame.x = visible.midX() - width / 2.0;
        frame.y = visible.midY() - height / 2.0;
    }
    setGeometry(screens.space().toQtRect(frame));
    show();
    raise();
    activateWindow();
}

void OnboardingWindow::setContentFactory(ContentFactory factory) {
    contentFactory() = std::move(factory);
}

void OnboardingWindow::closeEvent(QCloseEvent* event) {
    NotificationCenter::shared().post(NotificationName::onboardingWindowClosing);
    QWidget::closeEvent(event);
}
