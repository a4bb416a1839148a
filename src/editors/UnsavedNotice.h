#pragma once

#include <QWidget>

class QLabel;

// A line under an editor's text that says what is not saved and why: a warning triangle and the
// words, wrapped to the editor's width. Hidden while there is nothing to say.
class UnsavedNotice : public QWidget {
    Q_OBJECT
public:
    explicit UnsavedNotice(QWidget* parent = nullptr);

    // Empty hides the notice.
    void setText(const QString& text);
    QString text() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColours();

    QLabel* symbol_;
    QLabel* text_;
};
