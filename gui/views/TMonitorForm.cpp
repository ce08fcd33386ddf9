#include "views/TMonitorForm.h"

#include "app/OperatorDialogs.h"
#include "bus/TDM.h"
#include "serial/MessageNumbers.h"
#include "serial/TransactionRecord.h"
#include "serial/WindowMessage.h"
#include "setup/OperatorNotices.h"
#include "views/CaptionFit.h"
#include "views/ClientSize.h"
#include "monitor/MonitorCaption.h"
#include "views/SegmentedBarMeter.h"
#include "views/SpinEdit.h"
#include "monitor/TrendStore.h"
#include "views/TwoStateSwitch.h"

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSlider>

#include <utility>

namespace {
const QSize FormSize(413, 259);
// A caption still "Untitle" is asked again this often; a window nobody names by then serves
// no inverter, so it can neither keep the event loop spinning nor take slot 0 for its own.
constexpr int MaxStartAttempts = 50;
constexpr int ColumnWidth = 76;

QString readoutText(MonitorLimits::Quantity quantity, double value)
{
    return quantity == MonitorLimits::Frequency ? QString::asprintf("%6.2f", value)
                                                : QString::asprintf("%6.1f", value);
}
} // namespace

TMonitorForm::TMonitorForm(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QString::fromLatin1(MonitorCaption::Untitled));
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &TMonitorForm::Timer1Timer);

    auto *panel = new QFrame(this);
    panel->setGeometry(8, 8, 305, 209);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    buildColumns(panel);

    m_rnStopSwitch = new TwoStateSwitch(this);
    m_rnStopSwitch->setObjectName(QStringLiteral("RnStopSwitch"));
    m_rnStopSwitch->setCaption(QStringLiteral("Старт/Стоп"));
    m_rnStopSwitch->setSideTexts(QStringLiteral("Пуск"), QStringLiteral("Стоп"));
    m_rnStopSwitch->setGeometry(322, 10, 84, 66);
    connect(m_rnStopSwitch, &TwoStateSwitch::clicked, this, &TMonitorForm::RnStopSwitchClick);

    m_forRevSwitch = new TwoStateSwitch(this);
    m_forRevSwitch->setObjectName(QStringLiteral("ForRevSwitch"));
    m_forRevSwitch->setSideTexts(QStringLiteral("Назад"), QStringLiteral("Вперед"));
    m_forRevSwitch->setGeometry(322, 86, 84, 66);
    connect(m_forRevSwitch, &TwoStateSwitch::clicked, this, &TMonitorForm::ForRevSwitchClick);
    setSwitchesEnabled(false);

    m_closeButton = new QPushButton(QStringLiteral("Выход"), this);
    m_closeButton->setGeometry(322, 190, 84, 27);
    connect(m_closeButton, &QPushButton::clicked, this, &TMonitorForm::closeWindow);

    m_status = new QLabel(this);
    m_status->setGeometry(8, 222, 397, 32);
    m_status->setWordWrap(true);

    // The trend opens from the context menu, so the window keeps its layout.
    auto *trend = new QAction(QStringLiteral("Тренд..."), this);
    trend->setObjectName(QStringLiteral("TrendItem"));
    connect(trend, &QAction::triggered, this, &TMonitorForm::TrendItemClick);
    addAction(trend);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TMonitorForm::TrendItemClick()
{
    if (m_address >= 0)
        PostMessage(MainWindow(), Msg::OpenTrend, m_address);
}

