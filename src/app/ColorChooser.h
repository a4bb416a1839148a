#pragma once

#include <QColor>
#include <functional>

class QWidget;

// Where the create sheet's custom-colour cell asks the user for any colour. The app shows a colour
// dialog without an alpha channel; tests install one that answers from a queue.
class ColorChooser {
public:
    using Chosen = std::function<void(const QColor& color)>;

    virtual ~ColorChooser() = default;

    static ColorChooser& shared();
    static void install(ColorChooser* chooser);

    // Opens the chooser over `parent`, starting at `initial`, and returns at once. `onChosen` gets
    // the colour the user took; it is not called when the user cancels or `parent` goes first.
    virtual void chooseColor(QWidget* parent, const QColor& initial, Chosen onChosen) = 0;
};
