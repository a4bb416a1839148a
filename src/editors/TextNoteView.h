#pragma once

#include "model/KippetItem.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QScrollArea;

// The read-only viewer of a text, note or code item: its text, selectable, under a fixed header
// with "Copy" (the whole text) and "Done". Window-modal on the kippet's panel, which in its
// collapsed form is too small to host it as a sheet. Changes nothing.
class TextNoteView : public QDialog {
    Q_OBJECT
public:
    static constexpr int fixedWidth = 500;
    static constexpr int fixedHeight = 400;

    explicit TextNoteView(const KippetItem& item, QWidget* parent = nullptr);

    // The item's bytes as UTF-8, or "" when they are not.
    static QString textOf(const KippetItem& item);
    QString text() const { return text_; }
    QLabel* textLabel() const { return textLabel_; }
    QScrollArea* scrollArea() const { return scrollArea_; }
    QPushButton* copyButton() const { return copyButton_; }
    QPushButton* doneButton() const { return doneButton_; }

    void copy();

private:
    QWidget* makeHeader();

    QString text_;
    QLabel* textLabel_ = nullptr;
    QScrollArea* scrollArea_ = nullptr;
    QPushButton* copyButton_ = nullptr;
    QPushButton* doneButton_ = nullptr;
};
