#pragma once

#include "app/BuildSettings.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>
#include <chrono>
#include <optional>

class QWidget;

// "Check for Updates...": reads a small feed, {"version":"1.4.0","url":"https://…"}, and tells
// the user whether a newer version is out. A build without a feed leaves updates to the
// system's package manager and never checks. "Up to date" is said only after a feed was read
// and understood. Held by the composition root; GUI thread only.
class UpdateChecker : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::seconds timeout{15};
    static constexpr qint64 feedLimit = 65536;
    static inline const QString title = QStringLiteral("Software Update");

    struct Outcome {
        enum class Kind { noFeed, newer, current, failed };
        Kind kind = Kind::noFeed;
        QString version;
        // Only an https address; empty otherwise.
        QUrl downloadUrl;
        QString reason;
    };

    // The feed must be https (a loopback address may be plain http).
    explicit UpdateChecker(QUrl feed = BuildSettings::updateFeedUrl(),
                           QString currentVersion = BuildSettings::version(),
                           QObject* parent = nullptr);

    static UpdateChecker& shared();
    static void install(UpdateChecker* checker);
    // Whether the app installed one; shared() falls back to the build's settings otherwise.
    static bool isInstalled();

    QString currentVersion() const { return current_; }
    bool isChecking() const { return checking_; }

    // One read of the feed; never throws.
    QCoro::Task<Outcome> check();
    // The command: checks, then shows the outcome. A second command while one runs is dropped.
    QCoro::Task<void> checkForUpdates(QWidget* parent = nullptr);

    // The text the user reads for an outcome.
    QString message(const Outcome& outcome) const;

    // Compares dotted numbers ("1.10" > "1.9", "1.4" == "1.4.0"); nothing when either is not one.
    static std::optional<int> compareVersions(const QString& left, const QString& right);

private:
    Outcome judge(const QByteArray& body) const;

    QUrl feed_;
    QString current_;
    bool checking_ = false;
};
