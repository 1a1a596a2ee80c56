// CCEData job lists: each accepted line of the file becomes a new pending job, built through
// the job editor exactly as a user would build it.
#include "run/cce_data.h"

#include "chapters/chapter_list.h"
#include "chapters/text_fields.h"
#include "jobs/job_builder.h"
#include "log/log.h"
#include "platform/control_ids.h"
#include "platform/dialog.h"

#include <climits>

namespace run {

using chapters::ReadLeadingInt;
using namespace platform::main_window;

namespace {

// Full-format field numbers.
enum FullField : size_t {
    kFieldBias = 7,
    kFieldQuality = 8,
    kFieldFirstFrame = 9,
    kFieldLastFrame = 10,
    kFieldAspect = 11,
    kFieldAlternateScan = 12,
    kFieldProgressive = 13,
    kFieldTopFieldFirst = 14,
    kFieldFirstChapter = 15,
};

class LineFields {
public:
    explicit LineFields(const std::string& line) : m_Fields(CceDataFields(line)) {}
    size_t Count() const { return m_Fields.size(); }
    // A missing field reads as empty text.
    const std::string& Text(size_t i) const { return i < m_Fields.size() ? m_Fields[i] : m_Empty; }
    int Number(size_t i) const { return ReadLeadingInt(Text(i)); }

private:
    std::vector<std::string> m_Fields;
    std::string m_Empty;
};

// The settings only the full format carries, applied over what the template gave.
void ApplyFullFields(const LineFields& f, int position, platform::Dialog& dialog,
                     logging::Log& log) {
    if (f.Number(kFieldBias) != -1) {
        dialog.SetSpinPos(kBiasSpin, f.Number(kFieldBias));
    }
    if (f.Number(kFieldQuality) != -1) {
        dialog.SetSpinPos(kQualitySpin, f.Number(kFieldQuality));
    }
    if (f.Number(kFieldFirstFrame) != -1 && f.Number(kFieldLastFrame) != 0) {
        int frames = ReadLeadingInt(dialog.GetText(kInfoFrames));
        dialog.SetSpinRange(kStartFrameSpin, 0, frames > INT_MIN ? frames - 1 : frames);
        dialog.SetSpinRange(kEndFrameSpin, 1, frames);
        dialog.SetText(kStartFrame, f.Text(kFieldFirstFrame));
        dialog.SetText(kEndFrame, f.Text(kFieldLastFrame));
    }
    // Only 0 (4:3) and 1 (16:9) name a choice; any other number would address a control
    // that is no aspect choice at all.
    // The choice is one of three: the square-pixel one that a template may have checked is
    // cleared too.
    int aspect = f.Number(kFieldAspect);
    if (aspect == 0 || aspect == 1) {
        dialog.CheckRadioButton(kAspectSquare, kAspect16x9, kAspect4x3 + aspect);
    }
    const std::pair<size_t, int> flags[] = {{kFieldAlternateScan, kAlternateScan},
                                            {kFieldProgressive, kProgressive},
                                            {kFieldTopFieldFirst, kTopFieldFirst}};
    for (const auto& [field, box] : flags) {
        if (f.Number(field) != -1) {
            dialog.SetCheck(box, f.Number(field) != 0);
        }
    }
    if (f.Count() > kFieldFirstChapter) {
        std::string list;
        for (size_t i = kFieldFirstChapter; i < f.Count(); ++i) {
            list += (i > kFieldFirstChapter ? "," : "") + f.Text(i);
        }
        // A CR inside would end a line of the control list written from it.
        list = chapters::WithoutLineBreaks(chapters::TrimChars(list, " \r\n"));
        if (chapters::FitChapterList(list)) {
            log("WARNING: The chapter list of CCEData line " + std::to_string(position) +
                    " is longer than " + std::to_string(chapters::kMaxChapterListLength) +
                    " characters; the last entries are left out",
                logging::kLogWarning);
        }
        dialog.SetText(kChapterList, list);
        log("Chapter list overwritten by CCEData!", logging::kLogInfo);
    }
}

} // namespace

std::string CceDataVersion(const std::vector<std::string>& lines, size_t& firstDataLine) {
    firstDataLine = 0;
    if (lines.empty() || lines[0].empty() || lines[0][0] != ';') {
        return kCceDataVersionPlain;
    }
    std::vector<std::string> parts = chapters::SplitNonEmpty(lines[0], ' ');
    if (parts.size() < 2) {
        return kCceDataVersionPlain;
    }
    firstDataLine = 1;
    return chapters::TrimChars(parts[1], "\n\t\r");
}

std::vector<std::string> CceDataFields(const std::string& line) {
    return chapters::SplitNonEmpty(line, ',');
}

bool ImportCceDataLine(const std::string& line, size_t number, bool full, jobs::JobBuilder& builder,
                       platform::Dialog& dialog, logging::Log& log) {
    const size_t s = full ? 1 : 0; // a full line's field 0 is a number nobody uses
    LineFields f(line);
    const std::string& source = f.Text(s);
    if (source.find("no-cce") != std::string::npos || source.find("NO-CCE") != std::string::npos) {
        return false;
    }
    // Missing fields would read as 0 and set bias, quality, aspect and flags the line never
    // gave.
    if (full && f.Count() < kCceDataFullFields) {
        log("ERROR: Could not process CCEData line " + std::to_string(number) + "! It has " +
                std::to_string(f.Count()) + " fields; a version 1.0.1.5 line has at least " +
                std::to_string(kCceDataFullFields) + ". No job added",
            logging::kLogError);
        return false;
    }
    // A position beyond the template list would leave the job without a template.
    int templatePosition = f.Number(s + 4);
    if (templatePosition < 0 || templatePosition >= dialog.GetCount(kTemplateList)) {
        log("ERROR: CCEData line " + std::to_string(number) + " names template " +
                std::to_string(templatePosition) +
                ", which is not in the template list; no job added",
            logging::kLogError);
        return false;
    }
    if (!StartSourceJob(source, templatePosition, builder)) {
        return false;
    }
    dialog.SetSpinPos(kBitrateMinSpin, f.Number(s + 1));
    dialog.SetSpinPos(kBitrateMaxSpin, f.Number(s + 2));
    dialog.SetSpinPos(kBitrateAvgSpin, f.Number(s + 3));
    dialog.SetSpinPos(kPassesSpin, f.Number(s + 5));
    // The Avg field's focus-loss step and the spin's both derive the bias from the same
    // number, since setting the spin wrote it into the field: one call does both.
    builder.ApplyAutoBias();
    if (full) {
        ApplyFullFields(f, static_cast<int>(number), dialog, log);
    }
    builder.AddOrReplaceJob();
    return true;
}

bool StartSourceJob(const std::string& source, int templatePosition, jobs::JobBuilder& builder) {
    if (builder.ShowSourceInfo(source)) {
        return false;
    }
    builder.FillNewJob(source);
    builder.SelectTemplate(templatePosition);
    return true;
}

int AddSourceJobs(const std::vector<std::string>& sources, jobs::JobBuilder& builder,
                  platform::Dialog& dialog, logging::Log& log,
                  std::vector<std::string>* unreadable) {
    // Read once: each added job leaves the editor as it was filled, template included.
    int templatePosition = dialog.GetSelection(kTemplateList);
    if (templatePosition < 0) {
        log("ERROR: No template is selected; choose one before adding several sources at once.",
            logging::kLogError);
        return 0;
    }
    int added = 0;
    for (const std::string& source : sources) {
        if (!StartSourceJob(source, templatePosition, builder)) {
            if (unreadable != nullptr) {
                unreadable->push_back(source);
            }
            continue;
        }
        builder.ApplyAutoBias();
        builder.AddOrReplaceJob();
        ++added;
    }
    return added;
}

} // namespace run
