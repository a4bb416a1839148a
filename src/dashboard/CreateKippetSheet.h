#pragma once

#include "model/KippetColor.h"

#include <QDialog>
#include <functional>

class BusyButton;
class CapsuleBadge;
class CharacterCounter;
class ColorSwatchGrid;
class DisclosureHeader;
class IconGrid;
class Kippet;
class KippetForm;
class KippetPreviewCard;
class LimitedTextEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

// The sheet in which a kippet gets its name, colour, icon and custom instructions, to create it
// or to change an existing one. It owns none of these: it edits the host's form as the user
// types and clicks, and reports only through onCancel (Escape, "Cancel", the window's close
// button) and onSave ("Create"/"Save", Return; only while the trimmed name is not blank and no
// alert stands over the sheet). It never closes itself: the host dismisses it.
class CreateKippetSheet : public QDialog {
    Q_OBJECT
public:
    using Callback = std::function<void()>;

    static constexpr qsizetype instructionsLimit = 500;

    // `kippet` present: the sheet edits it ("Edit Kippet", "Save"); it is only tested for
    // presence, and the host fills the form beforehand.
    CreateKippetSheet(KippetForm& form, const Kippet* kippet, Callback onCancel, Callback onSave,
                      QWidget* parent = nullptr);

    static const QList<KippetColor>& colorPalette();
    static const QStringList& iconOptions();

    bool isEditing() const { return isEditing_; }
    bool isInstructionsExpanded() const;

    // While the host works on confirmed values (screening them), the confirm button shows a
    // spinner and takes no clicks; "Cancel" still works.
    void setWorking(bool working);
    bool isWorking() const { return isWorking_; }

    // The host's close: hides the sheet for good and deletes it.
    void dismiss();

    QLabel* titleLabel() const { return title_; }
    KippetPreviewCard* previewCard() const { return preview_; }
    QScrollArea* formArea() const { return formArea_; }
    QLineEdit* nameField() const { return nameField_; }
    ColorSwatchGrid* colorGrid() const { return colorGrid_; }
    IconGrid* iconGrid() const { return iconGrid_; }
    DisclosureHeader* instructionsHeader() const { return instructionsHeader_; }
    CapsuleBadge* activeBadge() const { return activeBadge_; }
    QWidget* instructionsContent() const { return instructionsContent_; }
    LimitedTextEdit* instructionsEditor() const { return instructionsEditor_; }
    CharacterCounter* counter() const { return counter_; }
    QPushButton* cancelButton() const;
    BusyButton* confirmButton() const { return confirmButton_; }

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildForm();
    QWidget* buildInstructionsSection();
    QWidget* buildButtonRow();
    QWidget* captioned(const QString& caption, QWidget* content);
    void nameDidChange();
    void instructionsDidChange();
    void updateConfirmEnabled();
    void confirm();
    bool isBehindAlert() const;

    KippetForm& form_;
    const bool isEditing_;
    Callback onCancel_;
    Callback onSave_;
    bool isWorking_ = false;
    bool hasAppeared_ = false;
    bool isDismissed_ = false;

    QLabel* title_ = nullptr;
    KippetPreviewCard* preview_ = nullptr;
    QScrollArea* formArea_ = nullptr;
    QLineEdit* nameField_ = nullptr;
    ColorSwatchGrid* colorGrid_ = nullptr;
    IconGrid* iconGrid_ = nullptr;
    DisclosureHeader* instructionsHeader_ = nullptr;
    CapsuleBadge* activeBadge_ = nullptr;
    QWidget* instructionsContent_ = nullptr;
    LimitedTextEdit* instructionsEditor_ = nullptr;
    CharacterCounter* counter_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    BusyButton* confirmButton_ = nullptr;
};
