// The stream report window: opened from a finished job's context menu and from a double-click on
// its verdict in the real window under a window manager, its charts holding the report's points;
// and how quickly it opens on a two-hour stream's report.
#include "gui/job_list_delegate.h"
#include "gui/stream_report_window.h"
#include "jobs/job_store.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "program_folder.h"
#include "pulldown/report_format.h"
#include "pulldown/report_series.h"
#include "pulldown/stream_report_file.h"
#include "store/key_store.h"
#include "support/media.h"
#include "x_session.h"

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QLineSeries>
#include <QListView>
#include <QMenu>
#include <QScatterSeries>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform::main_window;
using gui_testing::ClickIn;
using gui_testing::kLong;
using gui_testing::ProgramFolder;
using gui_testing::Started;
using gui_testing::Widget;

namespace {

QDialog* ReportWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "StreamReportWindow" && w->isVisible()) {
            return qobject_cast<QDialog*>(w);
        }
    }
    return nullptr;
}

QXYSeries* Series(QDialog* window, const char* chart, const char* name) {
    auto* view = window->findChild<QChartView*>(chart);
    if (view == nullptr) {
        return nullptr;
    }
    for (QAbstractSeries* s : view->chart()->series()) {
        if (s->objectName() == name) {
            return qobject_cast<QXYSeries*>(s);
        }
    }
    return nullptr;
}

void ExpectPoints(QXYSeries* series, const std::vector<pulldown::SeriesPoint>& points,
                  const char* what) {
    ASSERT_NE(series, nullptr) << what;
    QList<QPointF> shown = series->points();
    ASSERT_EQ(static_cast<size_t>(shown.size()), points.size()) << what;
    for (size_t i = 0; i < points.size(); ++i) {
        EXPECT_DOUBLE_EQ(shown[static_cast<qsizetype>(i)].x(), points[i].x) << what << " " << i;
        EXPECT_DOUBLE_EQ(shown[static_cast<qsizetype>(i)].y(), points[i].y) << what << " " << i;
    }
}

// Everything the window draws comes from the report file, unchanged but for the thinning.
void ExpectWindowShows(QDialog* window, const std::string& reportPath) {
    pulldown::StreamReport report;
    std::string error;
    ASSERT_TRUE(pulldown::LoadStreamReport(reportPath, report, error)) << error;
    pulldown::ReportSeries s = pulldown::MakeReportSeries(report);
    ASSERT_FALSE(s.perSecond.empty());
    ExpectPoints(Series(window, "rateChart", "perSecond"), s.perSecond, "per second");
    ExpectPoints(Series(window, "rateChart", "perGop"), s.perGop, "per GOP");
    ExpectPoints(Series(window, "rateChart", "mean"), {{0, s.meanRate}, {s.duration, s.meanRate}},
                 "mean");
    ExpectPoints(Series(window, "rateChart", "declared"),
                 {{0, s.declaredRate}, {s.duration, s.declaredRate}}, "declared");
    ExpectPoints(Series(window, "bufferChart", "bufferFill"), s.bufferFill, "buffer");
    ExpectPoints(Series(window, "bufferChart", "underflows"), s.underflows, "underflows");
    auto* verdict = window->findChild<QLabel*>("verdict");
    ASSERT_NE(verdict, nullptr);
    EXPECT_TRUE(
        verdict->text().contains(report.dvd.compliant ? "DVD-Video: yes" : "DVD-Video: no"));
    for (const std::string& reason : report.dvd.reasons) {
        EXPECT_TRUE(verdict->text().contains(QString::fromStdString(reason).toHtmlEscaped()))
            << reason;
    }
}

} // namespace

