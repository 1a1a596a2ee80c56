#include "author/disc_plan.h"

#include "chapters/authoring_chapters.h"
#include "jobs/job_store.h"
#include "platform/files.h"
#include "pulldown/stream_report.h"
#include "run/output_clash.h"
#include "store/key_store.h"
#include "store/paths.h"

#include <cstdlib>
#include <fstream>
#include <set>

namespace author {

namespace {

bool ParsePositionNumber(const std::string& text, int count, int& number) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != text.npos) {
        return false;
    }
    number = std::atoi(text.c_str());
    return number >= 1 && number <= count;
}

// The chapter times of the stream's chapter file, "" without one.
std::string ChapterTimesOf(const std::string& stream) {
    std::ifstream in(chapters::AuthoringChaptersPath(stream));
    std::string line;
    if (!in || !std::getline(in, line)) {
        return "";
    }
    return line.find(',') == std::string::npos ? std::string() : line;
}

bool PlanTitle(store::KeyStore& store, const env::Settings& settings, int position,
               DiscTitle& title, std::string& error) {
    jobs::JobRecord job;
    if (!jobs::ReadJobRecord(store, position, job)) {
        error = "job " + std::to_string(position + 1) + " cannot be read from the store";
        return false;
    }
    const std::string who = "job " + std::to_string(position + 1) + " \"" + job.name + "\"";
    if (job.status != jobs::kStatusComplete) {
        error = who + " is not finished (its status is \"" + job.status + "\")";
        return false;
    }
    const std::string mpv = run::JobStreamPath(store, settings, position);
    if (mpv.empty()) {
        error = who + " has no source with a full path, so no stream of its own";
        return false;
    }
    platform::FileFacts facts;
    std::string stream = mpv;
    if (job.telecide == 1 && platform::RegularFileFacts(mpv + ".m2v", facts)) {
        stream = mpv + ".m2v";
    } else if (!platform::RegularFileFacts(mpv, facts)) {
        error = who + ": its stream " + mpv + " is missing";
        return false;
    }
    pulldown::StreamReport report;
    std::string why;
    if (!pulldown::ReportStreamFile(stream, report, why) || !report.readable) {
        error = who + ": its stream " + stream + " cannot be read" +
                (why.empty() ? std::string() : " (" + why + ")");
        return false;
    }
    if (!report.dvd.compliant) {
        error = who + ": its stream " + stream + " is not DVD-Video legal";
        for (const std::string& reason : report.dvd.reasons) {
            error += "; " + reason;
        }
        return false;
    }
    title.position = position;
    title.name = job.name;
    title.source = job.input;
    title.stream = stream;
    title.chapters = ChapterTimesOf(stream);
    const std::string mpa = mpv.substr(0, mpv.size() - 4) + ".mpa";
    if (platform::RegularFileFacts(mpa, facts) && facts.size > 0) {
        title.ownAudio = mpa;
    }
    title.system = report.dvd.system;
    title.startFrame = job.startFrame;
    title.streamBytes = report.totalBytes;
    title.seconds = report.durationSeconds;
    return true;
}

} // namespace

bool ParseJobList(const std::string& text, int count, std::vector<int>& positions,
                  std::string& error) {
    positions.clear();
    size_t at = 0;
    while (at <= text.size()) {
        size_t comma = text.find(',', at);
        std::string item = text.substr(at, comma == text.npos ? text.npos : comma - at);
        size_t dash = item.find('-');
        int first = 0;
        int last = 0;
        bool ok = dash == item.npos ? ParsePositionNumber(item, count, first) && (last = first)
                                    : ParsePositionNumber(item.substr(0, dash), count, first) &&
                                          ParsePositionNumber(item.substr(dash + 1), count, last) &&
                                          first <= last;
        if (!ok) {
            error = "\"" + item + "\" is no job position or range of 1 to " + std::to_string(count);
            positions.clear();
            return false;
        }
        for (int p = first; p <= last; ++p) {
            positions.push_back(p - 1);
        }
        if (comma == text.npos) {
            break;
        }
        at = comma + 1;
    }
    return true;
}

bool PlanDisc(store::KeyStore& store, const env::Settings& settings,
              const std::vector<int>& positions, std::vector<DiscTitle>& titles,
              std::string& error) {
    titles.clear();
    std::vector<int> chosen = positions;
    if (chosen.empty()) {
        const int count = jobs::JobCount(store);
        for (int p = 0; p < count; ++p) {
            jobs::JobRecord job;
            if (jobs::ReadJobRecord(store, p, job) && job.status == jobs::kStatusComplete) {
                chosen.push_back(p);
            }
        }
        if (chosen.empty()) {
            error = "the queue has no finished (\"Complete\") job";
            return false;
        }
    }
    for (int position : chosen) {
        DiscTitle title;
        if (!PlanTitle(store, settings, position, title, error)) {
            titles.clear();
            return false;
        }
        if (!titles.empty() && title.system != titles.front().system) {
            error = "job " + std::to_string(position + 1) + " \"" + title.name + "\" is " +
                    title.system + " but job " + std::to_string(titles.front().position + 1) +
                    " \"" + titles.front().name + "\" is " + titles.front().system +
                    ": NTSC and PAL cannot be mixed on one disc";
            titles.clear();
            return false;
        }
        titles.push_back(title);
    }
    return true;
}

env::Settings ReadOutputSettings(store::KeyStore& store) {
    env::Settings settings;
    uint32_t sameDir = 1;
    if (store.ReadNumber(store::kHive, store::kRootPath, env::kOutputSameDir, sameDir)) {
        settings.m_OutputSameDir = sameDir == 1;
    }
    std::string folder;
    if (store.ReadString(store::kHive, store::kRootPath, env::kOutputDirectory,
                         env::kOutputDirectoryCapacity, folder)) {
        settings.m_OutputDirectory = folder;
    }
    return settings;
}

} // namespace author
