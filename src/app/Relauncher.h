#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Starts the app anew and ends this run: the same executable with the same arguments in the
// same working directory, then the quit. The new process waits for this one to let go of the
// data folder. When the new process cannot be started this one keeps running.
class Relauncher {
public:
    using Quit = std::function<void()>;

    // This process's executable, arguments and working directory; quits the application.
    Relauncher();
    Relauncher(QString program, QStringList arguments, QString workingDirectory, Quit quit);
    virtual ~Relauncher() = default;

    // Nothing when the new process started and the quit was asked for; else why not.
    virtual std::optional<QString> relaunch();

    QString program() const { return program_; }
    QStringList arguments() const { return arguments_; }

private:
    QString program_;
    QStringList arguments_;
    QString workingDirectory_;
    Quit quit_;
};
