#pragma once

#include <QLatin1StringView>
#include <QStringList>

// Every symbol name the app draws, each written once, here. The bundle has a row for each
// (resources/symbols.tsv, checked by the symbol test), and the symbol lookup names any other
// bundled name it is asked to draw for the app's own views. Views pass the constants below, never
// a name of their own, so a symbol cannot be drawn without being listed.
//
// Each entry is the constant's identifier and the symbol's name; the list expands once into the
// constants and once into interface().
#define KIPPETS_SYMBOL_NAMES(X)                                                                    \
    X(appleIntelligence, "apple.intelligence")                                                     \
    X(arrowDownCircle, "arrow.down.circle")                                                        \
    X(arrowDownCircleFill, "arrow.down.circle.fill")                                               \
    X(arrowDownDoc, "arrow.down.doc")                                                              \
    X(arrowDownRightAndArrowUpLeft, "arrow.down.right.and.arrow.up.left")                          \
    X(arrowDownToLine, "arrow.down.to.line")                                                       \
    X(arrowLeftToLine, "arrow.left.to.line")                                                       \
    X(arrowRightToLine, "arrow.right.to.line")                                                     \
    X(arrowTriangle2Circlepath, "arrow.triangle.2.circlepath")                                     \
    X(arrowUpAndDownAndArrowLeftAndRight, "arrow.up.and.down.and.arrow.left.and.right")            \
    X(arrowUpForwardApp, "arrow.up.forward.app")                                                   \
    X(arrowUpLeftAndArrowDownRight, "arrow.up.left.and.arrow.down.right")                          \
    X(arrowUpLeftAndArrowDownRightSquareFill, "arrow.up.left.and.arrow.down.right.square.fill")    \
    X(arrowUpRight, "arrow.up.right")                                                              \
    X(arrowUpToLine, "arrow.up.to.line")                                                           \
    X(bookFill, "book.fill")                                                                       \
    X(bookmarkFill, "bookmark.fill")                                                               \
    X(calendar, "calendar")                                                                        \
    X(cameraFill, "camera.fill")                                                                   \
    X(checklist, "checklist")                                                                      \
    X(checkmark, "checkmark")                                                                      \
    X(checkmarkCircle, "checkmark.circle")                                                         \
    X(checkmarkCircleFill, "checkmark.circle.fill")                                                \
    X(checkmarkIcloudFill, "checkmark.icloud.fill")                                                \
    X(checkmarkShieldFill, "checkmark.shield.fill")                                                \
    X(chevronDown, "chevron.down")                                                                 \
    X(chevronLeft, "chevron.left")                                                                 \
    X(chevronLeftForwardslashChevronRight, "chevron.left.forwardslash.chevron.right")              \
    X(chevronRight, "chevron.right")                                                               \
    X(circle, "circle")                                                                            \
    X(clock, "clock")                                                                              \
    X(clockArrowCirclepath, "clock.arrow.circlepath")                                              \
    X(clockFill, "clock.fill")                                                                     \
    X(contextualmenuAndCursorarrow, "contextualmenu.and.cursorarrow")                              \
    X(docFill, "doc.fill")                                                                         \
    X(docOnClipboard, "doc.on.clipboard")                                                          \
    X(docOnClipboardFill, "doc.on.clipboard.fill")                                                 \
    X(docOnDoc, "doc.on.doc")                                                                      \
    X(docTextFill, "doc.text.fill")                                                                \
    X(exclamationmarkTriangleFill, "exclamationmark.triangle.fill")                                \
    X(externaldriveFill, "externaldrive.fill")                                                     \
    X(eyeFill, "eye.fill")                                                                         \
    X(eyeSlashFill, "eye.slash.fill")                                                              \
    X(eyedropperFull, "eyedropper.full")                                                           \
    X(folder, "folder")                                                                            \
    X(folderBadgeGearshape, "folder.badge.gearshape")                                              \
    X(folderFill, "folder.fill")                                                                   \
    X(folderFillBadgePlus, "folder.fill.badge.plus")                                               \
    X(gear, "gear")                                                                                \
    X(graduationcap, "graduationcap")                                                              \
    X(handRaised, "hand.raised")                                                                   \
    X(heartFill, "heart.fill")                                                                     \
    X(icloudFill, "icloud.fill")                                                                   \
    X(infoCircleFill, "info.circle.fill")                                                          \
    X(keyFill, "key.fill")                                                                         \
    X(lightbulbFill, "lightbulb.fill")                                                             \
    X(link, "link")                                                                                \
    X(listBullet, "list.bullet")                                                                   \
    X(lockShieldFill, "lock.shield.fill")                                                          \
    X(macwindow, "macwindow")                                                                      \
    X(magnifyingglass, "magnifyingglass")                                                          \
    X(minusSquare, "minus.square")                                                                 \
    X(minusSquareFill, "minus.square.fill")                                                        \
    X(network, "network")                                                                          \
    X(noteText, "note.text")                                                                       \
    X(paintpalette, "paintpalette")                                                                \
    X(paintpaletteFill, "paintpalette.fill")                                                       \
    X(pencilCircleFill, "pencil.circle.fill")                                                      \
    X(photo, "photo")                                                                              \
    X(photoFill, "photo.fill")                                                                     \
    X(pip, "pip")                                                                                  \
    X(plus, "plus")                                                                                \
    X(plusCircle, "plus.circle")                                                                   \
    X(plusCircleFill, "plus.circle.fill")                                                          \
    X(questionmarkCircle, "questionmark.circle")                                                   \
    X(questionmarkCircleFill, "questionmark.circle.fill")                                          \
    X(rectangleExpandVertical, "rectangle.expand.vertical")                                        \
    X(rectangleRighthalfInsetFilledArrowRight, "rectangle.righthalf.inset.filled.arrow.right")     \
    X(sparkles, "sparkles")                                                                        \
    X(squareAndArrowDown, "square.and.arrow.down")                                                 \
    X(squareAndArrowDownFill, "square.and.arrow.down.fill")                                        \
    X(squareFill, "square.fill")                                                                   \
    X(squareGrid2x2, "square.grid.2x2")                                                            \
    X(starFill, "star.fill")                                                                       \
    X(target, "target")                                                                            \
    X(textAlignleft, "text.alignleft")                                                             \
    X(textQuote, "text.quote")                                                                     \
    X(textformat, "textformat")                                                                    \
    X(trash, "trash")                                                                              \
    X(tray, "tray")                                                                                \
    X(tray2Fill, "tray.2.fill")                                                                    \
    X(trayFill, "tray.fill")                                                                       \
    X(xmark, "xmark")                                                                              \
    X(xmarkCircle, "xmark.circle")                                                                 \
    X(xmarkCircleFill, "xmark.circle.fill")                                                        \
    X(xmarkIcloud, "xmark.icloud")

namespace SymbolNames {
#define KIPPETS_SYMBOL_CONSTANT(identifier, name)                                                  \
    inline constexpr QLatin1StringView identifier{name};
KIPPETS_SYMBOL_NAMES(KIPPETS_SYMBOL_CONSTANT)
#undef KIPPETS_SYMBOL_CONSTANT

// The names above: what the app's own views, menus and the tour draw.
const QStringList& interface();
// The icons a kippet can be given, in the order the icon grid offers them.
const QStringList& kippetIcons();
// Everything the app draws by name: interface(), kippetIcons(), the categories'
// symbols and the icon the model gives a new kippet.
const QStringList& all();
bool isListed(const QString& name);
} // namespace SymbolNames
