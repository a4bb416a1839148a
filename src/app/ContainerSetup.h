#pragma once

#include "platform/KippetsError.h"

#include <QString>
#include <memory>
#include <utility>

class StoreContainer;

// No store could be made at all; the process cannot go on. Its description is the fatal line.
class StartupFailure : public KippetsError {
public:
    // `reason`: what stopped the start, as the store's refusal says it.
    StartupFailure(QString description, QString reason)
        : KippetsError(std::move(description)), reason_(std::move(reason)) {}

    const QString& reason() const { return reason_; }

private:
    QString reason_;
};

// The start-up choice of the store, with its log lines: in memory with "-useTemporaryStorage",
// else the form the preference "icloud_sync_enabled" selects; when that fails, a local store
// (in test mode in the test folder). Throws StartupFailure when the fallback fails too.
std::unique_ptr<StoreContainer> createLaunchContainer(bool useTemporaryStorage);
