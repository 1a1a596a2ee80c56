// The job editor's steps that a job-list import drives, once per line.
#pragma once

#include <string>

namespace jobs {

class JobBuilder {
public:
    virtual ~JobBuilder() = default;
    // File Info of a source; true when it could NOT be opened (it logged the error line).
    virtual bool ShowSourceInfo(const std::string& path) = 0;
    // Fills the editor for a new job from the source path (name, input, chapter search, frame
    // range, the selected template applied).
    virtual void FillNewJob(const std::string& path) = 0;
    // Selects template list position `position` and applies that template to the editor.
    virtual void SelectTemplate(int position) = 0;
    virtual void ApplyAutoBias() = 0;
    // Adds the editor's job to the queue (or replaces the job being edited).
    virtual void AddOrReplaceJob() = 0;
    // While on, a source whose file is unchanged (path, size, time) is inspected once: a list
    // naming one source many times reads it once.
    virtual void CacheInspections(bool /*on*/) {}
};

} // namespace jobs
