#pragma once

#include "model/KeyboardAction.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <chrono>
#include <optional>

class ClockTimer;
class KeyCaptureField;
class OnboardingState;
class QLabel;
class QPushButton;
class QScrollArea;
class ShortcutRow;

// Step 4: the seven single keys of a kippet window. A row per action shows its key and lets the
// user capture another; the keys change in the tour's state only, until "Save Shortcuts" stores
// them and tells the open kippet windows. A test field below praises any key it accepts for two
// seconds after the last one.
class ShortcutsStepView : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds testMessageDuration{2000};

    explicit ShortcutsStepView(OnboardingState* state, QWidget* parent = nullptr);

    std::optional<KeyboardAction> editingAction() const { return editingAction_; }
    ShortcutRow* row(KeyboardAction action) const;
    KeyCaptureField* testField() const { return testField_; }
    QLabel* testMessage() const { return testMessage_; }
    QString testInput() const { return testInput_; }
    QPushButton* resetButton() const { return reset_; }
    QPushButton* saveAllButton() const { return saveAll_; }

private:
    QWidget* shortcutList();
    QWidget* buttons();
    QWidget* testPanel();
    void edit(std::optional<KeyboardAction> action);
    void showShortcuts();
    void setTestInput(const QString& key);

    QPointer<OnboardingState> state_;
    std::optional<KeyboardAction> editingAction_;
    QString testInput_;
    QList<ShortcutRow*> rows_;
    QScrollArea* list_ = nullptr;
    QPushButton* reset_ = nullptr;
    QPushButton* saveAll_ = nullptr;
    KeyCaptureField* testField_ = nullptr;
    QLabel* testMessage_ = nullptr;
    ClockTimer* testClearing_;
};
