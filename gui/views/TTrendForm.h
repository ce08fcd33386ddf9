#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>

class QChart;
class QChartView;
class QComboBox;
class QDateTimeAxis;
class QGraphicsLineItem;
class QLabel;
class QLineSeries;
class QPushButton;
class QValueAxis;
class TrendStore;

// The trend of one drive, whose slot is the number at the end of the caption: output
// frequency, voltage and current against time, each on its own scale, over the last 1, 5 or
// 30 minutes. The samples come from the poll replies of the drive's monitor window (through
// the trend store), so the window adds no bus traffic. The plot is redrawn at most twice a
// second, whatever the rate of the samples; pause freezes it while the samples go on being
// recorded. A mouse over the plot shows the values at that time; the samples can be exported
// as CSV and the plot as PNG.
class TTrendForm : public QWidget
{
    Q_OBJECT

public:
    static constexpr int RedrawIntervalMs = 500;

    // "Тренд:  ПЧ     #" followed by the slot.
    static QString captionPrefix();
    static QString captionFor(int slot);

    explicit TTrendForm(QWidget *parent = nullptr);

    // The store read; TrendStore::instance() unless tests set another.
    void setStore(TrendStore *store);
    // The slot served (from the caption at the first show), -1 for none.
    int address() const { return m_address; }

    bool isPaused() const { return m_paused; }
    void setPaused(bool paused);
    int spanMinutes() const;
    // 1, 5 or 30; other values are ignored.
    void setSpanMinutes(int minutes);

    QLineSeries *series(int quantity) const { return m_series[quantity]; }
    QChartView *chartView() const { return m_view; }
    QString cursorText() const;
    // The readout of the sample nearest to the time.
    void showCursorAt(qint64 msecs);
    // Puts the samples of the span into the plot now.
    void redraw();
    int redrawCount() const { return m_redraws; }

    // Atomic saves; false with the reason.
    bool exportCsv(const QString &fileName, QString *error = nullptr) const;
    bool exportPng(const QString &fileName, QString *error = nullptr);
    // The line above an exported plot: the drive and the time span shown.
    QString exportTitle() const;
    void ExportCsvBtnClick();
    void ExportPngBtnClick();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Asks for a file name and saves through save(); a failure is shown in a box.
    void askAndSave(const QString &title, const QString &suffix,
                    const std::function<bool(const QString &, QString *)> &save);
    void takeAddress();
    void sampleAdded(int slot);
    void closeWindow();

    QPointer<TrendStore> m_store;
    int m_address = -1;
    bool m_paused = false;
    int m_redraws = 0;
    QTimer m_redrawTimer;
    QComboBox *m_spanBox = nullptr;
    QPushButton *m_pauseBtn = nullptr;
    QLabel *m_cursorLabel = nullptr;
    QChart *m_chart = nullptr;
    QChartView *m_view = nullptr;
    QDateTimeAxis *m_timeAxis = nullptr;
    std::array<QLineSeries *, 3> m_series{};
    std::array<QValueAxis *, 3> m_valueAxes{};
    QGraphicsLineItem *m_cursorLine = nullptr;
};
