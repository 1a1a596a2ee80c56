// The stream report window: two Qt charts on one time axis and the verdict.
#include "gui/stream_report_window.h"

#include "pulldown/report_format.h"
#include "pulldown/report_series.h"
#include "pulldown/stream_report_file.h"

#include <QChart>
#include <QChartView>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QScatterSeries>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace gui {

namespace {

QLineSeries* Line(const std::vector<pulldown::SeriesPoint>& points, const QString& name) {
    auto* series = new QLineSeries;
    series->setName(name);
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(points.size()));
    for (const pulldown::SeriesPoint& p : points) {
        list.append(QPointF(p.x, p.y));
    }
    series->replace(list);
    return series;
}

QLineSeries* Level(double y, double duration, const QString& name) {
    return Line({{0, y}, {duration, y}}, name);
}

// A round step (1, 2 or 5 times a power of ten) that cuts `span` into at most `parts` pieces.
double RoundStepForReport(double span, int parts) {
    const double rough = span / parts;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough) {
            return factor * power;
        }
    }
    return 10.0 * power;
}

// Lines of text a chart needs besides its plot: title, legend, the time axis's labels and
// title, and the margins between them.
constexpr int kReportChartTextLines = 9;
// The plot itself: room for each of the value axis's five labels with its padding, which Qt
// Charts otherwise cuts to "...".
constexpr int kReportPlotLines = 8;

QChartView* MakeView(QChart* chart, double duration, double top, const QString& unit,
                     const QString& objectName) {
    auto* x = new QValueAxis;
    const double end = std::max(duration, 1.0);
    x->setRange(0, end);
    x->setTitleText("seconds");
    // Whole, round seconds on the time axis, however long the stream.
    x->setTickType(QValueAxis::TicksDynamic);
    x->setTickAnchor(0);
    x->setTickInterval(std::max(1.0, RoundStepForReport(end, 5)));
    x->setLabelFormat("%.0f");
    auto* y = new QValueAxis;
    y->setRange(0, top > 0 ? top * 1.1 : 1);
    y->applyNiceNumbers();
    y->setTitleText(unit);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(x);
        s->attachAxis(y);
    }
    auto* view = new QChartView(chart);
    view->setObjectName(objectName);
    view->setRenderHint(QPainter::Antialiasing, false);
    // Never so low that the axis labels are cut: the window's size follows from this.
    const int line = QFontMetrics(x->labelsFont()).height();
    view->setMinimumHeight(line * (kReportChartTextLines + kReportPlotLines));
    return view;
}

QString VerdictText(const pulldown::StreamReport& r) {
    QString text =
        "<b>DVD-Video: " + QString(r.dvd.compliant ? "yes" : "no") +
        (r.dvd.system.empty() ? QString() : " (" + QString::fromStdString(r.dvd.system) + ")") +
        "</b>";
    if (!r.dvd.reasons.empty()) {
        text += "<ul>";
        for (const std::string& reason : r.dvd.reasons) {
            text += "<li>" + QString::fromStdString(reason).toHtmlEscaped() + "</li>";
        }
        text += "</ul>";
    }
    return text;
}

} // namespace

QDialog* OpenStreamReportWindow(const std::string& reportPath, QWidget* parent) {
    pulldown::StreamReport report;
    std::string error;
    // The per-picture list is not drawn: leaving it out keeps a long stream's report quick.
    if (!pulldown::LoadStreamReport(reportPath, report, error, false)) {
        QMessageBox::warning(parent, "Stream Report",
                             QString::fromLocal8Bit((reportPath + ": " + error).c_str()));
        return nullptr;
    }
    pulldown::ReportSeries s = pulldown::MakeReportSeries(report);

    auto* dialog = new QDialog(parent);
    dialog->setObjectName("StreamReportWindow");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle("Stream Report - " + QString::fromLocal8Bit(reportPath.c_str()));
    auto* layout = new QVBoxLayout(dialog);
    auto* summary = new QLabel(QString::fromStdString(pulldown::ReportSummaryLine(report)));
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(summary);

    auto* rates = new QChart;
    rates->setTitle("Bit rate");
    QLineSeries* perSecond = Line(s.perSecond, "per second");
    perSecond->setObjectName("perSecond");
    QLineSeries* perGop = Line(s.perGop, "per GOP");
    perGop->setObjectName("perGop");
    QLineSeries* mean = Level(s.meanRate, s.duration, "mean");
    mean->setObjectName("mean");
    QLineSeries* declared = Level(s.declaredRate, s.duration, "declared maximum");
    declared->setObjectName("declared");
    for (QLineSeries* series : {perGop, perSecond, mean, declared}) {
        rates->addSeries(series);
    }
    double top = s.declaredRate;
    for (const auto& list : {s.perSecond, s.perGop}) {
        for (const pulldown::SeriesPoint& p : list) {
            top = std::max(top, p.y);
        }
    }
    layout->addWidget(MakeView(rates, s.duration, top, "Mbit/s", "rateChart"), 3);

    auto* buffer = new QChart;
    buffer->setTitle("Buffer fill (lowest in each step)");
    QLineSeries* fill = Line(s.bufferFill, "buffer fill");
    fill->setObjectName("bufferFill");
    buffer->addSeries(fill);
    auto* underflows = new QScatterSeries;
    underflows->setObjectName("underflows");
    underflows->setName("underflows");
    underflows->setColor(Qt::red);
    underflows->setMarkerSize(8);
    for (const pulldown::SeriesPoint& p : s.underflows) {
        underflows->append(p.x, p.y);
    }
    buffer->addSeries(underflows);
    layout->addWidget(MakeView(buffer, s.duration, s.bufferSize, "KiB", "bufferChart"), 2);

    auto* verdict = new QLabel(VerdictText(report));
    verdict->setObjectName("verdict");
    verdict->setTextInteractionFlags(Qt::TextSelectableByMouse);
    verdict->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A stream that breaks many rules scrolls its reasons rather than squeezing the charts.
    auto* reasons = new QScrollArea;
    reasons->setWidget(verdict);
    reasons->setWidgetResizable(true);
    reasons->setFrameShape(QFrame::NoFrame);
    const int line = verdict->fontMetrics().height();
    reasons->setMinimumHeight(std::min(verdict->sizeHint().height(), line * 3));
    reasons->setMaximumHeight(std::min(verdict->sizeHint().height(), line * 8) + 2);
    layout->addWidget(reasons);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    layout->addWidget(buttons);
    // Wide enough for the time axis, high enough for both charts whole; never beyond the screen.
    QSize size = QSize(900, 640).expandedTo(dialog->minimumSizeHint());
    if (QScreen* screen = dialog->screen()) {
        size = size.boundedTo(screen->availableGeometry().size());
    }
    dialog->resize(size);
    dialog->show();
    return dialog;
}

} // namespace gui
