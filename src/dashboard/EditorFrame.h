#pragma once

#include <QWidget>

class LimitedTextEdit;

// The sheets' instructions editor: a limited multi-line editor without a background of its own,
// 8 points inside a rounded field in the text-background colour with a faint outline.
class EditorFrame : public QWidget {
    Q_OBJECT
public:
    EditorFrame(qsizetype limit, QWidget* parent = nullptr);

    LimitedTextEdit* editor() const { return editor_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    LimitedTextEdit* editor_;
};