void TMonitorForm::buildColumns(QWidget *panel)
{
    const char *headings[] = {"Опорная\nчастота", "Выходная\nчастота", "Выходное\nнапряжение",
                              "Выходной\nток"};
    const char *maxNames[] = {"MaxFreqRefEdit", "MaxFreqRotEdit", "MaxMainVoltEdit",
                              "MaxOutputCurEdit"};
    const char *minNames[] = {"MinFreqRefEdit", "MinFreqRotEdit", "MinMainVoltEdit",
                              "MinOutputCurEdit"};
    for (int column = 0; column < 4; ++column) {
        const int x = 2 + column * ColumnWidth;
        auto *heading = new QLabel(QString::fromUtf8(headings[column]), panel);
        heading->setGeometry(x, 2, ColumnWidth - 2, 28);
        heading->setAlignment(Qt::AlignCenter);
        CaptionFit::fitLabel(heading);

        for (int isMin = 0; isMin < 2; ++isMin) {
            const int tag = 2 * column + isMin;
            auto *edit = new QLineEdit(panel);
            edit->setObjectName(QString::fromLatin1(isMin ? minNames[column] : maxNames[column]));
            edit->setGeometry(x + 8, isMin ? 156 : 32, ColumnWidth - 18, 20);
            edit->setText(QString::number(m_limits.limitOfTag(tag)));
            connect(edit, &QLineEdit::textEdited, this, [this, tag] { EditChange(tag); });
            m_limitEdits[tag] = edit;
        }
    }

    m_freqRefInd = new QSlider(Qt::Vertical, panel);
    m_freqRefInd->setObjectName(QStringLiteral("FreqRefInd"));
    m_freqRefInd->setRange(0, 100);
    m_freqRefInd->setPageStep(10);
    m_freqRefInd->setSingleStep(10);
    m_freqRefInd->setTickPosition(QSlider::TicksRight);
    m_freqRefInd->setTickInterval(10);
    m_freqRefInd->setGeometry(2 + 26, 54, 24, 100);
    connect(m_freqRefInd, &QSlider::valueChanged, this, &TMonitorForm::FreqRefIndChange);

    m_freqRefEdit = new SpinEdit(panel);
    m_freqRefEdit->setObjectName(QStringLiteral("FreqRefEdit"));
    m_freqRefEdit->setRange(m_limits.minimum(MonitorLimits::Frequency),
                            m_limits.maximum(MonitorLimits::Frequency));
    m_freqRefEdit->setIncrement(1);
    // The hint shows as the tool-tip and, like the main window's hints, in its status bar.
    const QString refHint = QStringLiteral("Задание опорной частоты");
    m_freqRefEdit->setToolTip(refHint);
    m_freqRefEdit->setStatusTip(refHint);
    m_freqRefEdit->setGeometry(2 + 4, 180, ColumnWidth - 10, 22);
    connect(m_freqRefEdit, &SpinEdit::changed, this, &TMonitorForm::FreqRefEditChange);

    const char *meterNames[] = {"FreqRotInd", "MainVoltInd", "OutputCurInd"};
    const char *readoutNames[] = {"FreqRotLabel", "MainVoltLabel", "OutputCurLabel"};
    for (int q = 0; q < 3; ++q) {
        const int x = 2 + (q + 1) * ColumnWidth;
        auto *meter = new SegmentedBarMeter(panel);
        meter->setObjectName(QString::fromLatin1(meterNames[q]));
        meter->setGeometry(x + 26, 54, 24, 100);
        m_meters[q] = meter;
        auto *readout = new QLabel(readoutText(MonitorLimits::Quantity(q), 0.0), panel);
        readout->setObjectName(QString::fromLatin1(readoutNames[q]));
        readout->setGeometry(x + 4, 180, ColumnWidth - 10, 22);
        readout->setAlignment(Qt::AlignCenter);
        readout->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_readouts[q] = readout;
    }
}

QString TMonitorForm::statusText() const
{
    return m_status->text();
}

QLineEdit *TMonitorForm::limitEdit(int tag) const
{
    return tag >= 0 && tag < MonitorLimits::EditCount ? m_limitEdits[tag] : nullptr;
}

// --- lifecycle -----------------------------------------------------------------------------

void TMonitorForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    FormShow();
}

void TMonitorForm::FormShow()
{
    SetClientSize(this, FormSize);
    PostMessage(this, Msg::StartMonitor);
}

void TMonitorForm::closeEvent(QCloseEvent *event)
{
    // FormClose: no more polling; replies still on their way are ignored.
    m_timer.stop();
    m_closed = true;
    event->accept();
}

void TMonitorForm::closeWindow()
{
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
        frame->close(); // closes this window first, then its frame
    else
        close();
}

