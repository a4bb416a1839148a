#include "app/AppDelegate.h"
#include "app/AppearancePalette.h"
#include "app/ContainerSetup.h"
#include "app/LaunchPaintWatch.h"
#include "app/RavorurOdu.h"
#include "app/SingleInstance.h"
#include "app/StartupRefusal.h"
#include "app/TerminationSignals.h"
#include "app/WorkerDrain.h"
#include "app/X11TimestampGuard.h"
#include "platform/StartupHeap.h"
#include "store/StoreContainer.h"

#include <QApplication>
#include <cstdio>
#include <memory>

namespace {
// Panels place themselves at exact screen positions, which Wayland does not allow clients to
// do; XWayland does.
void preferX11OnWayland() {
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") &&
        !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

// Another start of Kippets on the same data is handed to the running one; false: this start
// is to go on and listen for later ones.
bool handedOver(const QStringList& arguments, SingleInstance& singleInstance) {
    const QString name = SingleInstance::serverName(StoreContainer::defaultDataFolder());
    if (arguments.contains(SingleInstance::relaunchArgument))
        SingleInstance::waitForExit(name, std::chrono::seconds(10));
    else if (SingleInstance::handOver(name))
        return true;
    singleInstance.listen(name);
    return false;
}
} // namespace

int main(int argc, char** argv) {
    StartupHeap::prepare();
    preferX11OnWayland();
    // Without a window system the start still checks its store and says why it cannot go on,
    // with the status of every other refusal, instead of being ended by Qt at once.
    const bool hasDisplay = StartupRefusal::hasDisplay(argc, argv);
    if (!hasDisplay)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Kippets"));
    QApplication::setApplicationName(QStringLiteral("Kippets"));
    QApplication::setQuitOnLastWindowClosed(false);
    applyAppearancePalette(app);
    X11TimestampGuard timestampGuard;
    timestampGuard.install(app);

    const QStringList arguments = QApplication::arguments();
    std::unique_ptr<SingleInstance> singleInstance;
    if (!arguments.contains(RavorurOdu::temporaryStorageArgument)) {
        singleInstance = std::make_unique<SingleInstance>();
        if (handedOver(arguments, *singleInstance))
            return 0;
    }

    std::unique_ptr<RavorurOdu> root;
    try {
        root = std::make_unique<RavorurOdu>(arguments);
    } catch (const StartupFailure& failure) {
        if (StartupRefusal::tell(failure.errorDescription(), failure.reason(),
                                 [] { QCoreApplication::exit(1); }))
            QApplication::exec();
        return 1;
    }
    if (!hasDisplay) {
        root.reset();
        std::fprintf(stderr, "❌ Kippets needs a display: neither DISPLAY nor WAYLAND_DISPLAY is "
                             "set\n");
        return 1;
    }
    TerminationSignals terminationSignals;
    std::unique_ptr<LaunchPaintWatch> paintWatch;
    if (LaunchPaintWatch::isRequested()) {
        QObject::connect(&root->delegate(), &AppDelegate::launchTaskFinished, &app,
                         [&paintWatch] { paintWatch = std::make_unique<LaunchPaintWatch>(); });
    }
    root->launch(singleInstance.get());
    const int status = QApplication::exec();
    paintWatch.reset();
    root.reset();
    WorkerDrain::finishOrLeave(status);
    return status;
}
