// The walk over a stream's headers that collects its pictures, GOPs and sequence for the report.
#include "pulldown/stream_report.h"

#include "ecl/ecl_writer.h"
#include "platform/files.h"
#include "pulldown/start_code_scan.h"
#include "pulldown/stream_rewriter.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace pulldown {

namespace {

// Bytes the scan hands to the header parser after a start-code value: the longest fixed part
// of any header it reads (the sequence header's 64 bits up to the matrices).
constexpr size_t kHeaderBytes = 8;
// The buffer takes this much of the input at a time.
constexpr size_t kPiece = 1 << 20;

// Reads fields most significant bit first from a few bytes padded with zeros.
class HeaderBits {
public:
    HeaderBits(const uint8_t* p, size_t avail) {
        for (size_t i = 0; i < kHeaderBytes; ++i) {
            m_Word = (m_Word << 8) | (i < avail ? p[i] : 0);
        }
    }
    uint32_t Get(int n) {
        uint32_t v = static_cast<uint32_t>((m_Word << m_Used) >> (64 - n));
        m_Used += n;
        return v;
    }
    void Skip(int n) { m_Used += n; }

private:
    uint64_t m_Word = 0;
    int m_Used = 0;
};

double FrameRateOfCode(int code) {
    int num = 0;
    int den = 1;
    return ecl::FrameRateOfIndex(code, num, den) ? static_cast<double>(num) / den : 0;
}

} // namespace

StreamReportBuilder::StreamReportBuilder() : m_Buf(kPiece + 64) {}

void StreamReportBuilder::Feed(const uint8_t* data, size_t size) {
    while (size > 0) {
        // Keep only what is not yet parsed: at most a header's worth.
        if (m_Scan > 0) {
            std::memmove(m_Buf.data(), m_Buf.data() + m_Scan, m_Len - m_Scan);
            m_BufOffset += m_Scan;
            m_Len -= m_Scan;
            m_Scan = 0;
        }
        size_t take = std::min(size, m_Buf.size() - m_Len);
        std::memcpy(m_Buf.data() + m_Len, data, take);
        m_Len += take;
        data += take;
        size -= take;
        Scan(false);
    }
}

void StreamReportBuilder::Scan(bool last) {
    const uint8_t* buf = m_Buf.data();
    for (;;) {
        if (m_NotElementary) {
            m_Scan = m_Len;
            return;
        }
        uint64_t at = m_Scan + FindStartCodePrefix(buf + m_Scan, m_Len - m_Scan);
        if (m_LastCode < 0) {
            // An elementary stream opens with its first start code, after zero bytes at most:
            // anything else (a container that happens to hold the bytes of one) is none.
            size_t end = static_cast<size_t>(std::min<uint64_t>(at, m_Len));
            if (std::any_of(buf + m_Scan, buf + end, [](uint8_t b) { return b != 0; })) {
                m_NotElementary = true;
                continue;
            }
        }
        if (at >= m_Len) {
            // The last two bytes may begin a prefix that the next piece completes.
            m_Scan = last ? m_Len : std::max(m_Scan, m_Len >= 2 ? m_Len - 2 : size_t{0});
            return;
        }
        size_t value = static_cast<size_t>(at) + 3;
        if (!last && value + 1 + kHeaderBytes > m_Len) {
            m_Scan = static_cast<size_t>(at);
            return;
        }
        if (value >= m_Len) {
            m_Scan = m_Len; // a prefix with no value at the very end
            return;
        }
        OnStartCode(m_BufOffset + at, buf + value, m_Len - value);
        m_Scan = value + 1;
    }
}

void StreamReportBuilder::ClosePicture(uint64_t end) {
    m_Cur.bytes = static_cast<uint32_t>(std::min<uint64_t>(end - m_UnitStart, UINT32_MAX));
    const ReportSequence& s = m_R.sequence;
    bool tff = (m_Cur.flags & kPictureTopFieldFirst) != 0;
    bool rff = (m_Cur.flags & kPictureRepeatFirstField) != 0;
    if (!s.mpeg2 || !m_CurHasCodingExt) {
        m_Cur.fields = 2;
    } else if (m_Cur.structure != 3) {
        m_Cur.fields = 1;
    } else if (s.progressiveSequence) {
        // In a progressive sequence the flags repeat whole frames: twice or three times.
        m_Cur.fields = static_cast<uint8_t>(rff ? (tff ? 6 : 4) : 2);
    } else {
        m_Cur.fields = static_cast<uint8_t>(rff ? 3 : 2);
        bool progressive = (m_Cur.flags & kPictureProgressiveFrame) != 0;
        if ((progressive && (m_Cur.structure != 3 || !m_CurFrameDct)) || (rff && !progressive)) {
            ++m_R.illegalFieldFlags;
        }
    }
    m_R.pictures.push_back(m_Cur);
    m_InPicture = false;
    m_UnitStart = end;
}

