#include "app/termination_signals.h"

#ifdef Q_OS_UNIX
#include <array>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>
#endif

#ifdef Q_OS_UNIX
namespace {

constexpr std::array kSignals = {SIGINT, SIGTERM, SIGHUP};

// The handler can reach no object: the pipe's writing end is the one thing
// it needs, set before the handlers are installed and cleared after.
volatile sig_atomic_t g_writeEnd = -1;

void onSignal(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    if (g_writeEnd >= 0) {
        // A full pipe already holds a signal to act on: nothing is lost.
        [[maybe_unused]] const ssize_t written = ::write(g_writeEnd, &number, 1);
    }
    errno = savedErrno;
}

void setHandler(int signalNumber, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

// What nohup (or any starter) chose to ignore is left ignored.
bool isIgnored(int signalNumber)
{
    struct sigaction current = {};
    return ::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

} // namespace
#endif

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
#ifdef Q_OS_UNIX
    if (::pipe(m_pipe) != 0)
        return;
    for (const int end : m_pipe) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, O_NONBLOCK);
    }
    m_notifier = std::make_unique<QSocketNotifier>(m_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &TerminationSignals::readPipe);
    g_writeEnd = m_pipe[1];
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        m_handled[i] = !isIgnored(kSignals[i]);
        if (m_handled[i])
            setHandler(kSignals[i], onSignal);
    }
#endif
}

TerminationSignals::~TerminationSignals()
{
#ifdef Q_OS_UNIX
    if (m_pipe[0] < 0)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        if (m_handled[i])
            setHandler(kSignals[i], SIG_DFL);
    }
    g_writeEnd = -1;
    m_notifier.reset();
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
#endif
}

void TerminationSignals::readPipe()
{
#ifdef Q_OS_UNIX
    unsigned char number = 0;
    while (::read(m_pipe[0], &number, 1) == 1)
        emit received(number);
#endif
}

void ignoreBrokenPipes()
{
#ifdef Q_OS_UNIX
    ::signal(SIGPIPE, SIG_IGN);
#endif
}
