#pragma once

#include <QObject>
#include <QString>

#ifdef Q_OS_WIN
#include "sim/in_process_line.h"
#include "sim/record_source.h"
#else
#include "sim/pty_device.h"
#endif

class QIODevice;

// The monitor's built-in demo device: the generator's records, one a second
// for the whole run, on a line that the serial layer opens as it opens a
// port. On Unix the line is a pseudo-terminal, a device like any other;
// Windows has none, so there the line lives in this process and the serial
// layer reads it as it reads a port.
class DemoDevice : public QObject {
    Q_OBJECT
public:
    explicit DemoDevice(QObject *parent = nullptr);

    // False when the line could not be made; errorString() says why.
    bool isValid() const;
    QString errorString() const;

    // What a port opens to reach the device: a device path, and where the
    // line lives in this process, the line itself (nullptr otherwise).
    QString path() const;
    QIODevice *inProcessLine();

    // What the port list's tooltip says about the port it stands behind.
    QString description() const;

    // Begins sending, whether or not anybody has the line open.
    void start();

private:
#ifdef Q_OS_WIN
    InProcessLine m_line{this};
    RecordSource m_source{this};
#else
    PtyDevice m_pty{this};
#endif
};
