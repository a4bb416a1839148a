#pragma once

// How assistive technology sees a todo row: the checkbox as a button whose value reads "checked"
// or "unchecked", the text as a button whose default action and "Edit" action start editing.
namespace TodoRowAccessibility {
// Registers the row's accessibility with Qt; only the first call does anything.
void install();
} // namespace TodoRowAccessibility