void TMonitorForm::customEvent(QEvent *event)
{
    if (event->type() != WindowMessage::eventType()) {
        QWidget::customEvent(event);
        return;
    }
    auto *message = static_cast<WindowMessage *>(event);
    switch (message->message()) {
    case Msg::StartMonitor:
        StartMonitoring();
        break;
    case Msg::MonitorPollResult:
        if (message->record())
            PollReply(*message->record());
        break;
    case Msg::InverterState: {
        const qintptr lParam = message->lParam();
        SwitchState(int((lParam >> 16) & 0xFFFF), int(lParam & 0xFFFF));
        break;
    }
    default:
        // Replies to the reference writes (Msg::MonitorWriteResult) are not examined.
        break;
    }
}

void TMonitorForm::StartMonitoring()
{
    if (m_closed)
        return;
    // The main window names the window right after creating it.
    const bool untitled = windowTitle() == QLatin1String(MonitorCaption::Untitled);
    if (untitled && ++m_startAttempts < MaxStartAttempts) {
        PostMessage(this, Msg::StartMonitor);
        return;
    }
    if (m_started) {
        // Shown again (restored from minimised): the round is already running.
        RefreshDisplay();
        return;
    }
    m_started = true;
    m_address = untitled ? -1 : MonitorCaption::slotOf(windowTitle());
    if (m_address < 0) {
        m_status->setText(QStringLiteral("Заголовок окна не называет адрес 0..31: "
                                         "окно не обслуживает ни один ПЧ"));
        m_freqRefInd->setEnabled(false);
        m_freqRefEdit->setEnabled(false);
        return;
    }
    SwitchState(m_address, InverterStateCode::Present);
    RefreshDisplay();
    m_cycle.reset();
    issuePollRequest();
    if (!m_suspended)
        m_timer.start();
}

// --- polling -------------------------------------------------------------------------------

void TMonitorForm::Timer1Timer()
{
    if (m_closed || m_suspended)
        return;
    // Only when the last request has been answered; one request per tick at most.
    if (m_cycle.tick())
        issuePollRequest();
}

void TMonitorForm::issuePollRequest()
{
    TDM *registry = DM();
    if (!registry || !registry->HasInverter(m_address)) {
        m_cycle.reset();
        stopPolling(QStringLiteral("Нет ПЧ по адресу #%1: опрос остановлен").arg(m_address));
        return;
    }
    TransactionRecord record;
    InitTransaction(record, this, Msg::MonitorPollResult, 0, m_address);
    m_pollGeneration = registry->slotGeneration(m_address);
    bool sent = false;
    switch (m_cycle.next()) {
    case PollCycle::Request::OutputFreq:
        sent = registry->ReadOutputFreq(record);
        break;
    case PollCycle::Request::OutputVoltage:
        sent = registry->ReadOutputVoltage(record);
        break;
    case PollCycle::Request::OutputCurrent:
        sent = registry->ReadOutputCurrent(record);
        break;
    case PollCycle::Request::None:
        return;
    }
    if (!sent) {
        m_cycle.reset();
        stopPolling(QStringLiteral("ПЧ #%1 не принимает запрос: опрос остановлен").arg(m_address));
    }
}

void TMonitorForm::stopPolling(const QString &reason)
{
    m_timer.stop();
    m_suspended = true;
    m_status->setText(reason);
}

void TMonitorForm::resumePolling()
{
    TDM *registry = DM();
    if (!m_suspended || m_closed || !registry || !registry->HasInverter(m_address))
        return;
    m_suspended = false;
    m_status->clear();
    m_cycle.reset();
    issuePollRequest();
    if (!m_suspended)
        m_timer.start();
}

