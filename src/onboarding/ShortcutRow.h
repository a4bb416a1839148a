#pragma once

#include "model/KeyboardAction.h"

#include <QWidget>

class KeyBadge;
class KeyCaptureField;
class QPushButton;
class QStackedLayout;

// One action of the shortcuts step: its symbol and title, then either its key with "Edit", or,
// while editing, a key field with "Save" and "Cancel". The key captured while editing stays in
// the row until it is saved; leaving edit mode drops it.
class ShortcutRow : public QWidget {
    Q_OBJECT
public:
    ShortcutRow(KeyboardAction action, QWidget* parent = nullptr);

    static QString symbolOf(KeyboardAction action);

    KeyboardAction action() const { return action_; }
    QString shortcut() const { return shortcut_; }
    void setShortcut(const QString& key);
    bool isEditing() const { return editing_; }
    // Entering edit mode starts with an empty field that takes the focus.
    void setEditing(bool editing);
    QString newKey() const { return newKey_; }

    KeyBadge* badge() const { return badge_; }
    KeyCaptureField* keyField() const { return field_; }
    QPushButton* editButton() const { return edit_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }

signals:
    void editRequested();
    void saveRequested(const QString& key);
    void cancelRequested();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* displayControls();
    QWidget* editControls();
    void capture(const QString& key);

    KeyboardAction action_;
    QString shortcut_;
    bool editing_ = false;
    QString newKey_;
    QStackedLayout* modes_ = nullptr;
    KeyBadge* badge_ = nullptr;
    KeyCaptureField* field_ = nullptr;
    QPushButton* edit_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* cancel_ = nullptr;
};
