#include "app/DailyKippetScheduler.h"

#include "app/DailyKippet.h"
#include "app/DailyKippetTime.h"
#include "app/MenuBarManager.h"
#include "model/JsonCoding.h"
#include "model/Kippet.h"
#include "model/KippetColor.h"
#include "platform/Clock.h"
#include "platform/ClockTimer.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"
#include "ui/SymbolNames.h"

#include <QJsonValue>

namespace {
QPointer<DailyKippetScheduler>& installed() {
    static QPointer<DailyKippetScheduler> scheduler;
    return scheduler;
}

int minutesOfDay(const QTime& time) {
    return time.hour() * 60 + time.minute();
}
} // namespace

DailyKippetScheduler::DailyKippetScheduler() = default;

DailyKippetScheduler::~DailyKippetScheduler() {
    stop();
}

DailyKippetScheduler& DailyKippetScheduler::shared() {
    Q_ASSERT_X(installed(), "DailyKippetScheduler::shared", "no daily kippet scheduler installed");
    return *installed();
}

void DailyKippetScheduler::install(DailyKippetScheduler* scheduler) {
    installed() = scheduler;
}

bool DailyKippetScheduler::isInstalled() {
    return !installed().isNull();
}

bool DailyKippetScheduler::isEnabled() const {
    return Preferences::shared().boolOr(enabledKey, false);
}

void DailyKippetScheduler::setIsEnabled(bool enabled) {
    Preferences::shared().setBool(enabledKey, enabled);
    if (enabled)
        start();
    else
        stop();
}

int DailyKippetScheduler::scheduledHour() const {
    return DailyKippetTime::scheduledHour(Preferences::shared());
}

void DailyKippetScheduler::setScheduledHour(int hour) {
    DailyKippetTime::setScheduledHour(Preferences::shared(), hour);
}

int DailyKippetScheduler::scheduledMinute() const {
    return DailyKippetTime::scheduledMinute(Preferences::shared());
}

QTime DailyKippetScheduler::scheduledTime() const {
    return DailyKippetTime::scheduledTime(Preferences::shared());
}

void DailyKippetScheduler::setScheduledTime(const QTime& time) {
    DailyKippetTime::setScheduledTime(Preferences::shared(), time);
}

std::optional<QDateTime> DailyKippetScheduler::lastCreatedDate() const {
    const std::optional<QString> text = Preferences::shared().stringValue(lastCreatedDateKey);
    if (!text)
        return std::nullopt;
    try {
        return JsonCoding::decodeDate(QJsonValue(*text), lastCreatedDateKey);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void DailyKippetScheduler::setLastCreatedDate(const std::optional<QDateTime>& date) {
    if (date)
        Preferences::shared().setString(lastCreatedDateKey, JsonCoding::encodeDate(*date));
    else
        Preferences::shared().remove(lastCreatedDateKey);
}

void DailyKippetScheduler::start() {
    stop();
    timer_ = Clock::shared().createTimer(this);
    timer_->setInterval(checkInterval);
    connect(timer_, &ClockTimer::timeout, this, &DailyKippetScheduler::checkAndCreateIfNeeded);
    timer_->start();
}

bool DailyKippetScheduler::isRunning() const {
    return timer_ && timer_->isActive();
}

void DailyKippetScheduler::stop() {
    delete timer_.data();
}

void DailyKippetScheduler::checkAndCreateIfNeeded() {
    if (!isEnabled())
        return;
    // Days and times of day are the user's own, not UTC's.
    const QDateTime now = Clock::shared().now().toLocalTime();
    const std::optional<QDateTime> last = lastCreatedDate();
    if (last && last->toLocalTime().date() == now.date())
        return;
    const int due = scheduledHour() * 60 + scheduledMinute();
    // Made by the clock, not the user: the panel shows without taking the keyboard from
    // whatever the user is typing into.
    if (minutesOfDay(now.time()) >= due)
        createDailyKippet(Keyboard::leave);
}

Kippet* DailyKippetScheduler::createDailyKippet() {
    return createDailyKippet(Keyboard::take);
}

Kippet* DailyKippetScheduler::createDailyKippet(Keyboard keyboard) {
    const QDate today = Clock::shared().now().toLocalTime().date();
    Kippet* kippet = nullptr;
    try {
        kippet = KippetManager::shared().createKippet(dailyKippetName(today),
                                                      KippetColor::fromQColor(dailyKippetColor()),
                                                      SymbolNames::calendar, true);
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("❌ Failed to create daily kippet: ") +
                  KippetsError::textOf(error));
        return nullptr;
    }
    setLastCreatedDate(Clock::shared().now());
    QMetaObject::invokeMethod(
        this,
        [created = QPointer<Kippet>(kippet), keyboard] {
            if (!created || !MenuBarManager::isInstalled())
                return;
            if (keyboard == Keyboard::take)
                MenuBarManager::shared().showWindow(created);
            else
                MenuBarManager::shared().showWindowWithoutKey(created);
        },
        Qt::QueuedConnection);
    return kippet;
}