void TMonitorForm::PollReply(TransactionRecord &record)
{
    // Only the reply to the request outstanding counts; late ones are dropped.
    if (m_closed || m_address < 0 || record.Slot != m_address || !m_cycle.awaitingReply())
        return;
    TDM *registry = DM();
    if (!registry) {
        m_cycle.reset();
        stopPolling(QStringLiteral("Нет ПЧ по адресу #%1: опрос остановлен").arg(m_address));
        return;
    }
    // The slot emptied or refilled since the request: the reply belongs to a driver that is
    // gone, so no driver decodes it.
    if (!registry->HasInverter(m_address)) {
        m_cycle.reset();
        stopPolling(QStringLiteral("Нет ПЧ по адресу #%1: опрос остановлен").arg(m_address));
        return;
    }
    if (registry->slotGeneration(m_address) != m_pollGeneration) {
        m_cycle.reset();
        stopPolling(QStringLiteral("ПЧ по адресу #%1 сменился: опрос остановлен").arg(m_address));
        return;
    }
    registry->ProcessReply(record);
    switch (record.Result) {
    case TransactionResult::Ok:
        if (std::exchange(m_lineDown, false))
            m_status->clear();
        RefreshDisplay();
        recordTrend();
        m_cycle.answered();
        break;
    case TransactionResult::TimeOut:
        if (record.LineLost) {
            // The port reports the loss once; the round goes on, and the next request
            // connects again.
            m_cycle.answered();
            m_status->setText(QStringLiteral("Нет связи с ПЧ #%1: опрос продолжается, "
                                             "пока связь не вернётся")
                                  .arg(m_address));
            m_lineDown = true;
            break;
        }
        [[fallthrough]];
    case TransactionResult::InverterError:
    case TransactionResult::CommError:
        reportFailure(record.Result);
        break;
    default:
        break;
    }
}

void TMonitorForm::recordTrend()
{
    // The outstanding request is at step 1, 4 or 7: frequency, voltage or current.
    const auto quantity = TrendBuffer::Quantity(m_cycle.step() / 3);
    const TDM *registry = DM();
    if (!registry)
        return;
    const double values[3] = {registry->GetOutputFreq(m_address),
                              registry->GetOutputVoltage(m_address),
                              registry->GetOutputCurrent(m_address)};
    TrendStore::instance().append(m_address, quantity, values[quantity]);
}

void TMonitorForm::reportFailure(int32_t result)
{
    m_timer.stop();
    TDM *registry = DM();
    QString text;
    if (result == TransactionResult::TimeOut) {
        text = QStringLiteral("RS232 time out");
    } else if (result == TransactionResult::InverterError) {
        if (registry)
            registry->NotifyChildren(m_address, InverterStateCode::Fault);
        text = QStringLiteral("Inverter error");
    } else {
        PostMessage(MainWindow(), Msg::RestartPort);
        text = QStringLiteral("RS232 communication error");
    }
    OperatorNotice notice;
    notice.caption = TDM::SectionName(m_address) + QStringLiteral(" Message");
    notice.text = text;
    notice.slot = m_address;
    ReportNotice(notice);
    closeWindow();
}

// --- display -------------------------------------------------------------------------------

void TMonitorForm::RefreshDisplay()
{
    for (int tag = 0; tag < MonitorLimits::EditCount; ++tag) {
        const QString text = QString::number(m_limits.limitOfTag(tag));
        // Rewriting an unchanged text would move the operator's cursor.
        if (m_limitEdits[tag]->text() != text)
            m_limitEdits[tag]->setText(text);
    }
    // A reference outside new limits is pulled in on the screen only: limits are typed a
    // keystroke at a time, and each intermediate limit would otherwise reach a running drive.
    // Only the operator's own reference edit or slider sends a reference.
    {
        const QScopedValueRollback<bool> bounding(m_boundingReference, true);
        m_freqRefEdit->setRange(m_limits.minimum(MonitorLimits::Frequency),
                                m_limits.maximum(MonitorLimits::Frequency));
    }

    TDM *registry = m_address >= 0 ? DM() : nullptr;
    const double values[3] = {
        registry ? registry->GetOutputFreq(m_address) : 0.0,
        registry ? registry->GetOutputVoltage(m_address) : 0.0,
        registry ? registry->GetOutputCurrent(m_address) : 0.0,
    };
    for (int q = 0; q < 3; ++q) {
        const auto quantity = MonitorLimits::Quantity(q);
        m_meters[q]->setPosition(m_limits.meterPosition(quantity, values[q]));
        m_readouts[q]->setText(readoutText(quantity, values[q]));
    }
}

