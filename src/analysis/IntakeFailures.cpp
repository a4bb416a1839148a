#include "analysis/IntakeFailures.h"

#include "platform/KippetsError.h"
#include "platform/Log.h"
#include "store/StoreError.h"

#include <cerrno>
#include <cstring>

void IntakeFailures::add(const std::exception& error, const QString& logPrefix) {
    Log::line(logPrefix + KippetsError::textOf(error));
    addLogged(error);
}

void IntakeFailures::add(const std::exception_ptr& error, const QString& logPrefix) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& thrown) {
        add(thrown, logPrefix);
    } catch (...) {
        Log::line(logPrefix + QStringLiteral("unknown failure"));
        addLogged(QStringLiteral("unknown failure"));
    }
}

void IntakeFailures::addLogged(const std::exception& error) {
    failures_.append(Failure{KippetsError::textOf(error), meansDiskFull(error)});
}

void IntakeFailures::addLogged(const QString& text) {
    failures_.append(Failure{text, false});
}

// SQLite says so by its code; a file written beside the store or into the kippet's folder says
// so in the system's own words for ENOSPC, which this process produced.
bool IntakeFailures::meansDiskFull(const std::exception& error) {
    if (StoreError::meansFullDisk(error))
        return true;
    const QString noSpace = QString::fromLocal8Bit(std::strerror(ENOSPC));
    return KippetsError::textOf(error).contains(noSpace);
}

QString IntakeFailures::reasonOf(const Failure& failure) {
    if (failure.diskFull)
        return QStringLiteral("The disk is full");
    QString text = failure.text;
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

std::optional<QString> IntakeFailures::summary(qsizetype offered) const {
    if (failures_.isEmpty())
        return std::nullopt;
    const Failure& first = failures_.constFirst();
    if (failures_.size() == 1 && !first.diskFull)
        return first.text;
    QStringList reasons;
    for (const Failure& failure : failures_) {
        const QString reason = reasonOf(failure);
        if (!reasons.contains(reason))
            reasons.append(reason);
    }
    const qsizetype failed = failures_.size();
    if (offered <= 1 && failed == 1)
        return reasons.constFirst() + QStringLiteral(": the item could not be kept.");
    const QString count = QStringLiteral("%1 of %2 items could not be kept")
                              .arg(failed)
                              .arg(std::max(offered, failed));
    if (reasons.size() == 1)
        return reasons.constFirst() + QStringLiteral(": ") + count + QLatin1Char('.');
    return count + QStringLiteral(". ") + reasons.join(QStringLiteral(". ")) + QLatin1Char('.');
}
