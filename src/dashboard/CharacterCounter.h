#pragma once

#include <QLabel>

// "count/limit" under an instructions editor, in the secondary colour, orange once the count
// passes 450 so that the limit is seen coming.
class CharacterCounter : public QLabel {
    Q_OBJECT
public:
    static constexpr qsizetype warningFrom = 451;

    explicit CharacterCounter(qsizetype limit, QWidget* parent = nullptr);

    void setCount(qsizetype count);
    qsizetype count() const { return count_; }
    bool isWarning() const { return count_ >= warningFrom; }
    // The colour the count is drawn in.
    QColor color() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void refresh();

    qsizetype limit_;
    qsizetype count_ = -1;
};