void TMonitorForm::EditChange(int tag)
{
    QLineEdit *edit = limitEdit(tag);
    if (!edit)
        return;
    const std::optional<int> value = MonitorLimits::parseWholeNumber(edit->text());
    if (!value) {
        ShowInvalidInteger(edit->text());
        return;
    }
    m_limits.apply(tag, *value);
    // Also puts a refused value's edit back to the limit in force.
    RefreshDisplay();
    // The reference shown follows the last one sent, held to the limits now in force, so a
    // limit passing through a low value on its way ("5" of "50") leaves no trace.
    if (m_sentReference) {
        const QScopedValueRollback<bool> bounding(m_boundingReference, true);
        m_freqRefEdit->setValue(m_limits.boundReference(*m_sentReference));
    }
}

// --- frequency reference -------------------------------------------------------------------

void TMonitorForm::FreqRefIndChange()
{
    // Setting the edit runs FreqRefEditChange when its text changes.
    m_freqRefEdit->setValue(m_limits.referenceForSlider(m_freqRefInd->value()));
}

void TMonitorForm::FreqRefEditChange()
{
    const std::optional<int> typed = m_freqRefEdit->value();
    const int64_t hertz = typed ? *typed : m_limits.minimum(MonitorLimits::Frequency);
    // Moving the slider runs FreqRefIndChange, which may change the edit again; that nested
    // change writes its own value first.
    m_freqRefInd->setValue(m_limits.sliderPosition(hertz));
    const int bounded = m_limits.boundReference(hertz);
    // A typed value beyond the limits is never written: the edit is pulled in (its nested
    // change writes the bound) unless the slider already did that.
    if (bounded != hertz && m_freqRefEdit->value() == typed)
        m_freqRefEdit->setValue(bounded);
    if (!m_boundingReference)
        writeFreqRef(bounded);
}

void TMonitorForm::writeFreqRef(int hertz)
{
    TDM *registry = DM();
    if (m_address < 0 || !registry)
        return;
    TransactionRecord record;
    InitTransaction(record, this, Msg::MonitorWriteResult, MonitorLimits::hundredths(hertz),
                    m_address);
    if (registry->WriteFreqRef(record))
        m_sentReference = hertz;
}

// --- switches ------------------------------------------------------------------------------

void TMonitorForm::SwitchState(int slot, int state)
{
    if (m_address < 0 || slot != m_address)
        return;
    TDM *registry = DM();
    if (state == InverterStateCode::Present || state == InverterStateCode::Detecting) {
        setSwitchesEnabled(true);
        // Showing the inverter's state is not an operator's action: no command goes out.
        m_rnStopSwitch->setChecked(registry && registry->GetRunning(m_address));
        m_forRevSwitch->setChecked(registry && registry->GetReverse(m_address));
    } else {
        setSwitchesEnabled(false);
    }
    if (!m_started || m_closed)
        return;
    if (state == InverterStateCode::Detecting)
        stopPolling(QStringLiteral("Идёт поиск ПЧ #%1: опрос приостановлен").arg(m_address));
    else if (state == InverterStateCode::NoInverter)
        stopPolling(QStringLiteral("Нет ПЧ по адресу #%1: опрос остановлен").arg(m_address));
    else if (state == InverterStateCode::Present)
        resumePolling();
}

void TMonitorForm::setSwitchesEnabled(bool enabled)
{
    m_rnStopSwitch->setEnabled(enabled);
    m_forRevSwitch->setEnabled(enabled);
}

void TMonitorForm::sendCommand(int command)
{
    SendMessage(MainWindow(), Msg::OperatorCommand, 0, (qintptr(m_address) << 16) + command);
}

void TMonitorForm::RnStopSwitchClick(bool on)
{
    if (m_address < 0)
        return;
    m_rnStopSwitch->setEnabled(false);
    sendCommand(on ? OperatorCommandCode::Run : OperatorCommandCode::Stop);
}

void TMonitorForm::ForRevSwitchClick(bool on)
{
    if (m_address < 0)
        return;
    m_forRevSwitch->setEnabled(false);
    sendCommand(on ? OperatorCommandCode::RunReverse : OperatorCommandCode::Forward);
}
