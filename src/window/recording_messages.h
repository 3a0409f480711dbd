#pragma once

#include <QString>

// The boxes shown when a file of --record or --capture can no longer be
// written: they name the file and why in Russian, and say that monitoring
// goes on.
QString recordingStoppedText(const QString &path, bool diskFull);
QString captureStoppedText(const QString &path, bool diskFull);

// The box shown when the broker of --publish refuses the login (`topic`
// false) or the topic: it names the broker and says that monitoring goes on.
QString publishingStoppedText(const QString &broker, const QString &topic, bool topicRefused);
