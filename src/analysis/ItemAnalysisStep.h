#pragma once

#include "model/Kippet.h"
#include "model/KippetItem.h"

#include <QCoroTask>
#include <QPointer>

// The first analysis of a newly added item: asks the analysis service (or, with analysis off, the
// classifier), writes the outcome into the kippet's entry for the item, and has the kippet saved.
// A passing failure parks the item as waiting and hands it to KippetManager for retries; a lasting
// one leaves the error's short message in the item's description. Never throws.
class ItemAnalysisStep {
public:
    static QCoro::Task<void> analyzeItem(QPointer<Kippet> kippet, KippetItem item);

    // "ai_enabled" counts as on unless it holds false.
    static bool isAnalysisEnabled();
};
