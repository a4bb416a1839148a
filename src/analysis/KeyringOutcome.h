#pragma once

#include <QByteArray>
#include <QString>
#include <qt6keychain/keychain.h>

// How one operation on the keyring ended, through the Secret Service or QtKeychain.
struct KeyringOutcome {
    QKeychain::Error error = QKeychain::NoError;
    bool timedOut = false;
    // The keyring holds the item, but locked: nothing was read and nobody was asked to unlock.
    bool locked = false;
    // The keyring left the session bus before it answered.
    bool serviceLeft = false;
    // Only an unlock prompt could have let the write go on, and none was to be shown.
    bool wouldPrompt = false;
    // For any other failure: what the keyring was asked and what it said, and what the user can
    // do about it when that is more than looking at the keyring.
    QString cause;
    QString nextStep;
    QByteArray data;

    bool succeeded() const { return answered() && error == QKeychain::NoError; }
    bool notFound() const { return answered() && error == QKeychain::EntryNotFound; }
    // The keyring said what it had to say, whatever that was.
    bool answered() const { return !timedOut && !locked && !serviceLeft && !wouldPrompt; }
};
