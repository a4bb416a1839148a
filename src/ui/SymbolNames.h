#pragma once

#include <QStringList>

// Every symbol name the app draws, gathered in one list: the bundle has a row for each
// (resources/symbols.tsv), and the symbol lookup names any other bundled name it is asked to draw
// for the app's own views, so a new symbol cannot be drawn without being listed here.
namespace SymbolNames {
// The names the app's own views, menus and the tour pass to the symbol lookup.
const QStringList& interface();
// The icons a kippet can be given, in the order the icon grid offers them.
const QStringList& kippetIcons();
// Everything the app draws by name: interface(), kippetIcons(), the categories'
// symbols and the icon the model gives a new kippet.
const QStringList& all();
bool isListed(const QString& name);
} // namespace SymbolNames
