#pragma once

#include <QList>
#include <QPointer>
#include <QWidget>
#include <functional>

class Kippet;
class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
class TuckAwayKippetRow;

// The panel the tray slides out: "Tucked Kippets", a row per open kippet (scrolling beyond 300
// points) or "No active kippets", and "Show All Kippets". 220 wide; as high as its content.
// Its fill is drawn by the tray view.
class TuckAwayPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 220;
    static constexpr int maximumListHeight = 300;

    explicit TuckAwayPanel(QWidget* parent = nullptr);

    std::function<void()> onUntuck;
    std::function<void(Kippet*)> onFocusKippet;
    // After a row's menu closed its kippet.
    std::function<void()> onKippetClosed;

    // Rows for these kippets, in order; the old rows go once the events under way are done.
    void setKippets(const QList<QPointer<Kippet>>& kippets, bool cutoutEnabled,
                    bool monochromeIcons);
    void setCutout(bool cutoutEnabled);
    QList<TuckAwayKippetRow*> rows() const { return rows_; }
    QPushButton* untuckAllButton() const { return untuckAll_; }
    QScrollArea* scrollArea() const { return scroll_; }
    QLabel* emptyLabel() const { return empty_; }
    QSize sizeHint() const override;

signals:
    // The panel's height changed (rows came or went, a row grew or shrank).
    void heightChanged();

private:
    void updateListHeight();
    void applyColours();

    bool cutout_ = false;
    QLabel* title_;
    QScrollArea* scroll_;
    QWidget* list_;
    QVBoxLayout* listLayout_;
    QLabel* empty_;
    QWidget* emptyHolder_;
    QPushButton* untuckAll_;
    QList<TuckAwayKippetRow*> rows_;
};
