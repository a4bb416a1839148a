// The small stored values: the keyboard shortcuts (also the tour's), the colour texts, and the
// raw names of actions, view modes, screen edges, categories and item types.

#include "FuzzApplication.h"
#include "model/ItemCategory.h"
#include "model/KeyboardAction.h"
#include "model/KeyboardShortcuts.h"
#include "model/KippetColor.h"
#include "model/KippetItemType.h"
#include "model/KippetViewMode.h"
#include "model/ScreenEdge.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ensureFuzzApplication();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    KeyboardShortcuts::fromJsonBytes(bytes);
    const QString text = QString::fromUtf8(bytes);
    KippetColor::fromHex(text);
    keyboardActionFromRaw(text);
    kippetViewModeFromRaw(text);
    screenEdgeFromRaw(text);
    itemCategoryFromRaw(text);
    kippetItemTypeFromRaw(text);
    return 0;
}
