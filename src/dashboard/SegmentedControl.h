#pragma once

#include <QStringList>
#include <QWidget>

class QButtonGroup;
class QPushButton;

// A row of mutually exclusive segments in one rounded track. A click on any segment, the
// selected one included, reports it; setting the selection from code reports nothing.
class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedControl(const QStringList& titles, QWidget* parent = nullptr);

    int currentIndex() const;
    void setCurrentIndex(int index);
    QPushButton* segment(int index) const;
    int count() const;

signals:
    void activated(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyStyle();

    QButtonGroup* group_;
};
