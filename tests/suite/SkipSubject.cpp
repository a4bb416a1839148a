// A QtTest executable that ReportSkipsTest runs under the suite's test runner: each function
// ends one way a case can end, and the command line picks which ones run.
#include <QTest>
#include <csignal>

class SkipSubject : public QObject {
    Q_OBJECT
private slots:
    void passes() { QVERIFY(true); }
    void skips() { QSKIP("no room for this case here"); }
    void fails() { QFAIL("what this case checks is wrong"); }
    void aborts() { std::raise(SIGABRT); }
};

QTEST_GUILESS_MAIN(SkipSubject)
#include "SkipSubject.moc"
