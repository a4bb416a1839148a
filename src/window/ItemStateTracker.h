#pragma once

#include "model/ItemCategory.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUuid>
#include <chrono>

class ClockTimer;
class Kippet;
class KippetItem;

// Decides when a kippet window shows that content is being analysed, was just imported, or
// failed its analysis. It watches the kippet's items itself: the ids seen so far and the last
// category of each, so that only items that arrive, or leave Uncategorized, while it watches
// raise the import state, and only a change of the waiting items raises the failed state. Each
// raised state lasts for its duration from its latest raise, on the Clock's timers. What it
// knew starts again at every appearance. GUI thread only.
class ItemStateTracker : public QObject {
    Q_OBJECT
public:
    // How an item that leaves Uncategorized for Waiting for Analysis is taken: the content view
    // raises the failed state for it even while other items already wait; the indicators only
    // when the kippet starts having waiting items.
    enum class Policy { indicator, contentView };
    // What a status view shows, by precedence.
    enum class State { analyzing, analysisFailed, importing, ready, idle };

    static constexpr std::chrono::milliseconds importStateDisplayDuration{2000};
    static constexpr std::chrono::milliseconds analysisFailedStateDisplayDuration{12000};

    ItemStateTracker(Kippet* kippet, Policy policy, QObject* parent = nullptr);

    // Coming on screen: the items present now are known and raise nothing.
    void appear();
    // Leaving the screen: the import state ends; the failed state keeps its timer.
    void disappear();

    bool isAnalyzingContent() const;
    bool hasItemsWaitingForAnalysis() const;
    bool showImportState() const { return showImportState_; }
    bool showAnalysisFailedState() const { return showAnalysisFailedState_; }

    // The state to show; `offersReady`: an empty kippet in an active window shows Ready.
    State state(bool offersReady, bool isActive) const;

signals:
    // Any of the values above may have changed.
    void changed();

private:
    void itemsChanged();
    void trackNewItems(const QList<QUuid>& ids);
    void trackCategoryChanges(const QList<KippetItem>& items);
    void showImportStateTemporarily();
    void showAnalysisFailedStateTemporarily();
    void hideImportState();
    void hideAnalysisFailedState();
    void remember(const QList<KippetItem>& items);
    void indexAppearance();

    QPointer<Kippet> kippet_;
    const Policy policy_;
    QSet<QUuid> knownItemIDs_;
    QHash<QUuid, ItemCategory> itemCategoryMap_;
    QList<KippetItem> lastItems_;
    // The two maps above still have to be filled from the items present at the appearance,
    // which is left until the items first change: most panels never see a change.
    bool appearancePending_ = false;
    bool wasAnalyzing_ = false;
    bool wasWaiting_ = false;
    bool showImportState_ = false;
    bool showAnalysisFailedState_ = false;
    ClockTimer* importTimer_;
    ClockTimer* analysisFailedTimer_;
};
