#include "app/StartupRefusal.h"

#include "app/Dialogs.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

bool StartupRefusal::hasDisplay(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0)
            return true;
    for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        if (!qEnvironmentVariableIsEmpty(variable))
            return true;
    return false;
}

bool StartupRefusal::canShowAlert() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    const Dialogs& dialogs = Dialogs::shared();
    if (dialogs.isStopping())
        return false;
    if (dialogs.isRecordingOnly())
        return true;
    // Nobody sees these platforms' windows: an alert there would only hold the process.
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

bool StartupRefusal::tell(const QString& fatalLine, const QString& reason,
                          std::function<void()> dismissed) {
    std::fprintf(stderr, "%s\n", fatalLine.toUtf8().constData());
    std::fflush(stderr);
    if (!canShowAlert())
        return false;
    Dialogs::shared().showFinalAlert(alertTitle, reason, std::move(dismissed));
    return true;
}
