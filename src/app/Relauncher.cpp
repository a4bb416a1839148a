#include "app/Relauncher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

Relauncher::Relauncher()
    : Relauncher(QCoreApplication::applicationFilePath(), QCoreApplication::arguments().mid(1),
                 QDir::currentPath(), [] { QCoreApplication::quit(); }) {}

Relauncher::Relauncher(QString program, QStringList arguments, QString workingDirectory, Quit quit)
    : program_(std::move(program)), arguments_(std::move(arguments)),
      workingDirectory_(std::move(workingDirectory)), quit_(std::move(quit)) {}

std::optional<QString> Relauncher::relaunch() {
    // startDetached reports a missing program only through its result; name the cause plainly.
    if (!QFileInfo(program_).isExecutable())
        return QStringLiteral("%1 is not an executable program").arg(program_);
    QProcess process;
    process.setProgram(program_);
    process.setArguments(arguments_);
    process.setWorkingDirectory(workingDirectory_);
    if (!process.startDetached())
        return process.errorString();
    if (quit_)
        quit_();
    return std::nullopt;
}
