#pragma once

#include <QCoreApplication>

// Every entry point runs inside a Qt application, as the app's code does: image readers and the
// MIME database are found through it. Made once per process and kept for its life.
inline void ensureFuzzApplication() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "kippets-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}
