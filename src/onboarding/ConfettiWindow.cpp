#include "onboarding/ConfettiWindow.h"

#include "onboarding/ConfettiView.h"
#include "onboarding/TourLayout.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/ScreenProvider.h"
#include "ui/CompositorCheck.h"

#include <QRandomGenerator>

ConfettiWindow::ConfettiWindow(quint32 seed)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus |
                           // Above every window and on every workspace, and without the frame
                           // a window manager puts around a managed window: that frame would
                           // take the clicks the overlay lets through.
                           Qt::X11BypassWindowManagerHint | Qt::NoDropShadowWindowHint) {
    setObjectName(QStringLiteral("ConfettiWindow"));
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::NoFocus);

    const ScreenProvider& screens = ScreenProvider::shared();
    RectD frame(0, 0, 1920, 1080);
    if (const std::optional<ScreenInfo> main = screens.mainScreen()) {
        frame = main->frame;
    }
    setGeometry(screens.space().toQtRect(frame));
    view_ = new ConfettiView(seed, this);
    plainColumn(this)->addWidget(view_);

    show();
    Clock::shared().schedule(lifetime, this, [this] { close(); });
}

ConfettiWindow* ConfettiWindow::celebrate() {
    if (!CompositorCheck::shared().isCompositing()) {
        Log::line(QStringLiteral("🎉 [Confetti] No compositing manager runs: the celebration is "
                                 "skipped, as its window would black out the screen"));
        return nullptr;
    }
    return new ConfettiWindow(QRandomGenerator::global()->generate());
}
