#pragma once

#include <QList>
#include <QString>
#include <exception>
#include <optional>

// The items one drop, paste or import could not keep. Each failure is logged as it comes; the
// user is told once, at the end, how many of the items offered were not kept and why: a full disk
// fails every item after the first the same way, and one alert per item would stack a box for
// each.
class IntakeFailures {
public:
    // Logs the failure with `logPrefix` (the site's own line) and counts it.
    void add(const std::exception& error, const QString& logPrefix);
    void add(const std::exception_ptr& error, const QString& logPrefix);
    // A failure already logged by the site.
    void addLogged(const std::exception& error);
    // A failure known only by its text, already logged.
    void addLogged(const QString& text);

    // What the one alert says for `offered` items; nothing when every item was kept. A single
    // failure keeps its own words, unless the disk is full, which is said in words; several give
    // their count among the items offered and each of their reasons once.
    std::optional<QString> summary(qsizetype offered) const;

private:
    struct Failure {
        QString text;
        bool diskFull = false;
    };
    static bool meansDiskFull(const std::exception& error);
    static QString reasonOf(const Failure& failure);

    QList<Failure> failures_;
};
