#pragma once

class QApplication;

// The app's look: the Fusion style with a light palette, or a dark one when the environment
// variable KIPPETS_PALETTE is "dark".
void applyAppearancePalette(QApplication& app);