TEST(DesktopStreamReport, FromTheContextMenuAndTheVerdict) {
    ProgramFolder folder;
    folder.WriteJobs(2);
    std::filesystem::create_directories(folder.Dir().File("media"));
    {
        store::KeyStore s;
        ASSERT_TRUE(s.Open(folder.StorePath()));
        ASSERT_TRUE(jobs::SetJobString(s, 0, jobs::kInput, folder.Dir().File("media/clip.avi")));
        ASSERT_TRUE(jobs::SetJobString(s, 0, jobs::kStatus, jobs::kStatusComplete));
    }
    // The job's stream (352-wide 16:9, so the verdict has a reason) and its report, as the run
    // leaves them.
    std::string stream = folder.Dir().File("media/clip.mpv");
    ASSERT_TRUE(media::Run("ffmpeg -v error -nostdin -y -f lavfi -i "
                           "testsrc2=size=352x240:rate=30000/1001 -t 3 -c:v mpeg2video -b:v 2M "
                           "-maxrate 9.8M -bufsize 1835008 -g 15 -aspect 16:9 -f mpeg2video '" +
                           stream + "'"));
    testing_support::LogLines lines;
    logging::Log log(lines, "");
    ASSERT_TRUE(pulldown::WriteStreamReport(stream, log));
    std::string reportPath = folder.Dir().File("media/clip.report.json");

    auto program = Started(folder);
    auto* list = Widget<QListView>(*program, kJobList);
    QString details = list->model()->index(0, 0).data(gui::kJobDetailsRole).toString();
    EXPECT_TRUE(details.endsWith("  |  DVD-Video: no")) << details.toStdString();

    QPoint at = list->viewport()->mapTo(&program->Window(),
                                        list->visualRect(list->model()->index(0, 0)).center());
    ClickIn(program->Window().winId(), at, 3); // a real right click
    ASSERT_TRUE(
        QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, kLong));
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction* open = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->text() == QString::fromUtf8("&Stream Report\u2026")) {
            open = action;
        }
    }
    ASSERT_NE(open, nullptr);
    EXPECT_TRUE(open->isEnabled());
    QTest::keyClick(menu, Qt::Key_S);
    ASSERT_TRUE(QTest::qWaitFor([] { return ReportWindow() != nullptr; }, kLong));
    ExpectWindowShows(ReportWindow(), reportPath);
    EXPECT_TRUE(ReportWindow()->findChild<QLabel*>("verdict")->text().contains("352 wide"));
    ReportWindow()->close();
    ASSERT_TRUE(QTest::qWaitFor([] { return ReportWindow() == nullptr; }, kLong));

    // A pending job has no report to offer. The click goes to the window once the window
    // manager has given it back the focus (the report window may still be on screen).
    program->Window().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&program->Window(), kLong));
    QPoint second = list->viewport()->mapTo(&program->Window(),
                                            list->visualRect(list->model()->index(1, 0)).center());
    ClickIn(program->Window().winId(), second, 3);
    ASSERT_TRUE(
        QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, kLong));
    menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith("Stream")) {
            EXPECT_FALSE(action->isEnabled());
        }
    }
    QTest::keyClick(menu, Qt::Key_Escape);
    ASSERT_TRUE(
        QTest::qWaitFor([] { return QApplication::activePopupWidget() == nullptr; }, kLong));

    // A real double-click on the verdict opens the report, not the job editor.
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.rect = list->visualRect(list->model()->index(0, 0));
    option.font = list->font();
    option.decorationSize = list->iconSize();
    QRect verdict = gui::JobListDelegate::VerdictRect(option, details);
    ASSERT_FALSE(verdict.isEmpty());
    ClickIn(program->Window().winId(),
            list->viewport()->mapTo(&program->Window(), verdict.center()), 1, 2);
    ASSERT_TRUE(QTest::qWaitFor([] { return ReportWindow() != nullptr; }, kLong));
    ExpectWindowShows(ReportWindow(), reportPath);
    ReportWindow()->close();
}

