#pragma once

#include <QString>
#include <functional>

class CustomInstructionsSheet;
class Kippet;
class QWidget;

// How every presenter shows a kippet's instructions sheet: over the presenter's window, the pair
// it hands back stored through CustomInstructions::store (on the kippet found by id, then its
// row), the sheet closed, and a failed write shown in the presenter's "Error" alert.
class InstructionsPresenter {
public:
    using ShowError = std::function<void(const QString& message)>;

    // `showError` (by default the "Error" alert of Dialogs) and `onClosed` (after the sheet
    // closed, saved or cancelled) run only while `presenter` exists; the pair is stored even
    // when it is gone.
    static CustomInstructionsSheet* present(Kippet* kippet, QWidget* presenter,
                                            ShowError showError = {},
                                            std::function<void()> onClosed = {});
};
