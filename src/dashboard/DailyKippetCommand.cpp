#include "dashboard/DailyKippetCommand.h"

#include "app/DailyKippet.h"
#include "app/MenuBarManager.h"
#include "platform/Clock.h"
#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "platform/Preferences.h"
#include "store/KippetManager.h"

namespace DailyKippetCommand {

Kippet* createDailyKippet() {
    const QDateTime now = Clock::shared().now();
    Kippet* kippet = nullptr;
    try {
        kippet = KippetManager::shared().createKippet(dailyKippetName(now.toLocalTime().date()),
                                                      KippetColor::fromQColor(dailyKippetColor()),
                                                      QStringLiteral("calendar"), true);
    } catch (const std::exception& error) {
        Log::line(QStringLiteral("❌ Failed to create daily kippet: ") +
                  KippetsError::textOf(error));
        return nullptr;
    }
    Preferences::shared().setDouble(QStringLiteral("daily_kippet_last_created_date"),
                                    static_cast<double>(now.toSecsSinceEpoch()));
    MenuBarManager::shared().showWindow(kippet);
    return kippet;
}

} // namespace DailyKippetCommand
