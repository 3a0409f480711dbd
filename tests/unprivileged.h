#pragma once

#include <QString>

// Root may read any device, so a refusal for lack of permission can only be
// seen by an ordinary user. As root, a test re-runs itself as user nobody.
struct UnprivilegedRun {
    bool available = false; // false: setpriv is missing, nothing was run
    bool passed = false;
    QString output;
};

bool runningAsRoot();

// Runs `testFunction` of this very test program as user nobody and waits for
// it; `dataTag`, when given, picks the one row to run.
UnprivilegedRun rerunAsNobody(const char *testFunction, const char *dataTag = nullptr);

// As root, ends the calling test function (or row) with the verdict of its
// re-run as user nobody; as anyone else, does nothing and the test goes on.
#define RERUN_AS_NOBODY_WHEN_ROOT()                                                                              \
    do {                                                                                                         \
        if (runningAsRoot()) {                                                                                   \
            const UnprivilegedRun run_ = rerunAsNobody(QTest::currentTestFunction(), QTest::currentDataTag()); \
            if (!run_.available)                                                                                 \
                QSKIP("running as root and setpriv is not installed: cannot try the device as an ordinary user"); \
            QVERIFY2(run_.passed, qPrintable(run_.output));                                                      \
            return;                                                                                              \
        }                                                                                                        \
    } while (false)
