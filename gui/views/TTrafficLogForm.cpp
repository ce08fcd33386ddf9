#include "views/TTrafficLogForm.h"

#include "app/OperatorDialogs.h"
#include "bus/ListeningMode.h"
#include "bus/TDM.h"
#include "bus/TrafficExport.h"
#include "bus/TrafficLine.h"
#include "bus/TrafficLogFilter.h"
#include "bus/TrafficRecorder.h"
#include "views/TrafficStatisticsColours.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QTableView *makeTable(QWidget *parent)
{
    auto *view = new QTableView(parent);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->verticalHeader()->hide();
    // Fixed row heights: the view never measures rows, whatever their number.
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->horizontalHeader()->setStretchLastSection(true);
    view->horizontalHeader()->setHighlightSections(false);
    return view;
}

} // namespace

TTrafficLogForm::TTrafficLogForm(TrafficRecorder *recorder, QWidget *parent)
    : QWidget(parent), m_recorder(recorder), m_filter(new TrafficLogFilter(this)),
      m_colours(new TrafficStatisticsColours(this)), m_pages(new QTabWidget(this)),
      m_logView(makeTable(this)), m_statisticsView(makeTable(this)),
      m_addressBox(new QComboBox(this)), m_resultBox(new QComboBox(this)),
      m_pauseButton(new QPushButton(QStringLiteral("Пауза"), this)),
      m_countsLabel(new QLabel(this)),
      m_listenButton(new QPushButton(QStringLiteral("Прослушивание"), this))
{
    setObjectName(QStringLiteral("TrafficLogForm"));
    setWindowTitle(QStringLiteral("Журнал обмена"));
    m_filter->setSourceModel(&m_recorder->log());
    m_colours->setSourceModel(&m_recorder->statistics());

    // The log page: filters and commands above the table, the counts below it.
    auto *logPage = new QWidget(m_pages);
    m_addressBox->setObjectName(QStringLiteral("AddressBox"));
    m_addressBox->addItem(QStringLiteral("Все адреса"), -1);
    for (int address = 0; address < TDM::SlotCount; ++address)
        m_addressBox->addItem(QStringLiteral("ПЧ #%1").arg(address), address);
    m_resultBox->setObjectName(QStringLiteral("ResultBox"));
    m_resultBox->addItems({QStringLiteral("Все обмены"), QStringLiteral("Только ошибки")});
    m_pauseButton->setObjectName(QStringLiteral("PauseBtn"));
    m_pauseButton->setCheckable(true);
    auto *clearButton = new QPushButton(QStringLiteral("Очистить"), logPage);
    clearButton->setObjectName(QStringLiteral("ClearBtn"));
    auto *copyButton = new QPushButton(QStringLiteral("Копировать"), logPage);
    copyButton->setObjectName(QStringLiteral("CopyBtn"));
    auto *saveButton = new QPushButton(QStringLiteral("Сохранить..."), logPage);
    saveButton->setObjectName(QStringLiteral("SaveBtn"));
    auto *tools = new QHBoxLayout;
    tools->addWidget(new QLabel(QStringLiteral("Адрес:"), logPage));
    tools->addWidget(m_addressBox);
    tools->addWidget(new QLabel(QStringLiteral("Результат:"), logPage));
    tools->addWidget(m_resultBox);
    tools->addStretch(1);
    m_listenButton->setObjectName(QStringLiteral("ListenBtn"));
    m_listenButton->setCheckable(true);
    m_listenButton->setEnabled(false);
    m_listenButton->setToolTip(
        QStringLiteral("Слушать обмен другого ведущего на линии, ничего не передавая"));
    for (QPushButton *button : {m_listenButton, m_pauseButton, clearButton, copyButton, saveButton})
        tools->addWidget(button);

    m_logView->setObjectName(QStringLiteral("LogView"));
    m_logView->setModel(m_filter);
    const QList<int> widths = {90, 50, 55, 200, 170, 260, 70};
    for (int column = 0; column < int(widths.size()); ++column)
        m_logView->setColumnWidth(column, widths[column]);
    m_countsLabel->setObjectName(QStringLiteral("CountsLabel"));
    auto *logLayout = new QVBoxLayout(logPage);
    logLayout->addLayout(tools);
    logLayout->addWidget(m_logView, 1);
    logLayout->addWidget(m_countsLabel);

    // The statistics page.
    auto *statsPage = new QWidget(m_pages);
    m_statisticsView->setObjectName(QStringLiteral("StatisticsView"));
    m_statisticsView->setModel(m_colours);
    auto *resetButton = new QPushButton(QStringLiteral("Сбросить"), statsPage);
    resetButton->setObjectName(QStringLiteral("ResetStatsBtn"));
    auto *statsTools = new QHBoxLayout;
    statsTools->addWidget(new QLabel(
        QStringLiteral("Жёлтым выделены ПЧ без ответа, красным - с искажёнными ответами"),
        statsPage));
    statsTools->addStretch(1);
    statsTools->addWidget(resetButton);
    auto *statsLayout = new QVBoxLayout(statsPage);
    statsLayout->addLayout(statsTools);
    statsLayout->addWidget(m_statisticsView, 1);

    m_pages->addTab(logPage, QStringLiteral("Обмен"));
    m_pages->addTab(statsPage, QStringLiteral("Статистика"));
    // Sized to the counts when the page is opened, not on every count that changes.
    connect(m_pages, &QTabWidget::currentChanged, this, [this](int page) {
        if (page == 1)
            m_statisticsView->resizeColumnsToContents();
    });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(m_pages);

    connect(m_addressBox, &QComboBox::currentIndexChanged, this, &TTrafficLogForm::applyFilter);
    connect(m_resultBox, &QComboBox::currentIndexChanged, this, &TTrafficLogForm::applyFilter);
    connect(m_pauseButton, &QPushButton::toggled, this, &TTrafficLogForm::PauseBtnClick);
    connect(m_listenButton, &QPushButton::clicked, this, &TTrafficLogForm::ListenBtnClick);
    connect(clearButton, &QPushButton::clicked, this, &TTrafficLogForm::ClearBtnClick);
    connect(copyButton, &QPushButton::clicked, this, &TTrafficLogForm::CopyBtnClick);
    connect(saveButton, &QPushButton::clicked, this, &TTrafficLogForm::SaveBtnClick);
    connect(resetButton, &QPushButton::clicked, this, &TTrafficLogForm::ResetStatsBtnClick);
    auto *copyShortcut = new QShortcut(QKeySequence::Copy, m_logView);
    copyShortcut->setContext(Qt::WidgetShortcut);
    connect(copyShortcut, &QShortcut::activated, this, &TTrafficLogForm::CopyBtnClick);

    // New rows keep the view at the newest one while it is there; scrolled up, it stays put.
    connect(m_filter, &QAbstractItemModel::rowsAboutToBeInserted, this, [this] {
        const QScrollBar *bar = m_logView->verticalScrollBar();
        m_follow = bar->value() >= bar->maximum();
    });
    connect(m_filter, &QAbstractItemModel::rowsInserted, this, [this] {
        if (m_follow)
            m_logView->scrollToBottom();
    });
    connect(&m_recorder->log(), &TrafficLogModel::countsChanged, this,
            &TTrafficLogForm::updateCounts);
    m_pauseButton->setChecked(m_recorder->log().isPaused());
    updateCounts();
}

