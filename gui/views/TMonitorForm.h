#pragma once

#include "app/CloseQuestion.h"
#include "monitor/MonitorLimits.h"
#include "monitor/PollCycle.h"

#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class SegmentedBarMeter;
class SpinEdit;
class TwoStateSwitch;
struct TransactionRecord;

// The monitor window of one inverter, whose slot is the number at the end of its caption. It
// polls output frequency, voltage and current in turn (one request per timer tick at most),
// shows them on bar meters scaled by six display limits, runs, stops and reverses the
// inverter with two switches and writes the frequency reference set with the slider or the
// spin edit. A failed poll is reported and closes the window; a poll that fails because the
// line is lost is not: the window says so and polls on, and the next request connects again.
//
// A caption that names no slot 0..31 gives a window that serves no inverter; a slot that is
// emptied or refilled while the window polls stops the polling (it resumes when the slot's
// inverter is reported present again). Both are said in the window's status line.
class TMonitorForm : public QWidget, public CloseQuestion
{
    Q_OBJECT

public:
    explicit TMonitorForm(QWidget *parent = nullptr);

    // The slot served, -1 for none (before the start or when the caption names no slot).
    int address() const { return m_address; }
    int pollStep() const { return m_cycle.step(); }
    bool isPolling() const { return m_timer.isActive(); }
    // Interval of Timer1, 1000 ms.
    int pollInterval() const { return m_timer.interval(); }
    void setPollInterval(int milliseconds) { m_timer.setInterval(milliseconds); }
    const MonitorLimits &limits() const { return m_limits; }
    // Why the window does not poll, or empty.
    QString statusText() const;

    // The controls.
    QLineEdit *limitEdit(int tag) const;
    QSlider *freqRefInd() const { return m_freqRefInd; }
    SpinEdit *freqRefEdit() const { return m_freqRefEdit; }
    SegmentedBarMeter *meter(MonitorLimits::Quantity quantity) const { return m_meters[quantity]; }
    QLabel *readout(MonitorLimits::Quantity quantity) const { return m_readouts[quantity]; }
    TwoStateSwitch *rnStopSwitch() const { return m_rnStopSwitch; }
    TwoStateSwitch *forRevSwitch() const { return m_forRevSwitch; }
    QPushButton *closeButton() const { return m_closeButton; }

    // Handlers.
    void Timer1Timer();
    // A limit edit's text changed (by the operator).
    void EditChange(int tag);
    void FreqRefIndChange();
    void FreqRefEditChange();
    void RnStopSwitchClick(bool on);
    void ForRevSwitchClick(bool on);
    // Context menu "Тренд...": asks the main window for the trend window of the slot.
    void TrendItemClick();

    QSize sizeHint() const override { return {413, 259}; }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void customEvent(QEvent *event) override;

private:
    void buildColumns(QWidget *panel);
    void FormShow();
    void StartMonitoring();
    void PollReply(TransactionRecord &record);
    // Adds the value a successful poll reply brought to the slot's trend.
    void recordTrend();
    void SwitchState(int slot, int state);
    void RefreshDisplay();
    void issuePollRequest();
    void resumePolling();
    void stopPolling(const QString &reason);
    void reportFailure(int32_t result);
    void closeWindow();
    void sendCommand(int command);
    void writeFreqRef(int hertz);
    void setSwitchesEnabled(bool enabled);

    int m_address = -1;
    bool m_started = false;
    bool m_closed = false;
    bool m_suspended = false; // polling stopped until the slot's inverter is present again
    bool m_lineDown = false;  // the last poll failed because the line was lost
    bool m_boundingReference = false;   // new limits pull the reference in: nothing is sent
    std::optional<int> m_sentReference; // hertz, the last reference written
    int m_startAttempts = 0;
    PollCycle m_cycle;
    uint64_t m_pollGeneration = 0;
    MonitorLimits m_limits;
    QTimer m_timer;

    std::array<QLineEdit *, MonitorLimits::EditCount> m_limitEdits{};
    QSlider *m_freqRefInd = nullptr;
    SpinEdit *m_freqRefEdit = nullptr;
    std::array<SegmentedBarMeter *, 3> m_meters{};
    std::array<QLabel *, 3> m_readouts{};
    TwoStateSwitch *m_rnStopSwitch = nullptr;
    TwoStateSwitch *m_forRevSwitch = nullptr;
    QPushButton *m_closeButton = nullptr;
    QLabel *m_status = nullptr;
};
