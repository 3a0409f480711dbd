#pragma once

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>

// A file the monitor only ever appends to. Each piece goes to the operating
// system in one unbuffered write, so what a tick wrote survives the program
// being killed. The first failed write closes the file and is reported
// once; later writes are ignored.
class AppendFile : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    bool isWriting() const;
    QString path() const;

    // Closes the file and, when this run created it, removes it again: for
    // a start that is called off.
    void abandon();

signals:
    // A write failed and the file is closed. `diskFull` tells the common
    // case apart for the user; `reason` is the host's own text.
    void failed(const QString &path, bool diskFull, const QString &reason);

protected:
    // Opens (creating) `path` for appending; the host's reason when it
    // cannot, empty when it is open.
    QString openForAppend(const QString &path);
    void append(const QByteArray &bytes);

private:
    void fail();

    QFile m_file;
    bool m_created = false; // the file did not exist before it was opened
};
