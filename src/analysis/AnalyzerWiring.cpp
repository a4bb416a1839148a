#include "analysis/AnalyzerWiring.h"

#include "analysis/AIService.h"
#include "analysis/HttpClient.h"
#include "analysis/ImageAnalyzer.h"
#include "analysis/KeychainStore.h"
#include "analysis/LocalModelAnalyzer.h"
#include "analysis/OpenAIAnalyzer.h"

namespace {
bool keyIsStored() {
    return KeychainStore::isInstalled() &&
           KeychainStore::shared().hasStoredKey(KeychainStore::apiKeyAccount);
}

QCoro::Task<std::optional<QString>> loadStoredKey() {
    if (!KeychainStore::isInstalled())
        co_return std::nullopt;
    co_return co_await KeychainStore::shared().load(KeychainStore::apiKeyAccount);
}
} // namespace

void installAnalyzers(AIService& service) {
    OpenAIAnalyzer::setDefaultKeySource(keyIsStored, loadStoredKey);
    service.setCloudFactory([] {
        return std::make_shared<OpenAIAnalyzer>(
            HttpClient::shared(), &OpenAIAnalyzer::defaultHasKey, &OpenAIAnalyzer::defaultLoadKey);
    });
    service.setLocalModelFactory([] { return std::make_shared<LocalModelAnalyzer>(); });
    service.setImageFactory([] { return std::make_shared<ImageAnalyzer>(); });
}
