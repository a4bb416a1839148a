#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Base of every typed failure in Kippets. Operations that can fail throw a subclass; the caller
// shows errorDescription() to the user or logs it. Exceptions never cross the event loop: every
// coroutine started from an event handler catches what its awaits throw.
class KippetsError : public std::exception {
public:
    explicit KippetsError(QString description);

    const QString& errorDescription() const noexcept { return description_; }
    // The user-facing text of any failure: ours carry one, others give what() as text.
    static QString textOf(const std::exception& error);
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString description_;
    QByteArray utf8_;
};
