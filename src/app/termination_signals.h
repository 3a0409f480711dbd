#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <array>
#include <memory>

// Turns SIGINT, SIGTERM and SIGHUP (Ctrl-C, kill, a closed terminal, a
// logout) into the received() signal, delivered by the event loop, so that
// the program can end the way its EXIT button does: port closed, lock
// released. A signal ignored when the program started (nohup) stays
// ignored, and the destructor puts back what was there. The handler only writes the signal's number to a pipe; nothing
// else may safely run inside it. One instance per program; on hosts without
// these signals it never emits.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

signals:
    void received(int signalNumber);

private:
    void readPipe();

    int m_pipe[2] = {-1, -1};
    std::array<bool, 3> m_handled{}; // per signal: installed over what was there

    std::unique_ptr<QSocketNotifier> m_notifier;
};

// A write into a pipe whose reader has gone fails with EPIPE instead of
// killing the program (SIGPIPE ignored); a no-op where there is no SIGPIPE.
void ignoreBrokenPipes();
