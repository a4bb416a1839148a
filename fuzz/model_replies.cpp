// What a model server sends back: the local model's structured records (every output kind and
// the screening verdict) and the cloud model's reply text.

#include "FuzzApplication.h"
#include "analysis/LocalModelSchema.h"
#include "analysis/OpenAIAnalyzer.h"

#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ensureFuzzApplication();
    const QByteArray reply(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    using Output = LocalModelSchema::Output;
    for (const Output output : {Output::analysis, Output::linkAnalysis, Output::codeAnalysis}) {
        try {
            LocalModelSchema::decodeAnalysis(reply, output);
        } catch (const std::exception&) {
        }
    }
    try {
        LocalModelSchema::decodeVerdict(reply);
    } catch (const std::exception&) {
    }
    try {
        OpenAIAnalyzer::parseResponse(QString::fromUtf8(reply));
    } catch (const std::exception&) {
    }
    return 0;
}
