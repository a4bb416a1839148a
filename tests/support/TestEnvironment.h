#pragma once

#include "platform/Log.h"

#include <QString>
#include <QStringList>

// Every test process starts isolated: HOME and the XDG folders point into a temporary folder,
// QStandardPaths is in test mode, and fresh temporary Preferences, NotificationCenter and a
// ManualClock are installed before the first test function runs.
namespace TestEnvironment {
// The temporary folder that stands for the user's home in this test process.
QString root();
// Installs a new, empty preferences file (and returns its path); the old one is discarded.
QString resetPreferences();
} // namespace TestEnvironment

class ManualClock;
ManualClock& testClock();

// Captures Log lines for as long as it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const;
    bool contains(const QString& fragment) const;

private:
    struct State;
    State* state_;
    Log::Sink previous_;
};
