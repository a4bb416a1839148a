#pragma once

// What fills the content area of an expanded kippet window.
enum class ExpandedContent { analyzing, analysisFailed, importing, items };

// The first that applies: items in analysis (only while analysis is on), a failed analysis
// still waiting (the same), a fresh import, else the items themselves.
ExpandedContent chooseExpandedContent(bool aiEnabled, bool hasAnalyzingItems, bool hasWaitingItems,
                                      bool showAnalysisFailedState, bool showImportState);
