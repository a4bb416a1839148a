#include "window/ExpandedContent.h"

ExpandedContent chooseExpandedContent(bool aiEnabled, bool hasAnalyzingItems, bool hasWaitingItems,
                                      bool showAnalysisFailedState, bool showImportState) {
    if (aiEnabled && hasAnalyzingItems)
        return ExpandedContent::analyzing;
    if (aiEnabled && hasWaitingItems && showAnalysisFailedState)
        return ExpandedContent::analysisFailed;
    if (showImportState)
        return ExpandedContent::importing;
    return ExpandedContent::items;
}
