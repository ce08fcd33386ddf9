#include "views/TTrendForm.h"

#include "app/OperatorDialogs.h"
#include "setup/SetupFile.h"
#include "monitor/TrendStore.h"

#include <QBuffer>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsLineItem>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

const int SpanMinutes[] = {1, 5, 30};
const QSize FormSize(640, 360);
const char *const QuantityNames[] = {"F, Гц", "U, В", "I, А"};
const char *const Units[] = {"Гц", "В", "А"};
const int Decimals[] = {2, 1, 1};
const QColor Colors[] = {QColor(0, 0, 200), QColor(200, 0, 0), QColor(0, 140, 0)};

bool saveAtomically(const QString &fileName, const std::function<bool(QIODevice &)> &write,
                    QString *error)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || !write(file) || !file.commit()) {
        if (error)
            *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

// The smallest of 1, 2, 5 times a power of ten that is at least the value (1 for 0).
double niceTop(double value)
{
    if (!(value > 0))
        return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double step : {1.0, 2.0, 5.0, 10.0}) {
        if (step * power >= value)
            return step * power;
    }
    return 10.0 * power;
}

// Grid lines at a step of 1, 2 or 5 times a power of ten, four to six of them over the span,
// so that every label names its line exactly.
double tickStep(double span)
{
    return niceTop(span / 5.0);
}

// Digits after the point that a label at the step needs.
int stepDecimals(double step)
{
    return step >= 1.0 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
}

} // namespace

QString TTrendForm::captionPrefix()
{
    return QStringLiteral("Тренд:  ПЧ     #");
}

QString TTrendForm::captionFor(int slot)
{
    return captionPrefix() + QString::number(slot);
}

TTrendForm::TTrendForm(QWidget *parent) : QWidget(parent), m_store(&TrendStore::instance())
{
    setWindowTitle(QStringLiteral("Untitle"));
    // Below this the axes have no room for their labels.
    setMinimumSize(480, 280);
    resize(FormSize);

    m_spanBox = new QComboBox(this);
    m_spanBox->setObjectName(QStringLiteral("SpanBox"));
    for (int minutes : SpanMinutes)
        m_spanBox->addItem(QStringLiteral("%1 мин").arg(minutes), minutes);
    m_spanBox->setToolTip(QStringLiteral("Интервал времени на графике"));
    m_pauseBtn = new QPushButton(QStringLiteral("Пауза"), this);
    m_pauseBtn->setObjectName(QStringLiteral("PauseBtn"));
    m_pauseBtn->setCheckable(true);
    auto *csvBtn = new QPushButton(QStringLiteral("CSV..."), this);
    csvBtn->setObjectName(QStringLiteral("ExportCsvBtn"));
    csvBtn->setToolTip(QStringLiteral("Сохранить отсчёты в файл CSV"));
    auto *pngBtn = new QPushButton(QStringLiteral("PNG..."), this);
    pngBtn->setObjectName(QStringLiteral("ExportPngBtn"));
    pngBtn->setToolTip(QStringLiteral("Сохранить график в файл PNG"));
    auto *closeBtn = new QPushButton(QStringLiteral("Выход"), this);
    m_cursorLabel = new QLabel(this);
    m_cursorLabel->setObjectName(QStringLiteral("CursorLabel"));
    m_cursorLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    m_chart = new QChart;
    m_chart->legend()->setAlignment(Qt::AlignBottom);
    m_chart->setMargins(QMargins(4, 4, 4, 4));
    m_timeAxis = new QDateTimeAxis;
    m_timeAxis->setFormat(QStringLiteral("HH:mm:ss"));
    m_timeAxis->setTickCount(7);
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    const Qt::Alignment sides[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignRight};
    for (int q = 0; q < 3; ++q) {
        auto *series = new QLineSeries;
        series->setName(QString::fromUtf8(QuantityNames[q]));
        series->setPen(QPen(Colors[q], 1.5));
        m_chart->addSeries(series);
        auto *axis = new QValueAxis;
        axis->setTitleText(QString::fromUtf8(QuantityNames[q]));
        axis->setLinePenColor(Colors[q]);
        axis->setLabelsColor(Colors[q]);
        axis->setLabelFormat(q == 0 ? QStringLiteral("%.1f") : QStringLiteral("%.0f"));
        axis->setTickType(QValueAxis::TicksDynamic);
        axis->setTickAnchor(0.0);
        axis->setTickInterval(0.2);
        axis->setRange(0, 1);
        m_chart->addAxis(axis, sides[q]);
        series->attachAxis(m_timeAxis);
        series->attachAxis(axis);
        m_series[q] = series;
        m_valueAxes[q] = axis;
    }
    m_view = new QChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("ChartView"));
    m_view->setRenderHint(QPainter::Antialiasing, false);
    m_view->setCacheMode(QGraphicsView::CacheBackground);
    m_view->setMouseTracking(true);
    m_view->viewport()->setMouseTracking(true);
    m_view->viewport()->installEventFilter(this);
    m_cursorLine = new QGraphicsLineItem(m_chart);
    m_cursorLine->setPen(QPen(Qt::gray, 1, Qt::DashLine));
    m_cursorLine->hide();

    auto *bar = new QHBoxLayout;
    bar->addWidget(m_spanBox);
    bar->addWidget(m_pauseBtn);
    bar->addWidget(csvBtn);
    bar->addWidget(pngBtn);
    bar->addStretch(1);
    bar->addWidget(closeBtn);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(bar);
    layout->addWidget(m_view, 1);
    // The readout has a line of its own under the plot: the buttons leave it no room.
    layout->addWidget(m_cursorLabel);

    m_redrawTimer.setSingleShot(true);
    m_redrawTimer.setInterval(RedrawIntervalMs);
    connect(&m_redrawTimer, &QTimer::timeout, this, &TTrendForm::redraw);
    connect(m_spanBox, &QComboBox::currentIndexChanged, this, &TTrendForm::redraw);
    connect(m_pauseBtn, &QPushButton::toggled, this, &TTrendForm::setPaused);
    connect(csvBtn, &QPushButton::clicked, this, &TTrendForm::ExportCsvBtnClick);
    connect(pngBtn, &QPushButton::clicked, this, &TTrendForm::ExportPngBtnClick);
    connect(closeBtn, &QPushButton::clicked, this, &TTrendForm::closeWindow);
    setStore(m_store);
}

