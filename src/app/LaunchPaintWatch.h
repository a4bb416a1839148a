#pragma once

#include <QObject>
#include <QSet>

class QWidget;

// Ends the process once every window shown at the end of the launch has painted; the
// cold-start measurement runs the app with KIPPETS_BENCH_QUIT_AFTER_LAUNCH=1, whose span ends
// there. Nothing is pending at that point, so the process exits without tearing down.
class LaunchPaintWatch : public QObject {
    Q_OBJECT
public:
    static inline const char* variable = "KIPPETS_BENCH_QUIT_AFTER_LAUNCH";

    static bool isRequested();

    // Starts watching the windows visible now.
    explicit LaunchPaintWatch(QObject* parent = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void finishIfDone();

    QSet<QObject*> waiting_;
};