void StreamReportBuilder::OnStartCode(uint64_t offset, const uint8_t* p, size_t avail) {
    uint32_t code = p[0];
    HeaderBits bits(p + 1, avail - 1);
    bool unitStart =
        code == kPictureStartCode || code == kSequenceHeaderCode || code == kGroupStartCode;
    if (unitStart && m_InPicture) {
        ClosePicture(offset);
    }
    if (m_LastCode < 0 && code != kSequenceHeaderCode) {
        m_NotElementary = true;
        return;
    }
    m_LastCode = static_cast<int>(code);
    if (code == kSequenceHeaderCode) {
        ReportSequence& s = m_R.sequence;
        int width = static_cast<int>(bits.Get(12));
        int height = static_cast<int>(bits.Get(12));
        int aspect = static_cast<int>(bits.Get(4));
        int rate = static_cast<int>(bits.Get(4));
        uint32_t bitRate = bits.Get(18);
        bits.Skip(1); // marker_bit
        uint32_t vbv = bits.Get(10);
        if (!m_SeenSequence) {
            m_SeenSequence = true;
            m_R.readable = true;
            s.width = width;
            s.height = height;
            s.aspectCode = aspect;
            s.frameRateCode = rate;
            s.frameRate = FrameRateOfCode(rate);
            s.bitRate = uint64_t{bitRate} * 400;
            s.vbvBufferBits = uint64_t{vbv} * 16384;
        } else if ((width & 0xFFF) != (s.width & 0xFFF) || (height & 0xFFF) != (s.height & 0xFFF) ||
                   aspect != s.aspectCode || rate != s.frameRateCode) {
            ++s.changes;
        }
    } else if (code == kExtensionStartCode) {
        uint32_t id = bits.Get(4);
        if (id == 1 && m_SeenSequence && !m_R.sequence.mpeg2) { // sequence_extension, first one
            ReportSequence& s = m_R.sequence;
            s.mpeg2 = true;
            s.profileLevel = static_cast<int>(bits.Get(8));
            s.progressiveSequence = bits.Get(1) != 0;
            bits.Skip(2); // chroma_format
            s.width |= static_cast<int>(bits.Get(2)) << 12;
            s.height |= static_cast<int>(bits.Get(2)) << 12;
            s.bitRate += uint64_t{bits.Get(12)} * 400 << 18;
            bits.Skip(1); // marker_bit
            s.vbvBufferBits += uint64_t{bits.Get(8)} * 16384 << 10;
            bits.Skip(1); // low_delay
            uint32_t n = bits.Get(2);
            uint32_t d = bits.Get(5);
            s.frameRate = s.frameRate * (n + 1) / (d + 1);
        } else if (id == 8 && m_InPicture) { // picture_coding_extension
            bits.Skip(16);                   // f_code[0][0] .. f_code[1][1]
            bits.Skip(2);                    // intra_dc_precision
            m_Cur.structure = static_cast<uint8_t>(bits.Get(2));
            uint8_t flags = bits.Get(1) ? kPictureTopFieldFirst : 0;
            m_CurFrameDct = bits.Get(1) != 0; // frame_pred_frame_dct
            bits.Skip(4);                     // concealment_motion_vectors .. alternate_scan
            flags |= bits.Get(1) ? kPictureRepeatFirstField : 0;
            bits.Skip(1); // chroma_420_type
            flags |= bits.Get(1) ? kPictureProgressiveFrame : 0;
            m_Cur.flags = flags;
            m_CurHasCodingExt = true;
        }
    } else if (code == kGroupStartCode) {
        bits.Skip(25); // time_code
        m_PendingGop = true;
        m_PendingGopClosed = bits.Get(1) != 0;
    } else if (code == kPictureStartCode && m_SeenSequence) {
        m_Cur = ReportPicture();
        m_Cur.temporalReference = static_cast<uint16_t>(bits.Get(10));
        m_Cur.type = static_cast<uint8_t>(bits.Get(3));
        uint32_t vbvDelay = bits.Get(16);
        // MPEG-1 pictures show both fields, top first, as whole frames.
        m_Cur.flags = kPictureTopFieldFirst | kPictureProgressiveFrame;
        m_CurHasCodingExt = false;
        m_CurFrameDct = true;
        if (m_R.pictures.empty()) {
            m_R.sequence.vbvDelayCoded = vbvDelay != 0xFFFF;
            m_R.sequence.vbvDelaySeconds = vbvDelay / 90000.0;
        }
        if (m_PendingGop || m_R.gops.empty()) {
            ReportGop gop;
            gop.firstPicture = m_R.pictures.size();
            gop.closed = m_PendingGop && m_PendingGopClosed;
            gop.header = m_PendingGop;
            m_R.gops.push_back(gop);
            m_PendingGop = false;
        }
        m_InPicture = true;
    }
}

StreamReport StreamReportBuilder::Finish() {
    Scan(true);
    uint64_t end = m_BufOffset + m_Len;
    m_R.totalBytes = end;
    if (m_InPicture) {
        ClosePicture(end);
    } else if (!m_R.pictures.empty() && end > m_UnitStart) {
        // Headers after the last picture travel with it.
        uint64_t grown = m_R.pictures.back().bytes + (end - m_UnitStart);
        m_R.pictures.back().bytes = static_cast<uint32_t>(std::min<uint64_t>(grown, UINT32_MAX));
    }
    m_R.endCode = m_LastCode == static_cast<int>(kSequenceEndCode);
    CompleteReport(m_R);
    return std::move(m_R);
}

bool ReportStreamFile(const std::string& path, StreamReport& report, std::string& error) {
    platform::ReadOnlyFile file;
    if (!file.Open(path)) {
        // A device or pipe has no end to report on.
        platform::FileFacts facts;
        std::error_code ec;
        bool other = !platform::RegularFileFacts(path, facts) && std::filesystem::exists(path, ec);
        error = other ? path + " is not a regular file" : "cannot open " + path;
        return false;
    }
    StreamReportBuilder builder;
    std::string bytes;
    for (uint64_t offset = 0; offset < file.Size(); offset += kPiece) {
        uint64_t size = std::min<uint64_t>(kPiece, file.Size() - offset);
        if (!file.ReadAt(offset, size, bytes)) {
            error = "cannot read " + path;
            return false;
        }
        builder.Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    report = builder.Finish();
    return true;
}

} // namespace pulldown
