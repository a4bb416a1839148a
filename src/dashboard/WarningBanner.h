#pragma once

#include <QWidget>

class QLabel;

// An orange warning triangle and a short message on a faint orange rounded field.
class WarningBanner : public QWidget {
    Q_OBJECT
public:
    explicit WarningBanner(QWidget* parent = nullptr);

    void setMessage(const QString& message);
    QLabel* messageLabel() const { return message_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QLabel* icon_;
    QLabel* message_;
};
