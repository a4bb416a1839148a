#pragma once

#include <QWidget>

class QLabel;

// What an expanded kippet window shows below its layout row while the kippet holds no items.
class ItemsEmptyStateView : public QWidget {
    Q_OBJECT
public:
    explicit ItemsEmptyStateView(QWidget* parent = nullptr);

    QStringList texts() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    QLabel* symbol_;
    QLabel* title_;
    QLabel* hint_;
};
