#pragma once

#include <QWidget>

// A key letter in bold white monospace, centred on an accent-coloured rounded square.
class KeyBadge : public QWidget {
    Q_OBJECT
public:
    KeyBadge(const QString& letter, int side, QWidget* parent = nullptr);

    QString letter() const { return letter_; }
    void setLetter(const QString& letter);

    QSize sizeHint() const override { return {side_, side_}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString letter_;
    int side_;
};
