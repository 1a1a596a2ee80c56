// RIFF AVI header reader: the main header, the stream headers and formats, the OpenDML
// extended header and the RIFF parts that follow the first one.
#include "platform/avi_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace platform {
namespace {

// Larger header lists than this are not written by any muxer; refusing them bounds memory.
constexpr uint32_t kMaxHeaderList = 16u << 20;
// Chunks before "movi" (header list, INFO, JUNK) are few; a file with more is not sane.
constexpr int kMaxTopLevelChunks = 4096;
// Counting RIFF parts stops here; OpenDML files have one per gigabyte.
constexpr uint32_t kMaxRiffParts = 1u << 16;
constexpr uint32_t kMaxDimension = 1u << 16;
constexpr uint32_t kMaxStreams = 1024;
constexpr size_t kFileTypeCapacity = 64;

uint32_t Le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool IsFourCc(const unsigned char* p, const char* code) {
    return std::memcmp(p, code, 4) == 0;
}

uint64_t Padded(uint64_t size) {
    return size + (size & 1);
}

// An open file read by absolute offsets; closes itself.
class File {
public:
    // Never waits for a writer: a FIFO in the file's place is refused by the check below.
    explicit File(const std::string& path)
        : m_Fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
    ~File() {
        if (m_Fd >= 0) {
            ::close(m_Fd);
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsOpen() const { return m_Fd >= 0; }
    // The size of a regular file; false for anything else.
    bool RegularSize(uint64_t& size) const {
        struct stat st {};
        if (::fstat(m_Fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            return false;
        }
        size = static_cast<uint64_t>(st.st_size);
        return true;
    }
    // Reads exactly `n` bytes at `offset`; false on a short read.
    bool ReadAt(uint64_t offset, void* buffer, size_t n) const {
        auto* out = static_cast<unsigned char*>(buffer);
        while (n > 0) {
            ssize_t got = ::pread(m_Fd, out, n, static_cast<off_t>(offset));
            if (got <= 0) {
                return false;
            }
            out += got;
            offset += static_cast<uint64_t>(got);
            n -= static_cast<size_t>(got);
        }
        return true;
    }

private:
    int m_Fd;
};

// The parts of the header list this reader keeps.
struct HeaderList {
    bool mainHeader = false;
    uint32_t microSecPerFrame = 0;
    uint32_t maxBytesPerSec = 0;
    uint32_t flags = 0;
    uint32_t totalFrames = 0;
    uint32_t suggestedBufferSize = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t streamLists = 0;
    bool video = false;
    uint32_t videoIndex = 0; // the first video stream's number, as in its chunk ids ("00dc")
    uint32_t videoScale = 0;
    uint32_t videoRate = 0;
    uint32_t videoLength = 0;
    uint32_t formatWidth = 0;
    uint32_t formatHeight = 0;
    bool audio = false;
    bool odml = false;
    uint32_t odmlTotalFrames = 0;
};

// Walks the chunks of `data[begin, end)`, calling `visit(fourcc, listType, body, size)` for
// each; `listType` is null for a plain chunk. False when a chunk runs past `end`.
template <typename Visit>
bool WalkChunks(const unsigned char* data, size_t begin, size_t end, Visit visit) {
    size_t pos = begin;
    while (end - pos >= 8) {
        const unsigned char* header = data + pos;
        uint32_t size = Le32(header + 4);
        if (size > end - pos - 8) {
            return false;
        }
        const unsigned char* body = data + pos + 8;
        if (IsFourCc(header, "LIST")) {
            if (size < 4) {
                return false;
            }
            if (!visit(header, body, body + 4, size - 4)) {
                return false;
            }
        } else if (!visit(header, nullptr, body, size)) {
            return false;
        }
        pos += 8 + static_cast<size_t>(Padded(size));
        if (pos > end) {
            pos = end; // a missing pad byte at the end of a list is harmless
        }
    }
    return true;
}

bool ParseStreamList(const unsigned char* body, uint32_t size, HeaderList& h) {
    bool isVideo = false, isAudio = false;
    uint32_t scale = 0, rate = 0, length = 0, formatWidth = 0, formatHeight = 0;
    bool ok = WalkChunks(body, 0, size,
                         [&](const unsigned char* id, const unsigned char* list,
                             const unsigned char* chunk, uint32_t n) {
                             if (list != nullptr) {
                                 return true;
                             }
                             if (IsFourCc(id, "strh")) {
                                 if (n < 48) {
                                     return false;
                                 }
                                 isVideo = IsFourCc(chunk, "vids");
                                 isAudio = IsFourCc(chunk, "auds");
                                 scale = Le32(chunk + 20);
                                 rate = Le32(chunk + 24);
                                 length = Le32(chunk + 32);
                             } else if (IsFourCc(id, "strf") && n >= 12) {
                                 formatWidth = Le32(chunk + 4);
                                 int32_t signedHeight = static_cast<int32_t>(Le32(chunk + 8));
                                 // A negative height marks a top-down bitmap; INT32_MIN has no
                                 // magnitude.
                                 formatHeight = signedHeight == INT32_MIN ? 0u
                                                : signedHeight < 0
                                                    ? static_cast<uint32_t>(-signedHeight)
                                                    : static_cast<uint32_t>(signedHeight);
                             }
                             return true;
                         });
    if (!ok) {
        return false;
    }
    ++h.streamLists;
    if (isVideo && !h.video) {
        h.video = true;
        h.videoIndex = h.streamLists - 1;
        h.videoScale = scale;
        h.videoRate = rate;
        h.videoLength = length;
        h.formatWidth = formatWidth;
        h.formatHeight = formatHeight;
    }
    h.audio = h.audio || isAudio;
    return true;
}

bool ParseHeaderList(const unsigned char* data, uint32_t size, HeaderList& h) {
    return WalkChunks(data, 0, size,
                      [&](const unsigned char* id, const unsigned char* list,
                          const unsigned char* body, uint32_t n) {
                          if (list == nullptr && IsFourCc(id, "avih")) {
                              if (n < 40 || h.mainHeader) {
                                  return false;
                              }
                              h.mainHeader = true;
                              h.microSecPerFrame = Le32(body);
                              h.maxBytesPerSec = Le32(body + 4);
                              h.flags = Le32(body + 12);
                              h.totalFrames = Le32(body + 16);
                              h.suggestedBufferSize = Le32(body + 28);
                              h.width = Le32(body + 32);
                              h.height = Le32(body + 36);
                          } else if (list != nullptr && IsFourCc(list, "strl")) {
                              return h.streamLists < kMaxStreams && ParseStreamList(body, n, h);
                          } else if (list != nullptr && IsFourCc(list, "odml")) {
                              WalkChunks(body, 0, n,
                                         [&](const unsigned char* sub, const unsigned char* subList,
                                             const unsigned char* subBody, uint32_t m) {
                                             if (subList == nullptr && IsFourCc(sub, "dmlh") &&
                                                 m >= 4) {
                                                 h.odml = true;
                                                 h.odmlTotalFrames = Le32(subBody);
                                             }
                                             return true;
                                         });
                          }
                          return true;
                      });
}

// Frames per second outside [0.001, 1000000] are not video this program can encode; the
// bounds also keep the rate in thousandths within an int.
bool SaneRate(uint32_t rate, uint32_t scale) {
    if (rate == 0 || scale == 0) {
        return false;
    }
    double fps = static_cast<double>(rate) / static_cast<double>(scale);
    return fps >= 0.001 && fps <= 1000000.0;
}

// Where a "movi" list's chunks lie: [begin, end), end clipped to the file.
struct MoviList {
    uint64_t begin = 0;
    uint64_t end = 0;
};

// Counts the video frames of stream `videoIndex` whose chunk lies whole inside the file, in
// the order the lists hold them, up to the first one the end of the file cuts. "rec " lists
// are entered. Only a truncated file is walked like this; its cost grows with the frames.
uint32_t CountWholeFrames(const File& file, const std::vector<MoviList>& lists, uint64_t fileSize,
                          uint32_t videoIndex) {
    if (videoIndex > 99) {
        return 0;
    }
    const char digits[2] = {static_cast<char>('0' + videoIndex / 10),
                            static_cast<char>('0' + videoIndex % 10)};
    uint32_t frames = 0;
    for (const MoviList& list : lists) {
        uint64_t pos = list.begin;
        while (pos + 8 <= list.end) {
            unsigned char chunk[8];
            if (!file.ReadAt(pos, chunk, sizeof chunk)) {
                return frames;
            }
            const uint64_t size = Le32(chunk + 4);
            if (IsFourCc(chunk, "LIST")) {
                pos += 12; // into the list: its chunks follow its type
                continue;
            }
            const bool video =
                std::memcmp(chunk, digits, 2) == 0 &&
                (std::memcmp(chunk + 2, "dc", 2) == 0 || std::memcmp(chunk + 2, "db", 2) == 0);
            if (pos + 8 + size > fileSize) {
                return frames; // the cut: this chunk and everything after it are incomplete
            }
            if (video && frames < static_cast<uint32_t>(INT32_MAX)) {
                ++frames;
            }
            pos += 8 + Padded(size);
        }
    }
    return frames;
}

AviError Finish(const HeaderList& h, AviHeaders& out) {
    if (!h.mainHeader) {
        return kAviBadHeader;
    }
    if (!h.video) {
        return kAviNoVideo;
    }
    AviFileInfo& info = out.info;
    info.maxBytesPerSec = h.maxBytesPerSec;
    info.flags = h.flags;
    info.caps = kAviCapsCanRead;
    info.streams = h.streamLists;
    info.suggestedBufferSize = h.suggestedBufferSize;
    // The main header's picture size is what the file announces; the format's is the fallback.
    info.width = h.width != 0 ? h.width : h.formatWidth;
    info.height = h.height != 0 ? h.height : h.formatHeight;
    info.scale = h.videoScale;
    info.rate = h.videoRate;
    // The stream header counts the whole stream; the main header only the first RIFF part.
    info.length = h.videoLength != 0 ? h.videoLength : h.odml ? h.odmlTotalFrames : h.totalFrames;
    info.editCount = 0;
    out.openDml = out.openDml || h.odml;
    info.fileType = out.openDml ? kOpenDmlTypeText : kAviTypeText;
    info.fileType.resize(std::min(info.fileType.size(), kFileTypeCapacity - 1));
    out.hasAudio = h.audio;
    out.mainHeaderFrames = h.totalFrames;
    if (info.width == 0 || info.height == 0 || info.width > kMaxDimension ||
        info.height > kMaxDimension || info.length > static_cast<uint32_t>(INT32_MAX) ||
        !SaneRate(info.rate, info.scale)) {
        return kAviBadHeader;
    }
    return kAviOk;
}

} // namespace

AviError ReadAviHeaders(const std::string& path, AviHeaders& out) {
    out = AviHeaders{};
    File file(path);
    uint64_t fileSize = 0;
    if (!file.IsOpen() || !file.RegularSize(fileSize)) {
        return kAviCannotOpen;
    }
    out.fileSize = fileSize;
    unsigned char riff[12] = {};
    if (!file.ReadAt(0, riff, sizeof riff)) {
        return fileSize < 12 && fileSize >= 4 && IsFourCc(riff, "RIFF") ? kAviTruncated
                                                                        : kAviNotAvi;
    }
    if (!IsFourCc(riff, "RIFF") || !IsFourCc(riff + 8, "AVI ")) {
        return kAviNotAvi;
    }
    uint64_t riffEnd = 8 + static_cast<uint64_t>(Le32(riff + 4));
    if (riffEnd < 12) {
        return kAviBadHeader;
    }
    // A recording that ended early is cut inside its frames: its headers are whole and the
    // frames before the cut can be read, as players do.
    if (riffEnd > fileSize) {
        out.truncated = true;
        riffEnd = fileSize;
    }
    out.riffParts = 1;

    HeaderList h;
    std::vector<MoviList> movis;
    bool headerSeen = false, moviSeen = false;
    uint64_t pos = 12;
    for (int count = 0; pos + 8 <= riffEnd && !(headerSeen && moviSeen); ++count) {
        if (count == kMaxTopLevelChunks) {
            return kAviBadHeader;
        }
        unsigned char chunk[12];
        if (!file.ReadAt(pos, chunk, 8)) {
            return kAviTruncated;
        }
        uint64_t size = Le32(chunk + 4);
        const bool cut = pos + 8 + size > riffEnd;
        if (IsFourCc(chunk, "LIST") && size >= 4) {
            if (!file.ReadAt(pos + 8, chunk + 8, 4)) {
                return kAviTruncated;
            }
            if (IsFourCc(chunk + 8, "hdrl") && !headerSeen) {
                if (cut) {
                    return kAviTruncated;
                }
                if (size > kMaxHeaderList) {
                    return kAviBadHeader;
                }
                std::vector<unsigned char> list(static_cast<size_t>(size - 4));
                if (!list.empty() && !file.ReadAt(pos + 12, list.data(), list.size())) {
                    return kAviTruncated;
                }
                if (!ParseHeaderList(list.data(), static_cast<uint32_t>(list.size()), h)) {
                    return kAviBadHeader;
                }
                headerSeen = true;
            } else if (IsFourCc(chunk + 8, "movi")) {
                moviSeen = true;
                movis.push_back({pos + 12, std::min(pos + 8 + size, riffEnd)});
            }
        }
        if (cut && !(out.truncated && headerSeen)) {
            return kAviTruncated;
        }
        pos += 8 + Padded(size);
    }
    if (!headerSeen) {
        return out.truncated ? kAviTruncated : kAviBadHeader;
    }

    // The OpenDML parts: one 12-byte header each, seeking past the frame data.
    pos = out.truncated ? fileSize : Padded(riffEnd);
    while (pos + 12 <= fileSize && out.riffParts < kMaxRiffParts) {
        if (!file.ReadAt(pos, riff, sizeof riff)) {
            return kAviTruncated;
        }
        if (!IsFourCc(riff, "RIFF") || !IsFourCc(riff + 8, "AVIX")) {
            break; // trailing bytes after the last part are not ours to judge
        }
        uint64_t end = pos + 8 + Le32(riff + 4);
        if (end > fileSize) {
            out.truncated = true;
            end = fileSize;
        }
        unsigned char list[12];
        if (pos + 24 <= end && file.ReadAt(pos + 12, list, sizeof list) && IsFourCc(list, "LIST") &&
            IsFourCc(list + 8, "movi")) {
            movis.push_back({pos + 24, std::min(pos + 20 + Le32(list + 4), end)});
        }
        ++out.riffParts;
        out.openDml = true;
        pos = Padded(end);
    }
    const AviError result = Finish(h, out);
    if (result != kAviOk || !out.truncated) {
        return result;
    }
    out.headerFrames = out.info.length;
    out.info.length = CountWholeFrames(file, movis, fileSize, h.videoIndex);
    return out.info.length == 0 ? kAviTruncated : kAviOk;
}

const char* AviErrorText(AviError error) {
    switch (error) {
    case kAviOk:
        return "no error";
    case kAviCannotOpen:
        return "the file cannot be opened";
    case kAviNotAvi:
        return "not an AVI file";
    case kAviTruncated:
        return "the file is truncated";
    case kAviBadHeader:
        return "the AVI headers are damaged or hold impossible values";
    case kAviNoVideo:
        return "the file has no video stream";
    }
    return "unknown error";
}

} // namespace platform
