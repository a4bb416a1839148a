#include "app/X11TimestampGuard.h"

#include "platform/Clock.h"
#include "ui/X11.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <utility>

namespace {
constexpr std::uint32_t currentTime = 0;

X11TimestampGuard*& installedGuard() {
    static X11TimestampGuard* guard = nullptr;
    return guard;
}

int& dragsUnderWay() {
    static int drags = 0;
    return drags;
}
} // namespace

X11TimestampGuard::DragScope::DragScope() {
    ++dragsUnderWay();
}

X11TimestampGuard::DragScope::~DragScope() {
    if (--dragsUnderWay() == 0 && installedGuard())
        installedGuard()->dragEnded();
}

X11TimestampGuard::~X11TimestampGuard() {
    if (installedGuard() == this)
        installedGuard() = nullptr;
#ifdef KIPPETS_HAVE_XCB
    if (xcb_connection_t* connection = clockWindow_ ? X11::connection() : nullptr) {
        xcb_destroy_window(connection, clockWindow_);
        xcb_flush(connection);
    }
#endif
}

void X11TimestampGuard::install(QCoreApplication& application) {
    if (installed_ || QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    application.installNativeEventFilter(this);
    installed_ = true;
    installedGuard() = this;
}

bool X11TimestampGuard::nativeEventFilter(const QByteArray& eventType, void* message,
                                          qintptr* /*result*/) {
    if (eventType == QByteArrayLiteral("xcb_generic_event_t"))
        observe(message);
    return false;
}

void X11TimestampGuard::observe(void* message) {
#ifdef KIPPETS_HAVE_XCB
    auto* event = static_cast<xcb_generic_event_t*>(message);
    // Events another client sent carry whatever time it chose.
    const bool sent = event->response_type & 0x80;
    switch (event->response_type & 0x7F) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE:
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
    case XCB_MOTION_NOTIFY:
        if (!sent)
            noteServerTime(reinterpret_cast<xcb_key_press_event_t*>(event)->time);
        break;
    case XCB_PROPERTY_NOTIFY:
        if (!stampStep(event) && !sent)
            noteServerTime(reinterpret_cast<xcb_property_notify_event_t*>(event)->time);
        break;
    case XCB_SELECTION_REQUEST:
        checkSelectionTime(reinterpret_cast<xcb_selection_request_event_t*>(event)->time);
        break;
    case XCB_SELECTION_NOTIFY:
        checkSelectionTime(reinterpret_cast<xcb_selection_notify_event_t*>(event)->time);
        break;
    default:
        break;
    }
#else
    Q_UNUSED(message)
#endif
}

void X11TimestampGuard::noteServerTime(std::uint32_t time) {
    serverTime_ = time;
    serverTimeSeenAt_ = Clock::shared().now();
}

bool X11TimestampGuard::isBeyondServerTime(std::uint32_t time) const {
    if (!serverTime_ || time == currentTime)
        return false;
    const qint64 elapsedMs = serverTimeSeenAt_.msecsTo(Clock::shared().now());
    // X times are milliseconds that wrap round: the difference says which one is later.
    const qint64 ahead = static_cast<std::int32_t>(time - *serverTime_) - elapsedMs;
    return ahead > toleranceMs;
}

QList<std::uint32_t> X11TimestampGuard::stepsToNow(std::uint32_t from) {
    // Three equal steps cover any distance round the circle, each under half of it.
    const std::uint32_t distance = currentTime - from;
    const std::uint32_t step = distance / 3;
    return {from + step, from + 2 * step, currentTime};
}

void X11TimestampGuard::checkSelectionTime(std::uint32_t time) {
    if (!isBeyondServerTime(time))
        return;
    if (dragsUnderWay() > 0)
        madeUpTime_ = time;
    else
        // Qt takes the time once this event has passed; the steps come back after it.
        windQtClockOn(time);
}

void X11TimestampGuard::dragEnded() {
    if (const std::optional<std::uint32_t> time = std::exchange(madeUpTime_, std::nullopt))
        windQtClockOn(*time);
}

void X11TimestampGuard::windQtClockOn(std::uint32_t from) {
#ifdef KIPPETS_HAVE_XCB
    if (!X11::connection() || !makeClockWindow())
        return;
    for (const std::uint32_t step : stepsToNow(from)) {
        plannedSteps_.append(step);
        X11::setProperty32(clockWindow_, clockAtom_, X11::cardinalType(), {&step, 1});
    }
    X11::flush();
#else
    Q_UNUSED(from)
#endif
}

bool X11TimestampGuard::stampStep(void* propertyNotify) {
#ifdef KIPPETS_HAVE_XCB
    auto* notify = static_cast<xcb_property_notify_event_t*>(propertyNotify);
    if (!clockWindow_ || notify->window != clockWindow_)
        return false;
    if (!plannedSteps_.isEmpty())
        notify->time = plannedSteps_.takeFirst();
    return true;
#else
    Q_UNUSED(propertyNotify)
    return false;
#endif
}

bool X11TimestampGuard::makeClockWindow() {
#ifdef KIPPETS_HAVE_XCB
    if (clockWindow_)
        return true;
    xcb_connection_t* connection = X11::connection();
    if (!connection)
        return false;
    clockAtom_ = X11::atom("_KIPPETS_CLOCK_STEP");
    if (clockAtom_ == X11::noAtom)
        return false;
    // Unmapped and input only: it exists for its property events, which reach Qt's own queue.
    clockWindow_ = xcb_generate_id(connection);
    const std::uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, clockWindow_, X11::root(), -1, -1, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                      &events);
    return true;
#else
    return false;
#endif
}
