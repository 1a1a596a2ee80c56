// Job descriptions to and from registry editor files.
#include "cluster/job_description.h"

#include "ecl/ecl_writer.h"
#include "env/settings.h"
#include "jobs/job_store.h"
#include "platform/files.h"
#include "store/key_store.h"
#include "store/paths.h"
#include "store/reg_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cluster {

namespace {

// Copies every value of `from`, and of its sub-keys at any depth, below `toPath` of `to`.
bool CopyTree(store::KeyStore& from, store::Key key, store::KeyStore& to,
              const std::string& toPath) {
    std::vector<store::Value> values;
    std::vector<std::string> children;
    if (!key || !from.EnumValues(key, values) || !from.EnumSubKeys(key, children)) {
        return false;
    }
    if (!to.CreateKey(store::kHive, toPath)) {
        return false;
    }
    for (const store::Value& v : values) {
        if (!to.WriteValue(store::kHive, toPath, v)) {
            return false;
        }
    }
    for (const std::string& child : children) {
        if (!CopyTree(from, from.OpenKey(key, child, store::Access::Read), to,
                      toPath + "\\" + child)) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string DescriptionPathFor(const std::string& eclPath) {
    return ecl::ReplaceExtension(eclPath, ".job.reg");
}

std::string JobLogPathFor(const std::string& eclPath) {
    return ecl::ReplaceExtension(eclPath, ".job.log");
}

bool BuildJobDescription(store::KeyStore& store, int job, bool deleteMpv, std::string& text,
                         std::string& error) {
    store::KeyStore scratch;
    if (!scratch.Open(":memory:")) {
        error = scratch.LastError();
        return false;
    }
    store::Key root = store.OpenKey(store::kHive, store::kRootPath, store::Access::Read);
    std::vector<store::Value> settings;
    if (!root || !store.EnumValues(root, settings) ||
        !scratch.CreateKey(store::kHive, store::kRootPath)) {
        error = "the settings cannot be read";
        return false;
    }
    for (const store::Value& v : settings) {
        scratch.WriteValue(store::kHive, store::kRootPath, v);
    }
    if (deleteMpv) {
        scratch.WriteNumber(store::kHive, store::kRootPath, env::kDeleteMpv, 1);
    }
    store::Key templates = store.OpenKey(store::kHive, store::kTemplatePath, store::Access::Read);
    if (templates && !CopyTree(store, templates, scratch, store::kTemplatePath)) {
        error = "the templates cannot be read";
        return false;
    }
    store::Key jobKey = store.OpenKey(store::kHive, jobs::JobKeyPath(job), store::Access::Read);
    std::vector<store::Value> values;
    if (!jobKey || !store.EnumValues(jobKey, values)) {
        error = "job " + std::to_string(job) + " cannot be read";
        return false;
    }
    std::string target = jobs::JobKeyPath(0);
    if (!scratch.CreateKey(store::kHive, target)) {
        error = scratch.LastError();
        return false;
    }
    for (const store::Value& v : values) {
        scratch.WriteValue(store::kHive, target, v);
    }
    return store::ExportRegFile(scratch, store::kRootPath, text, error);
}

bool WriteDescriptionFile(const std::string& path, const std::string& text, std::string& error) {
    std::string partial = path + ".part";
    std::FILE* file = platform::CreateRegularFile(partial);
    if (!file) {
        error = partial + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = (std::fclose(file) == 0) && ok;
    if (!ok || std::rename(partial.c_str(), path.c_str()) != 0) {
        error = path + ": " + std::strerror(errno);
        std::remove(partial.c_str());
        return false;
    }
    return true;
}

bool LoadJobDescription(const std::string& path, store::KeyStore& store, std::string& error) {
    // One job and its template: far less than a queue's export.
    constexpr uint64_t kMaxJobDescriptionBytes = 64ull * 1024 * 1024;
    platform::ReadOnlyFile file;
    if (!file.Open(path)) {
        error = path + ": cannot be read";
        return false;
    }
    if (file.Size() > kMaxJobDescriptionBytes) {
        error = path + ": too large for a job description";
        return false;
    }
    std::string bytes;
    if (!file.ReadAt(0, file.Size(), bytes)) {
        error = path + ": cannot be read";
        return false;
    }
    if (!store::ImportRegFile(store, bytes, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

} // namespace cluster