void TTrafficLogForm::applyFilter()
{
    m_filter->setAddress(m_addressBox->currentData().toInt());
    m_filter->setErrorsOnly(m_resultBox->currentIndex() == 1);
    updateCounts();
}

void TTrafficLogForm::updateCounts()
{
    const TrafficLogModel &log = m_recorder->log();
    QString text =
        QStringLiteral("Показано %1 из %2").arg(m_filter->rowCount()).arg(log.rowCount());
    if (log.isPaused())
        text += QStringLiteral(", пауза: ждут показа %1").arg(log.pendingCount());
    if (log.droppedCount() > 0)
        text += QStringLiteral(". Старые записи отброшены: %1 (в журнале не более %2)")
                    .arg(log.droppedCount())
                    .arg(log.capacity());
    m_countsLabel->setText(text);
}

void TTrafficLogForm::PauseBtnClick(bool paused)
{
    m_recorder->log().setPaused(paused);
    if (m_pauseButton->isChecked() != paused)
        m_pauseButton->setChecked(paused);
    updateCounts();
}

void TTrafficLogForm::setListeningMode(ListeningMode *mode)
{
    if (m_listening)
        disconnect(m_listening, nullptr, this, nullptr);
    m_listening = mode;
    m_listenButton->setEnabled(mode != nullptr);
    m_listenButton->setChecked(mode && mode->isActive());
    if (mode)
        connect(mode, &ListeningMode::activeChanged, m_listenButton, &QPushButton::setChecked);
}

void TTrafficLogForm::ListenBtnClick(bool on)
{
    if (m_listening)
        m_listening->setActive(on);
    m_listenButton->setChecked(m_listening && m_listening->isActive());
}

void TTrafficLogForm::ClearBtnClick()
{
    m_recorder->log().clear();
}

void TTrafficLogForm::ResetStatsBtnClick()
{
    m_recorder->statistics().reset();
}

QString TTrafficLogForm::selectedText() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_logView->selectionModel()->selectedRows())
        rows << m_filter->mapToSource(index).row();
    std::sort(rows.begin(), rows.end());
    QString text;
    for (int row : rows)
        text += TrafficLine::text(m_recorder->log().entry(row)) + QLatin1Char('\n');
    return text;
}

void TTrafficLogForm::CopyBtnClick()
{
    const QString text = selectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void TTrafficLogForm::SaveBtnClick()
{
    OperatorDialogs::FileRequest request;
    request.title = QStringLiteral("Сохранить журнал обмена");
    request.fileName = QStringLiteral("journal.csv");
    request.filter = QStringLiteral("CSV (*.csv);;Текст (*.txt);;Все файлы (*)");
    request.defaultSuffix = QStringLiteral("csv");
    const QString path = OperatorDialogs::instance().saveFileName(request);
    if (!path.isEmpty())
        saveTo(path);
}

bool TTrafficLogForm::saveTo(const QString &path)
{
    QList<TrafficEntry> entries;
    entries.reserve(m_filter->rowCount());
    for (int row = 0; row < m_filter->rowCount(); ++row)
        entries << m_recorder->log().entry(m_filter->mapToSource(m_filter->index(row, 0)).row());
    QString why;
    if (TrafficExport::save(path, entries, TrafficExport::formatOf(path), &why))
        return true;
    ShowMessage(QStringLiteral("Журнал обмена"),
                QStringLiteral("Не удалось сохранить журнал в файл %1: %2").arg(path, why));
    return false;
}
