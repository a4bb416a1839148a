#pragma once

// Tests that compare where text lands, how tall a line is or which pixels a glyph covers hold
// only for one font: the desktop's sans-serif differs from machine to machine (Noto Sans where a
// Plasma desktop is installed, Cantarell on GNOME, DejaVu Sans elsewhere). A test that checks a
// promise meant for every font (a padding, a contrast) measures the widgets instead; one that
// compares pixels or line heights with fixed numbers calls this before it builds its
// first widget: DejaVu Sans, from Debian's fonts-dejavu-core, is loaded from its files and made
// the application's font, whatever the machine's font configuration names.
namespace TestFonts {
// Fails the calling test (QVERIFY) when the font files cannot be loaded.
void useDejaVuSans();
} // namespace TestFonts
