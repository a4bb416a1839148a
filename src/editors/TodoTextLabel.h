#pragma once

#include <QLabel>

// A todo's text as the row shows it: verbatim, wrapped, struck through and dimmed while the
// todo is done. A double click asks for editing; a single click does nothing.
class TodoTextLabel : public QLabel {
    Q_OBJECT
public:
    static constexpr double fontPixels = 14;

    explicit TodoTextLabel(QWidget* parent = nullptr);

    void showTodo(const QString& text, bool done);

signals:
    // A double click, or the accessibility actions, asked to edit the text.
    void editRequested();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
