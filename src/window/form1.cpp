#include "window/form1.h"

#include "chart/chart_description.h"
#include "chart/chart_scroll.h"
#include "chart/grap_chart.h"
#include "reception/resive_sub.h"
#include "runtime/int16.h"
#include "runtime/number_text.h"
#include "runtime/numbered_error.h"
#include "serial/mscomm.h"
#include "setup/setup_chart.h"
#include "window/port_combo_box.h"
#include "window/port_messages.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {

const QString kOpenCaption = QStringLiteral("Открыть порт");
const QString kCloseCaption = QStringLiteral("Закрыть порт");
constexpr int kTickMs = 1000;

// The recording's name for what Read_Record did.
TickOutcome tickOutcomeOf(RecordOutcome outcome)
{
    switch (outcome) {
    case RecordOutcome::Parsed:
        return TickOutcome::Record;
    case RecordOutcome::Rejected:
        return TickOutcome::Repeated;
    case RecordOutcome::Silent:
        break;
    }
    return TickOutcome::Silent;
}

constexpr int kSpeeds[Form1::kSpeedCount] = {2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};

QString settingsFor(int speed)
{
    return QStringLiteral("%1,n,8,1").arg(speed);
}

} // namespace

Form1::Form1(ReceptionState &reception, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint)
    , m_reception(reception)
{
    setObjectName(QStringLiteral("Form1"));
    createControls();
    connectEvents();
    centerOnScreen();
    Form_Load();
}

void Form1::setClock(rt::Clock clock)
{
    m_clock = std::move(clock);
}

void Form1::assignPort(int port, const QString &path, const QString &description, QIODevice *line)
{
    m_comm->ports().assign(port, path, description, line);
}

void Form1::connectEvents()
{
    connect(m_exit, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_openClose, &QPushButton::clicked, this, &Form1::Key_Op_Cl_Click);
    connect(m_timer, &QTimer::timeout, this, &Form1::Timer1_Timer);
    connect(m_comm, &MSComm::deviceFailed, this, &Form1::onDeviceFailed);
    connect(m_comm, &MSComm::received, this, &Form1::bytesReceived);
    connect(m_portList, &PortComboBox::aboutToShowPopup, this, &Form1::refreshPortTooltips);
}

void Form1::Form_Load()
{
    Init_Chart(m_chart->grid(), 3, 20);
    Init_Ports({*m_portList, *m_openClose});
}

void Form1::Command1_Click()
{
    close();
}

void Form1::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void Form1::Form_Unload()
{
    if (m_comm->PortOpen())
        m_comm->setPortOpen(false);
}

void Form1::Key_Op_Cl_Click()
{
    try {
        if (m_openClose->text() == kOpenCaption) {
            applyChosenSpeed();
            openPort();
        } else {
            applyChosenSpeedBeforeClosing();
            closePort();
        }
    } catch (const rt::NumberedError &error) {
        reportOpenError(error);
    }
}

// The speed is written on every press; a speed the open device refuses must
// not keep a press of «Закрыть порт» from closing.
void Form1::applyChosenSpeedBeforeClosing()
{
    try {
        applyChosenSpeed();
    } catch (const rt::NumberedError &) {
    }
}

void Form1::applyChosenSpeed()
{
    // Every option is looked at; with none on, the last setting stays.
    for (int k = 0; k < kSpeedCount; ++k) {
        if (m_speeds[k]->isChecked())
            m_comm->setSettings(settingsFor(kSpeeds[k]));
    }
}

void Form1::openPort()
{
    m_comm->setCommPort(rt::add(rt::toInt16(m_portList->currentIndex()), 1));
    m_comm->setPortOpen(true);
    m_comm->setInputMode(0);
    m_comm->setInputLen(0);
    m_timer->start();
    m_openClose->setText(kCloseCaption);
    m_timer->setInterval(kTickMs);
    m_timer->start();
    // What the device sent before the port was opened is never shown.
    m_reception.Rx_Line = m_comm->Input();
}

void Form1::closePort()
{
    m_comm->setPortOpen(false);
    m_openClose->setText(kOpenCaption);
    m_timer->stop();
}

void Form1::reportOpenError(const rt::NumberedError &error)
{
    if (error.number() == rt::InvalidPortNumber) {
        const rt::Int16 port = rt::add(rt::toInt16(m_portList->currentIndex()), 1);
        showError(QStringLiteral("Невозможно Открыть Com порт") + rt::signSpacedText(port),
                  openFailureDetail(m_comm->lastOpenFailure()));
    }
    if (error.number() == rt::PortAlreadyOpen)
        showError(QStringLiteral("Повторная попытка Открыть Com порт"), openFailureDetail(m_comm->lastOpenFailure()));
    // Any other error ends the press with nothing shown.
}

void Form1::onDeviceFailed(int port, const QString &path)
{
    m_openClose->setText(kOpenCaption);
    m_timer->stop();
    showError(deviceLostText(port), deviceLostDetail(path));
}

void Form1::showError(const QString &text, const QString &detail)
{
    // Application-modal but not blocking: the caller's event procedure ends
    // at once, as it would after the user's OK.
    auto *box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Ошибка"), text, QMessageBox::Ok, this);
    box->setInformativeText(detail);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
}

void Form1::refreshPortTooltips()
{
    // One look at the host's devices for all nine entries.
    const PortDirectory::Listing listing = m_comm->ports().listing();
    for (int index = 0; index < m_portList->count(); ++index)
        m_portList->setItemData(index, listing.summary(index + 1), Qt::ToolTipRole);
}

void Form1::Timer1_Timer()
{
    // One clock reading labels the chart row and dates the recorded line.
    const QDateTime now = m_clock();
    // An error (a field out of range, say) ends this tick where it happened;
    // the state stays as that step left it and the next tick runs as usual.
    try {
        const RecordOutcome outcome = Read_Record(m_reception, *m_comm, {*m_raw, m_values});
        const std::array<rt::Int16, 3> values{m_reception.Sens_A, m_reception.Sens_B, m_reception.Sens_C};
        scrollAndAppend(m_chart->grid(), values, rt::timeOfDayText(now.time()));
        m_chart->setAccessibleDescription(latestSampleDescription(m_chart->grid()));
        if (tickIsWatched())
            emit tickTaken({now, tickOutcomeOf(outcome), {values[0], values[1], values[2]}, m_raw->text()});
    } catch (const rt::NumberedError &error) {
        if (error.number() == rt::Overflow && tickIsWatched())
            emit tickTaken({now, TickOutcome::Overflow, {}, m_raw->text()});
    }
}

// Without --record or --publish nobody listens, and no row is made.
bool Form1::tickIsWatched() const
{
    return isSignalConnected(QMetaMethod::fromSignal(&Form1::tickTaken));
}