namespace {

// A report of `pictures` NTSC pictures in GOPs of 15 at `bitRate`, written as the run keeps it;
// its path.
std::string WriteNtscReport(const testing_support::TempDir& dir, size_t pictures, uint32_t bitRate,
                            uint16_t width) {
    pulldown::StreamReport r;
    r.readable = true;
    r.endCode = true;
    r.sequence.mpeg2 = true;
    r.sequence.width = width;
    r.sequence.height = 480;
    r.sequence.aspectCode = 2;
    r.sequence.frameRateCode = 4;
    r.sequence.frameRate = 30000.0 / 1001;
    r.sequence.bitRate = bitRate;
    r.sequence.vbvBufferBits = 112 * 16384;
    for (size_t i = 0; i < pictures; ++i) {
        pulldown::ReportPicture p;
        p.type = i % 15 == 0 ? 1 : (i % 3 == 0 ? 2 : 3);
        p.bytes = p.type == 1 ? 60000 : (p.type == 2 ? 25000 : 12000 + (i % 7) * 1000);
        p.flags = pulldown::kPictureTopFieldFirst;
        p.temporalReference = static_cast<uint16_t>(i % 15);
        if (i % 15 == 0) {
            pulldown::ReportGop g;
            g.firstPicture = i;
            g.closed = true;
            r.gops.push_back(g);
        }
        r.pictures.push_back(p);
    }
    pulldown::CompleteReport(r);
    std::string path = dir.File("stream.report.json");
    EXPECT_TRUE(testing_support::WriteFile(path, pulldown::ReportToJson(r)));
    return path;
}

} // namespace

// A two-hour NTSC stream's report (216,000 pictures) opens well within a second.
TEST(StreamReportWindow, OpensQuicklyOnALongStream) {
    testing_support::TempDir dir;
    std::string path = WriteNtscReport(dir, 216000, 9800000, 720);

    QElapsedTimer timer;
    timer.start();
    QDialog* window = gui::OpenStreamReportWindow(path, nullptr);
    ASSERT_NE(window, nullptr);
    QApplication::processEvents();
    qint64 ms = timer.elapsed();
    EXPECT_LT(ms, 1000) << "opened in " << ms << " ms";
    std::cout << "[ report window on a 2-hour report: " << ms << " ms ]\n";
    ExpectWindowShows(window, path);
    EXPECT_LE(Series(window, "rateChart", "perSecond")->count(), 2000);
    window->close();
}

// At the size it opens with, every text of both charts (titles, axis labels and titles, legend)
// is drawn whole inside its chart, never cut to "..." for want of room: on a long stream's
// report that breaks a rule, so the verdict takes several lines. A screenshot is kept
// beside the tests.
TEST(StreamReportWindow, EveryLabelIsWholeAtTheSizeItOpensWith) {
    testing_support::TempDir dir;
    // Too narrow for DVD-Video and above its peak rate.
    std::string path = WriteNtscReport(dir, 2 * 3600 * 30, 15000000, 544);
    QDialog* window = gui::OpenStreamReportWindow(path, nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const QSize opened = window->size();
    QImage shot = window->grab().toImage();
    ASSERT_EQ(shot.size() / shot.devicePixelRatio(), opened);
    shot.save(QString::fromStdString(std::string(VANTAQ_TEST_BIN_DIR) + "/stream-report.png"));
    auto* verdict = window->findChild<QLabel*>("verdict");
    ASSERT_NE(verdict, nullptr);
    EXPECT_GE(verdict->text().count("<li>"), 1) << verdict->text().toStdString();

    for (const char* name : {"rateChart", "bufferChart"}) {
        SCOPED_TRACE(name);
        auto* view = window->findChild<QChartView*>(name);
        ASSERT_NE(view, nullptr);
        const QRectF chart = view->chart()->geometry();
        int texts = 0;
        for (QGraphicsItem* item : view->scene()->items()) {
            auto* text = dynamic_cast<QGraphicsTextItem*>(item);
            if (text == nullptr || !text->isVisible() || text->toPlainText().isEmpty()) {
                continue;
            }
            ++texts;
            const QString shown = text->toPlainText();
            EXPECT_FALSE(shown.contains(QChar(0x2026)) || shown.contains("..."))
                << "cut: " << shown.toStdString();
            const QRectF at = text->sceneBoundingRect();
            EXPECT_TRUE(chart.contains(at)) << shown.toStdString() << " at " << at.x() << ","
                                            << at.y() << " " << at.width() << "x" << at.height();
        }
        // The title, two axis titles, at least three labels on each axis and the legend.
        EXPECT_GE(texts, 10);
    }
    window->close();
}
