#pragma once

#include "editors/KippetCardFrame.h"

#include <functional>

class QLabel;
class QToolButton;

// The kippet's note, read-only, at the top of the expanded window: "Note", the note's age and an
// edit button over at most six lines of its text, or a placeholder for an empty note. A click
// anywhere on it, or on the edit button, asks the window for its note editor. It follows the
// kippet's note and colour; the age is worked out whenever the card is painted.
class KippetNoteCard : public KippetCardFrame {
    Q_OBJECT
public:
    static constexpr int maxLines = 6;

    KippetNoteCard(Kippet* kippet, std::function<void()> onTap, QWidget* parent = nullptr);

    // The lines shown for the text in the width: its first six, the last elided when more follow.
    static QStringList shownLines(const QString& text, const QFont& font, int width);

    QStringList lines() const;
    bool showsPlaceholder() const;
    // Empty while the note's text is.
    QString ageText() const;
    QToolButton* editButton() const { return editButton_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void updateLook() override;

private:
    QWidget* makeHeader();
    void updateNote();
    void updateAge();
    void layoutText();
    std::function<void()> onTap_;
    QLabel* symbol_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* age_ = nullptr;
    QToolButton* editButton_ = nullptr;
    QLabel* body_ = nullptr;
    QLabel* placeholder_ = nullptr;
    QString text_;
    bool pressed_ = false;
};
