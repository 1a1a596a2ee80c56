// The scratch program folder of the window tests.
#include "program_folder.h"

#include "jobs/job_store.h"
#include "platform/control_ids.h"
#include "support/media.h"
#include "support/test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace gui_testing {

namespace fs = std::filesystem;

ProgramFolder::ProgramFolder() {
    fs::path bin(VANTAQ_PROGRAM_DIR);
    fs::path dir(m_Dir.Path());
    for (const char* name : {"vantaq", "EclCCE", "cce", "vantaq.html"}) {
        fs::copy_file(bin / name, dir / name);
    }
    testing_support::WriteFile(m_Dir.File("EclCCE.ini"),
                               "[EclCCE]\r\nCCE=" + m_Dir.File("cce") + "\r\n");
    fs::create_directories(dir / "system");
    // The frame-server module when the build has one; otherwise any file with a version block
    // stands in, since the checks only read its version.
    fs::path module = bin / "system" / "libavisynth.so";
    fs::copy_file(fs::exists(module) ? module : bin / "EclCCE", dir / "system" / "libavisynth.so");
}

void ProgramFolder::WriteJobs(int count) {
    store::KeyStore s;
    ASSERT_TRUE(s.Open(StorePath()));
    store::KeyStore::Transaction unit(s);
    for (int i = 0; i < count; ++i) {
        jobs::JobRecord record;
        record.name = "job " + std::to_string(i);
        record.input = "/media/in/" + record.name + ".avs";
        jobs::WriteJobRecord(s, i, record);
    }
    unit.Commit();
}

void ProgramFolder::WriteJobSources(int count) {
    std::filesystem::create_directories(Dir().File("media"));
    store::KeyStore s;
    ASSERT_TRUE(s.Open(StorePath()));
    for (int i = 0; i < count; ++i) {
        std::string path = Dir().File("media/job " + std::to_string(i) + ".avi");
        ASSERT_TRUE(testing_support::WriteFile(path, media::BuildAvi(media::AviSpec())));
        ASSERT_TRUE(jobs::SetJobString(s, i, jobs::kInput, path));
    }
}

std::unique_ptr<gui::Program>
ProgramFolder::MakeProgram(const std::vector<std::string>& arguments) {
    gui::ProgramOptions options;
    options.programPath = ProgramPath();
    options.arguments = arguments;
    options.storePath = StorePath();
    options.exit = [this](int status) { exits.push_back(status); };
    auto program = std::make_unique<gui::Program>(options);
    std::string error;
    EXPECT_TRUE(program->Open(error)) << error;
    return program;
}

QString HelpText(const std::string& helpPath) {
    QFile file(QString::fromStdString(helpPath));
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    QTextDocument document;
    document.setHtml(QString::fromUtf8(file.readAll()));
    return document.toPlainText().simplified().toLower();
}

bool NamedInHelp(const QString& helpText, QString caption) {
    caption.replace("&&", "\x01").remove('&').replace('\x01', '&');
    caption = caption.simplified().toLower();
    if (caption.endsWith(':')) {
        caption.chop(1);
    }
    return !caption.isEmpty() && helpText.contains(caption);
}

bool SpinUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

std::vector<std::string> LogRows(gui::Program& program) {
    platform::Dialog& d = program.Window().Dialog();
    int list = platform::main_window::kLogList;
    std::vector<std::string> rows;
    for (int i = 0; i < d.GetCount(list); ++i) {
        rows.push_back(std::to_string(d.GetRowImage(list, i)) + " " +
                       d.GetRowText(list, i).substr(10));
    }
    return rows;
}

bool Has(const std::vector<std::string>& rows, const std::string& row) {
    return std::find(rows.begin(), rows.end(), row) != rows.end();
}

void AnswerNextBox(const QString& button, QString* seen) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, button, seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        *seen = box->text();
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == button) {
                poll->stop();
                poll->deleteLater();
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        }
        ADD_FAILURE() << "no button " << button.toStdString() << " in " << seen->toStdString();
        poll->stop();
        poll->deleteLater();
        box->reject();
    });
    poll->start();
}

std::unique_ptr<gui::Program> Started(ProgramFolder& folder, int timeoutMs) {
    auto program = folder.MakeProgram({});
    program->Start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return program->Logic().StartupDone(); }, timeoutMs));
    EXPECT_TRUE(QTest::qWaitForWindowActive(&program->Window(), timeoutMs));
    return program;
}

} // namespace gui_testing