void TTrendForm::setStore(TrendStore *store)
{
    if (m_store)
        disconnect(m_store, nullptr, this, nullptr);
    m_store = store;
    if (m_store)
        connect(m_store, &TrendStore::sampleAdded, this, &TTrendForm::sampleAdded);
}

void TTrendForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_address >= 0)
        return;
    // The first show: the frame of an MDI child is made to hold the window's own size.
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
        frame->resize(frame->size() - size() + FormSize);
    takeAddress();
}

void TTrendForm::takeAddress()
{
    const int slot = SetupFile::CaptionSlot(windowTitle());
    m_address = windowTitle().startsWith(captionPrefix()) && slot >= 0 ? slot : -1;
    if (m_address < 0)
        m_cursorLabel->setText(QStringLiteral("В заголовке нет адреса"));
    redraw();
}

void TTrendForm::closeWindow()
{
    if (auto *frame = qobject_cast<QMdiSubWindow *>(parentWidget()))
        frame->close();
    else
        close();
}

void TTrendForm::sampleAdded(int slot)
{
    if (m_address < 0 && isVisible())
        takeAddress();
    // Samples arrive one per poll reply; the plot follows at most every RedrawIntervalMs.
    if (slot == m_address && !m_paused && !m_redrawTimer.isActive())
        m_redrawTimer.start();
}

void TTrendForm::setPaused(bool paused)
{
    if (m_paused == paused)
        return;
    m_paused = paused;
    {
        const QSignalBlocker blocker(m_pauseBtn);
        m_pauseBtn->setChecked(paused);
    }
    m_pauseBtn->setText(paused ? QStringLiteral("Продолжить") : QStringLiteral("Пауза"));
    if (paused)
        m_redrawTimer.stop();
    else
        redraw();
}

int TTrendForm::spanMinutes() const
{
    return m_spanBox->currentData().toInt();
}

void TTrendForm::setSpanMinutes(int minutes)
{
    const int index = m_spanBox->findData(minutes);
    if (index >= 0)
        m_spanBox->setCurrentIndex(index);
}

void TTrendForm::redraw()
{
    const TrendBuffer *buffer = m_store ? m_store->buffer(m_address) : nullptr;
    const qint64 spanMs = qint64(spanMinutes()) * 60 * 1000;
    const qint64 end = buffer && !buffer->isEmpty()
                           ? std::max(buffer->last().msecs, QDateTime::currentMSecsSinceEpoch())
                           : QDateTime::currentMSecsSinceEpoch();
    const qint64 start = end - spanMs;
    ++m_redraws;
    std::array<QList<QPointF>, 3> points;
    double low[3] = {0, 0, 0};
    double high[3] = {1, 1, 1};
    if (buffer) {
        for (int i = buffer->lowerBound(start); i < buffer->size(); ++i) {
            const TrendSample &s = buffer->at(i);
            for (int q = 0; q < 3; ++q) {
                if (!(s.fresh & (1u << q)) || std::isnan(s.values[q]))
                    continue;
                points[q].append(QPointF(double(s.msecs), double(s.values[q])));
                low[q] = std::min(low[q], double(s.values[q]));
                high[q] = std::max(high[q], double(s.values[q]));
            }
        }
    }
    m_timeAxis->setRange(QDateTime::fromMSecsSinceEpoch(start),
                         QDateTime::fromMSecsSinceEpoch(end));
    for (int q = 0; q < 3; ++q) {
        // One replace per series: the plot is rebuilt once, not once per point.
        m_series[q]->replace(points[q]);
        // A scale changes only when the values cross a step of 1, 2 or 5, so most redraws
        // leave the scales (and the layout of their labels) alone.
        const double top = niceTop(high[q] * 1.05); // a little room above the line
        const double bottom = low[q] < 0 ? -niceTop(-low[q] * 1.05) : 0.0;
        if (m_valueAxes[q]->max() != top || m_valueAxes[q]->min() != bottom) {
            const double step = tickStep(top - bottom);
            m_valueAxes[q]->setTickInterval(step);
            m_valueAxes[q]->setLabelFormat(
                QStringLiteral("%.%1f").arg(std::max(stepDecimals(step), q == 0 ? 1 : 0)));
            m_valueAxes[q]->setRange(bottom, top);
        }
    }
}

