#pragma once

#include "analysis/ContentAnalyzer.h"

// The classifier for any item, by its type and, for files, by the file extension. Pure
// functions of the item; the content bytes are never read.
ContentAnalysis heuristicAnalysis(const KippetItem& item);
// The by-extension part for file items.
ContentAnalysis heuristicFileAnalysis(const KippetItem& item);

// The rule-based analyzer that ends every chain: always available, never fails, and accepts
// every sorting instruction unchanged.
class HeuristicAnalyzer : public ContentAnalyzer {
public:
    explicit HeuristicAnalyzer(
        AnalyzerCapabilities capabilities = AnalyzerCapabilities(AnalyzerCapabilities::all))
        : capabilities_(capabilities) {}

    AnalyzerID id() const override { return AnalyzerID::heuristic; }
    AnalyzerCapabilities capabilities() const override { return capabilities_; }
    std::optional<AnalyzerUnavailableReason> unavailableReason() const override {
        return std::nullopt;
    }
    QCoro::Task<ContentAnalysis> analyze(KippetItem item,
                                         std::optional<QString> customInstructions) override;
    QCoro::Task<QString> sanitize(QString instructions) override;

private:
    AnalyzerCapabilities capabilities_;
};
