// One running program per store: an exclusive lock on a file beside the store.
#pragma once

#include <string>

namespace platform {

// Held from Take() until the object ends (or the process does). The lock belongs to this
// object's open file, so closing any other descriptor of the same file in the process (as a
// file dialog does) never drops it.
class InstanceLock {
public:
    enum Result { kTaken, kHeldElsewhere, kFailed };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock of the store at `storePath` without waiting; creates the store's folder
    // and the lock file when missing, and writes nothing else. `error` says why on kFailed.
    Result Take(const std::string& storePath, std::string& error);

    // The lock file of a store: its path with ".lock" appended.
    static std::string LockFilePath(const std::string& storePath);

private:
    int m_Fd = -1;
};

} // namespace platform
