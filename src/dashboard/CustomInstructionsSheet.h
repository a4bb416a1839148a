#pragma once

#include <QCoroTask>
#include <QDialog>
#include <QPointer>
#include <functional>
#include <optional>

class BusyButton;
class CharacterCounter;
class Kippet;
class LimitedTextEdit;
class QLabel;
class QPushButton;
class SheetBadge;

// The sheet in which the user writes a kippet's custom sorting instructions. It fills its
// editor from the kippet when shown, limits the text to 500 user-perceived characters, and on
// "Save" has the trimmed text screened before handing back the pair (written, screened) through
// onSave; a refusal keeps the sheet open with a warning. "Clear" hands back (none, none). It
// never closes itself: the presenter dismisses it. While a screening runs, nothing can leave
// the sheet or start another (Escape, Return and the window's close button do nothing).
class CustomInstructionsSheet : public QDialog {
    Q_OBJECT
public:
    using SaveCallback = std::function<void(const std::optional<QString>& customInstructions,
                                            const std::optional<QString>& sanitizedInstructions)>;
    using CancelCallback = std::function<void()>;

    static constexpr qsizetype instructionsLimit = 500;
    static constexpr int minimumHeightFloor = 380;

    CustomInstructionsSheet(Kippet* kippet, SaveCallback onSave, CancelCallback onCancel,
                            QWidget* parent = nullptr);

    bool isSanitizing() const { return isSanitizing_; }
    std::optional<QString> errorMessage() const { return errorMessage_; }

    // The presenter's close: hides the sheet for good and deletes it.
    void dismiss();

    SheetBadge* badge() const { return badge_; }
    QLabel* titleLabel() const { return title_; }
    QLabel* nameLabel() const { return name_; }
    LimitedTextEdit* editor() const { return editor_; }
    CharacterCounter* counter() const { return counter_; }
    QWidget* warning() const { return warning_; }
    QLabel* warningText() const { return warningText_; }
    QPushButton* clearButton() const { return clearButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    BusyButton* saveButton() const { return saveButton_; }

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitHeight();
    QWidget* buildHeader();
    QWidget* buildEditorSection();
    QWidget* buildWarning();
    QWidget* buildButtonRow();
    void refreshHeader();
    void refreshControls();
    void setSanitizing(bool sanitizing);
    void setErrorMessage(const std::optional<QString>& message);
    void save();
    void clear();
    static QCoro::Task<> screenAndSave(QPointer<CustomInstructionsSheet> sheet, QString text,
                                       SaveCallback onSave);

    QPointer<Kippet> kippet_;
    SaveCallback onSave_;
    CancelCallback onCancel_;
    bool isSanitizing_ = false;
    std::optional<QString> errorMessage_;
    bool isDismissed_ = false;
    bool hasAppeared_ = false;

    SheetBadge* badge_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* name_ = nullptr;
    LimitedTextEdit* editor_ = nullptr;
    CharacterCounter* counter_ = nullptr;
    QWidget* warning_ = nullptr;
    QLabel* warningText_ = nullptr;
    QPushButton* clearButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    BusyButton* saveButton_ = nullptr;
};
