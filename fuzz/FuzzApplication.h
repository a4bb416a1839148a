#pragma once

#include <QGuiApplication>

// Every entry point runs inside a Qt application, as the app's code does: image readers and the
// MIME database are found through it, and drawings with text need the font database, which only
// a GUI application has. On the offscreen platform unless told otherwise, so no display is needed.
// Made once per process and never destroyed: the fonts it loads stay reachable to the end, where
// a teardown after main would free only part of them.
inline void ensureFuzzApplication() {
    if (QCoreApplication::instance())
        return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kippets-fuzz";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
}
