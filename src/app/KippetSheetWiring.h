#pragma once

// The sheets a kippet window presents: its "New Kippet" runs the create sheet through the one
// creation routine, its "Custom Instructions..." the instructions sheet of its kippet, stored
// through the one routine for the pair. Installed for every kippet window by the composition
// root; a window built before the installation presents nothing.
namespace KippetSheetWiring {
void install();
void uninstall();
} // namespace KippetSheetWiring
