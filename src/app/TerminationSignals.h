#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into an orderly quit, so that a terminal's Ctrl+C or a session's end
// still stores the saves under way.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

private:
    static void handle(int signal);

    QSocketNotifier* notifier_ = nullptr;
};
