#pragma once

#include <QWidget>

class ListeningMode;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QTableView;
class TrafficLogFilter;
class TrafficRecorder;
class TrafficStatisticsColours;

// "Журнал обмена": every exchange of the bus, one row each, with its decoded meaning, and a
// second page of line statistics per address. The operator filters by address and by
// result, pauses the view (recording goes on), clears it, copies the selected rows and saves
// the rows shown as CSV or text. The window only shows what the bus host's recorder keeps;
// closing it loses nothing. "Прослушивание" switches the program's listening mode: the rows
// and the statistics are then another master's exchanges.
class TTrafficLogForm : public QWidget
{
    Q_OBJECT

public:
    explicit TTrafficLogForm(TrafficRecorder *recorder, QWidget *parent = nullptr);

    QTableView *logView() const { return m_logView; }
    QTableView *statisticsView() const { return m_statisticsView; }
    TrafficLogFilter *filter() const { return m_filter; }
    QComboBox *addressBox() const { return m_addressBox; }
    QComboBox *resultBox() const { return m_resultBox; }
    QPushButton *pauseButton() const { return m_pauseButton; }
    QLabel *countsLabel() const { return m_countsLabel; }
    QPushButton *listenButton() const { return m_listenButton; }
    // The listening mode the "Прослушивание" command switches; the button is off without one.
    void setListeningMode(ListeningMode *mode);

    // Command handlers.
    void PauseBtnClick(bool paused);
    void ClearBtnClick();
    void CopyBtnClick();
    void SaveBtnClick();
    void ResetStatsBtnClick();
    void ListenBtnClick(bool on);
    // Saves the rows shown; a failure is reported in a box and the rows stay.
    bool saveTo(const QString &path);
    // The text lines of the selected rows, in table order.
    QString selectedText() const;

    QSize sizeHint() const override { return {900, 420}; }

private:
    void updateCounts();
    void applyFilter();

    TrafficRecorder *m_recorder;
    TrafficLogFilter *m_filter;
    TrafficStatisticsColours *m_colours;
    QTabWidget *m_pages;
    QTableView *m_logView;
    QTableView *m_statisticsView;
    QComboBox *m_addressBox;
    QComboBox *m_resultBox;
    QPushButton *m_pauseButton;
    QLabel *m_countsLabel;
    QPushButton *m_listenButton;
    ListeningMode *m_listening = nullptr;
    bool m_follow = true;
};
