#pragma once

#include "sim/record_source.h"

#include <QObject>
#include <QString>

// A simulated three-sensor device at the far end of a pseudo-terminal: a
// program opens slavePath() as its serial port and receives the generator's
// records, one each interval, whether or not anybody has the port open.
//
// The device keeps its own descriptor of the slave side, so that the line
// stays up while no program has it open. What nobody reads is not kept for
// long: once more than kBacklogLimit bytes wait unread, the queue is dropped
// before the next record, as bytes sent to a closed port are lost, and a
// record that does not fit is dropped too; the device never blocks.
class PtyDevice : public QObject {
    Q_OBJECT
public:
    static constexpr int kBacklogLimit = 512;

    explicit PtyDevice(QObject *parent = nullptr);
    ~PtyDevice() override;
    PtyDevice(const PtyDevice &) = delete;
    PtyDevice &operator=(const PtyDevice &) = delete;

    // False when the pair could not be made; errorString() says why.
    bool isValid() const;
    QString errorString() const;
    QString slavePath() const;

    // Pace, line end and count of the records; start() begins sending.
    RecordSource &source();
    void start();

    // Bytes sent that the program on the slave side has not read yet.
    int unreadBytes() const;
    qint64 droppedRecords() const;

private:
    void send(const QByteArray &record);

    RecordSource m_source{this};
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_error;
    qint64 m_dropped = 0;
};
