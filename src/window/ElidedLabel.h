#pragma once

#include <QLabel>

// A one-line label that ends its text in an ellipsis when the text is wider than the label.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(const QString& text = {}, QWidget* parent = nullptr);

    QString fullText() const { return fullText_; }
    void setFullText(const QString& text);
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString fullText_;
};
