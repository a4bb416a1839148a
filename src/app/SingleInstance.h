#pragma once

#include <QObject>
#include <QString>
#include <chrono>

class QLocalServer;

// One running Kippets per data folder. A second start hands over to the running one through a
// local socket (which then shows its dashboard if nothing of it shows) and exits before it
// opens the store. The store's own lock on the data folder stays the last guard.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The launch argument the relauncher adds: this start waits for the old instance to end.
    static inline const QString relaunchArgument = QStringLiteral("-relaunched");

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket name for a data folder; differs between folders and users.
    static QString serverName(const QString& dataFolder);
    // Asks the instance listening on `name` to reopen; true when one took the request.
    static bool handOver(const QString& name);
    // Waits until nothing listens on `name` any more, or the limit has passed.
    static void waitForExit(const QString& name, std::chrono::milliseconds limit);

    // Listens for later starts; a stale socket of an ended instance is replaced.
    bool listen(const QString& name);

signals:
    void reopenRequested();

private:
    void accept();

    QLocalServer* server_;
};
