#pragma once

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

// A real full disk for one test function: the function runs again in a child process with user
// and mount namespaces of its own (unshare -rm, which needs no root), where a small tmpfs is the
// temporary folder every file of the test goes to. Filled up, its writes fail with ENOSPC, as on
// a disk with no room left.
//
//     KIPPETS_RUN_ON_A_FULL_DISK();
//     FullDisk disk; // before anything is written to the temporary folder
//     ...
//     disk.fill();
class FullDisk {
public:
    struct ChildRun {
        bool passed = false;
        // Why no such child can run here (no unshare, no namespaces allowed), or why the child
        // skipped the case; empty when it ran it.
        QString skipReason;
        QByteArray output;
    };
    // True in the child that runThisTestInChild started.
    static bool isChild();
    // Runs the current test function of this executable in the child and waits for it.
    static ChildRun runThisTestInChild();

    // In the child: mounts the tmpfs and makes it the temporary folder.
    FullDisk();
    ~FullDisk();
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    QString folder() const { return folder_; }
    // Writes a filler file until not one byte more fits.
    bool fill();
    // Removes the filler: there is room again.
    bool release();
    // Copies the store's log into the store and cuts it to nothing, so that the next commit
    // needs room the disk does not have (a log of older commits is written over in place).
    static bool emptyStoreLog(QSqlDatabase database, const QString& storePath);

private:
    QString folder_;
    QString filler_;
    bool mounted_ = false;
};

// Outside the child: runs the current test function in it, reports its outcome and returns.
#define KIPPETS_RUN_ON_A_FULL_DISK()                                                               \
    do {                                                                                           \
        if (!FullDisk::isChild()) {                                                                \
            const FullDisk::ChildRun run = FullDisk::runThisTestInChild();                         \
            if (!run.skipReason.isEmpty())                                                         \
                QSKIP(qPrintable(run.skipReason));                                                 \
            QVERIFY2(run.passed, run.output.constData());                                          \
            return;                                                                                \
        }                                                                                          \
    } while (false)
