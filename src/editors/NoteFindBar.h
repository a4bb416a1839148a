#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPlainTextEdit;

// A small find field for a note's text, in a place of its own beside the text so that it never
// hides a line, or the match it selects. Return selects the next match of the field's text,
// Shift+Return the one before, both wrapping around the ends of the note and ignoring case; a
// search without any match turns the field's text red. Escape hides the bar and gives the
// keyboard back to the note's text.
class NoteFindBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int barWidth = 220;

    // Searches `text`; hidden until opened.
    explicit NoteFindBar(QPlainTextEdit* text, QWidget* parent = nullptr);

    QLineEdit* field() const { return field_; }

    // Shows the bar with the keyboard in its field and the field's text selected.
    void open();
    // Hides the bar; the note's text takes the keyboard.
    void dismiss();
    // Selects the next (or previous) match after (or before) the note's selection, wrapping
    // around; false, leaving the selection, when the note holds none.
    bool findMatch(bool backward);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void showMatched(bool matched);
    void applyColours();

    QPlainTextEdit* text_;
    QLabel* glass_;
    QLineEdit* field_;
    bool matched_ = true;
};
