#include "app/StatusMenuOpener.h"
#include "platform/Log.h"
#include <QGuiApplication>
#include <QWindow>

StatusMenuOpener::StatusMenuOpener(Open open, QObject* parent)
    : QObject(parent), open_(std::move(open)) {
    connect(qApp, &QGuiApplication::focusWindowChanged, this, &StatusMenuOpener::focusChanged);
}

bool StatusMenuOpener::focusIsStale() {
    const QWindow* focused = QGuiApplication::focusWindow();
    return focused && !focused->isVisible();
}

void StatusMenuOpener::clicked(QPoint at) {
    at_ = at;
    if (phase_ == Phase::WaitingForFocus)
        return;
    if (!focusIsStale()) {
        open_(at_);
        return;
    }
    Log::line(QStringLiteral("⏳ [StatusMenu] Click waits for the hidden window's focus to go"));
    phase_ = Phase::WaitingForFocus;
    guard_ = Clock::shared().schedule(settleGuard, this, [this] { guardExpired(); });
}

void StatusMenuOpener::focusChanged(QWindow*) {
    if (phase_ != Phase::WaitingForFocus || focusIsStale())
        return;
    // Opened from inside Qt's focus change, the popup would meet the rest of that change's
    // handling; it opens once the change is through.
    QMetaObject::invokeMethod(this, &StatusMenuOpener::openWaiting, Qt::QueuedConnection);
}

void StatusMenuOpener::guardExpired() {
    openWaiting();
}

void StatusMenuOpener::openWaiting() {
    if (phase_ != Phase::WaitingForFocus)
        return;
    phase_ = Phase::Idle;
    guard_.cancel();
    open_(at_);
}
