#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

// A file the monitor only ever appends to. It is judged first and created
// later, so that a start called off for any reason leaves no file behind. Each piece goes to the operating
// system in one unbuffered write, so what a tick wrote survives the program
// being killed, and reaches the disk itself (fdatasync) at most a second
// later, so that a full disk or a pulled stick is noticed at the tick it
// happens. A piece is whole or absent: a write cut short is cut back out of
// a regular file. The first failure closes the file and is reported once;
// later writes are ignored.
//
// A pipe or FIFO is written without ever blocking the caller: what its
// reader has not taken yet waits here, up to kMostWaiting bytes.
class AppendFile : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~AppendFile() override;

    static constexpr qsizetype kMostWaiting = 4 * 1024 * 1024;

    bool isWriting() const;
    QString path() const;

    // Whether both name one and the same file, whatever the paths: both
    // open on it, or both to create it in one folder.
    bool isSameFileAs(const AppendFile &other) const;

    // Creates the file that judging found missing (an existing one is open
    // already); the reason when it cannot, empty when it is open.
    QString create();

    // Closes the file and, when this run created it, removes it again: for
    // a start that is called off. A file still to be made never will be.
    void abandon();

signals:
    // A write failed and the file is closed. `diskFull` tells the common
    // case apart for the user; `reason` is the host's own text.
    void failed(const QString &path, bool diskFull, const QString &reason);

protected:
    // Judges `path` without creating or changing anything: a file that
    // exists is opened for appending and checked by what was opened; for a
    // missing one, its folder must let it be made. The reason when it
    // cannot be used, empty when it can. A FIFO that nobody reads is
    // refused rather than waited for.
    QString judgeForAppend(const QString &path);
    void append(const QByteArray &bytes);
    bool isRegularFile() const { return isWriting() && !m_stream; }
    // Cuts a regular file back to `size` bytes; false when it cannot.
    bool cutBackTo(qint64 size);

private:
    // Takes the opened file over, a pipe or FIFO watched for room. Where
    // there are no descriptors the handle is -1 and the file is opened by its path.
    QString adopt(int handle);
    // The folder (as the system knows it, whatever the path) and the name of a file still to be made.
    QString folderAndName() const;
    int descriptor() const;
    void writeOut(const QByteArray &bytes);
    void drainWaiting();
    void syncWhenDue();
    void stopWatching();
    void fail(bool diskFull, const QString &reason);

    QFile m_file;
    QString m_path; // as given: a file opened by its descriptor has no name
    bool m_toCreate = false; // judged missing and not made yet
    bool m_created = false; // the file did not exist before it was opened
    bool m_stream = false;  // a pipe, FIFO or device: nothing to seek or cut back
    QByteArray m_waiting;   // for a stream: written, not yet taken by its reader
    QSocketNotifier *m_writable = nullptr; // a child: a stream's room for more
    QElapsedTimer m_sinceSync;
};