QString TTrendForm::cursorText() const
{
    return m_cursorLabel->text();
}

void TTrendForm::showCursorAt(qint64 msecs)
{
    const TrendBuffer *buffer = m_store ? m_store->buffer(m_address) : nullptr;
    const int i = buffer ? buffer->nearest(msecs) : -1;
    if (i < 0) {
        m_cursorLabel->clear();
        return;
    }
    const TrendSample &s = buffer->at(i);
    QString text = QDateTime::fromMSecsSinceEpoch(s.msecs).toString(QStringLiteral("HH:mm:ss"));
    for (int q = 0; q < 3; ++q) {
        text += QStringLiteral("   ") + QString::fromUtf8(QuantityNames[q]).left(1) +
                QStringLiteral(" ") +
                (std::isnan(s.values[q]) ? QStringLiteral("-")
                                         : QString::number(double(s.values[q]), 'f', Decimals[q])) +
                QStringLiteral(" ") + QString::fromUtf8(Units[q]);
    }
    m_cursorLabel->setText(text);
}

bool TTrendForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view->viewport() && event->type() == QEvent::MouseMove) {
        const QPointF scenePos = m_view->mapToScene(static_cast<QMouseEvent *>(event)->pos());
        const QPointF chartPos = m_chart->mapFromScene(scenePos);
        const QRectF area = m_chart->plotArea();
        if (area.contains(chartPos)) {
            const QPointF value = m_chart->mapToValue(chartPos, m_series[0]);
            showCursorAt(qint64(value.x()));
            m_cursorLine->setLine(chartPos.x(), area.top(), chartPos.x(), area.bottom());
            m_cursorLine->show();
        } else {
            m_cursorLine->hide();
        }
    } else if (watched == m_view->viewport() && event->type() == QEvent::Leave) {
        m_cursorLine->hide();
    }
    return QWidget::eventFilter(watched, event);
}

bool TTrendForm::exportCsv(const QString &fileName, QString *error) const
{
    const TrendBuffer *buffer = m_store ? m_store->buffer(m_address) : nullptr;
    const TrendBuffer empty(1);
    return saveAtomically(
        fileName, [&](QIODevice &device) { return (buffer ? *buffer : empty).writeCsv(device); },
        error);
}

QString TTrendForm::exportTitle() const
{
    const QString format = QStringLiteral("dd.MM.yyyy HH:mm:ss");
    return QStringLiteral("ПЧ #%1, %2 - %3")
        .arg(m_address < 0 ? QStringLiteral("?") : QString::number(m_address),
             m_timeAxis->min().toString(format), m_timeAxis->max().toString(format));
}

bool TTrendForm::exportPng(const QString &fileName, QString *error)
{
    // The picture names the drive and the time it shows, in a line above the plot.
    const QImage plot = m_view->grab().toImage();
    const int header = fontMetrics().height() + 8;
    QImage image(plot.width(), plot.height() + header, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setFont(font());
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, 0, image.width(), header), Qt::AlignCenter, exportTitle());
        painter.drawImage(0, header, plot);
    }
    return saveAtomically(
        fileName, [&](QIODevice &device) { return image.save(&device, "PNG"); }, error);
}

void TTrendForm::ExportCsvBtnClick()
{
    askAndSave(QStringLiteral("Сохранить отсчёты"), QStringLiteral("csv"),
               [this](const QString &name, QString *why) { return exportCsv(name, why); });
}

void TTrendForm::ExportPngBtnClick()
{
    askAndSave(QStringLiteral("Сохранить график"), QStringLiteral("png"),
               [this](const QString &name, QString *why) { return exportPng(name, why); });
}

void TTrendForm::askAndSave(const QString &title, const QString &suffix,
                            const std::function<bool(const QString &, QString *)> &save)
{
    OperatorDialogs::FileRequest request;
    request.title = title;
    request.filter = QStringLiteral("%1 (*.%2);;All files (*)").arg(suffix.toUpper(), suffix);
    request.defaultSuffix = suffix;
    const QString name = OperatorDialogs::instance().saveFileName(request);
    QString why;
    if (!name.isEmpty() && !save(name, &why))
        ShowMessage(windowTitle(), QStringLiteral("Не удалось сохранить %1: %2").arg(name, why));
}
