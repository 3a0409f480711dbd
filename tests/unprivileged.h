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

// Runs `testFunction` of this very test program as user nobody and waits for it.
UnprivilegedRun rerunAsNobody(const char *testFunction);
