#include "analysis/AnalyzerWiring.h"

#include "analysis/AIService.h"
#include "analysis/AIServiceError.h"
#include "analysis/HttpClient.h"
#include "analysis/ImageAnalyzer.h"
#include "analysis/KeychainError.h"
#include "analysis/KeychainStore.h"
#include "analysis/LocalModelAnalyzer.h"
#include "analysis/LocalModelServer.h"
#include "analysis/ObjectLabelClassifier.h"
#include "analysis/OpenAIAnalyzer.h"

namespace {
bool keyIsStored() {
    return KeychainStore::isInstalled() &&
           KeychainStore::shared().hasStoredKey(KeychainStore::apiKeyAccount);
}

bool keyPresenceIsKnown() {
    if (!KeychainStore::isInstalled())
        return true;
    const KeychainStore& store = KeychainStore::shared();
    return store.presenceKnown(KeychainStore::apiKeyAccount) &&
           !store.isLocked(KeychainStore::apiKeyAccount);
}

// A fresh read when a key is known to be there; none when it is known to be absent. A read
// that does not answer in time falls back on the key last seen, so a slow keyring does not
// turn a stored key into "no key"; nor does a keyring locked since: the request waits for the
// unlock as it does when the keyring was locked at start.
QCoro::Task<std::optional<QString>> loadStoredKey() {
    if (!KeychainStore::isInstalled())
        co_return std::nullopt;
    KeychainStore& store = KeychainStore::shared();
    const QString& account = KeychainStore::apiKeyAccount;
    co_await store.ensurePresenceKnown(account);
    if (store.isLocked(account))
        throw AIServiceError(AIServiceError::Case::keyringLocked);
    if (!store.hasStoredKey(account))
        co_return store.cachedValue(account);
    std::optional<QString> fresh;
    try {
        fresh = co_await store.read(account);
    } catch (const KeychainError& error) {
        if (error.isLocked())
            throw AIServiceError(AIServiceError::Case::keyringLocked);
        // A keyring that did not answer or failed: the key last seen still holds.
        co_return store.cachedValue(account);
    }
    co_return fresh;
}

// A locked keyring holds a key nobody can read yet: the chain is not built as if there were
// none, the request waits (a passing failure) until the keyring is unlocked.
QCoro::Task<bool> learnKeyPresence() {
    if (!KeychainStore::isInstalled())
        co_return true;
    KeychainStore& store = KeychainStore::shared();
    co_await store.ensurePresenceKnown(KeychainStore::apiKeyAccount);
    if (store.isLocked(KeychainStore::apiKeyAccount))
        throw AIServiceError(AIServiceError::Case::keyringLocked);
    co_return store.presenceKnown(KeychainStore::apiKeyAccount);
}
} // namespace

void installAnalyzers(AIService& service) {
    OpenAIAnalyzer::setDefaultKeySource(keyIsStored, loadStoredKey, keyPresenceIsKnown);
    service.setKeyPresenceAnswer(learnKeyPresence);
    service.setCloudFactory([] {
        return std::make_shared<OpenAIAnalyzer>(
            HttpClient::shared(), &OpenAIAnalyzer::defaultHasKey, &OpenAIAnalyzer::defaultLoadKey);
    });
    service.setLocalModelFactory([] { return std::make_shared<LocalModelAnalyzer>(); });
    service.setLocalModelAnswer([] { return LocalModelServer::shared().waitForFirstAnswer(); });
    // One classifier for the process: it loads its model on the first image and keeps it.
    auto labels = std::make_shared<ObjectLabelClassifier>();
    service.setImageFactory([labels] { return std::make_shared<ImageAnalyzer>(labels); });
}
