#pragma once

#include <QString>
#include <functional>

// A start that cannot go on (a store that is refused, a data folder another Kippets holds): the
// fatal line on standard error, where terminals and scripts read it, and the same words in one
// alert, since a start from the desktop's menu would otherwise seem to do nothing.
class StartupRefusal {
public:
    static inline const QString alertTitle = QStringLiteral("Kippets Cannot Start");

    // Before the application object exists: whether a window system can be reached at all (a
    // platform chosen, or an X or Wayland display named). Without one, the application object
    // cannot be made on the default platform: Qt would end the process before the store is
    // even looked at.
    static bool hasDisplay(int argc, char** argv);

    // Prints the fatal line. When a user can see an alert (a window system, not the offscreen
    // or minimal platform) or the dialogs are recorded, shows `reason` in one and returns true:
    // `dismissed` runs once it is closed. False: no alert, and `dismissed` does not run.
    static bool tell(const QString& fatalLine, const QString& reason,
                     std::function<void()> dismissed);

private:
    static bool canShowAlert();
};
