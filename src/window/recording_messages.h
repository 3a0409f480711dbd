#pragma once

#include <QString>

// The boxes shown when a file of --record or --capture can no longer be
// written: they name the file and why in Russian, and say that monitoring
// goes on.
QString recordingStoppedText(const QString &path, bool diskFull);
QString captureStoppedText(const QString &path, bool diskFull);
