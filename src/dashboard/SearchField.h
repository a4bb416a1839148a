#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

// The dashboard's search field: a magnifying glass, a borderless text field 150 wide with
// "Search kippets...", and a clear button only while there is text, on a rounded field.
class SearchField : public QWidget {
    Q_OBJECT
public:
    explicit SearchField(QWidget* parent = nullptr);

    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* clearButton() const { return clear_; }
    QString text() const;

signals:
    void textChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyIcons();

    class QLabel* glass_ = nullptr;
    QLineEdit* edit_ = nullptr;
    QToolButton* clear_ = nullptr;
};
