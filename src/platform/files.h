// Read-only random access to files, and the files of the running program and its modules.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

// A file opened for reading at any offset. Not copyable; closed with the object.
class ReadOnlyFile {
public:
    ReadOnlyFile() = default;
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    // Opens a regular file; false for a missing file, a folder, a FIFO or device (never waited
    // on) or no permission.
    bool Open(const std::string& path);
    uint64_t Size() const { return m_Size; }
    // Reads exactly `size` bytes at `offset` into `bytes`; false (bytes unspecified) when the
    // range is not inside the file or the read fails.
    bool ReadAt(uint64_t offset, uint64_t size, std::string& bytes) const;

private:
    int m_Fd = -1;
    uint64_t m_Size = 0;
};

// What the file system says of a regular file.
struct FileFacts {
    uint64_t size = 0;
    int64_t modified = 0; // whole seconds of the system clock
};

// Creates the regular file at `path`, or empties the one there, for writing in binary mode (as
// fopen with "wb"). Fails (null) without waiting and without writing when `path` is a FIFO, a
// device, a folder or anything else but a regular file. The caller closes the stream.
std::FILE* CreateRegularFile(const std::string& path);

// Facts of the regular file at `path`; false for a missing path, a folder or anything else.
bool RegularFileFacts(const std::string& path, FileFacts& facts);

// The running program's own file, as the system reports it; empty when unknown.
std::string ProgramFilePath();

// The file of a module loaded into this process: `name` is a full path or a file name (the
// last component) of the program or of a loaded shared library. False when nothing matches.
bool LoadedModulePath(const std::string& name, std::string& path);

} // namespace platform
