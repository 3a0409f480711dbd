#pragma once

#include <QObject>
#include <QSocketNotifier>

// Turns SIGINT, SIGTERM and SIGHUP into a Qt signal on the event loop, so
// that Ctrl-C ends the program through its normal path. The handler only
// writes the signal's number into a pipe, which is all it may safely do.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    int m_pipe[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr; // a child
};
