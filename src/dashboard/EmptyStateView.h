#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

// What the dashboard shows where its kippets would be when none is left to show: "No Kippets"
// with a "New Kippet" button, or, for a search, "No Results for “text”".
class EmptyStateView : public QWidget {
    Q_OBJECT
public:
    explicit EmptyStateView(QWidget* parent = nullptr);

    // Empty `searchText`: no kippets at all; otherwise no kippet matches it.
    void show(const QString& searchText);

    QLabel* titleLabel() const { return title_; }
    QLabel* descriptionLabel() const { return description_; }
    QPushButton* newKippetButton() const { return newKippet_; }

signals:
    void newKippetRequested();

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyIcon();

    QString symbol_;
    QLabel* icon_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* description_ = nullptr;
    QPushButton* newKippet_ = nullptr;
};
