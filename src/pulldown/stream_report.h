// What a finished MPEG video elementary stream holds, picture by picture, and what follows from
// it: duration, rates, the buffer (VBV) model, GOP lengths and the 2:3 cadence.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pulldown {

// Bits of ReportPicture::flags.
enum ReportPictureFlag : uint8_t {
    kPictureTopFieldFirst = 1,
    kPictureRepeatFirstField = 2,
    kPictureProgressiveFrame = 4,
};

// One coded picture in stream order. `bytes` counts the picture with the sequence and GOP headers
// in front of it and any stuffing behind it, the way a demuxer cuts the stream into packets, so
// that the pictures' sizes add up to the whole stream.
struct ReportPicture {
    uint32_t bytes = 0;
    uint16_t temporalReference = 0;
    uint8_t type = 0;      // picture_coding_type: 1 I, 2 P, 3 B, 4 D
    uint8_t flags = 0;     // ReportPictureFlag bits
    uint8_t structure = 3; // picture_structure: 1 top field, 2 bottom field, 3 frame
    uint8_t fields = 2;    // fields it is shown for
};

// One group of pictures: from a GOP header (or the stream's start when pictures come before the
// first header) to the next.
struct ReportGop {
    uint64_t firstPicture = 0;
    uint32_t pictures = 0;
    uint64_t bytes = 0;
    double start = 0;   // seconds
    double seconds = 0; // shown for
    bool closed = false;
    bool header = true; // false for pictures before the first GOP header
};

// The first sequence header and extension; `changes` counts later headers that differ in size,
// rate or aspect.
struct ReportSequence {
    bool mpeg2 = false;
    int width = 0;
    int height = 0;
    int aspectCode = 0;    // aspect_ratio_information
    int frameRateCode = 0; // frame_rate_code
    double frameRate = 0;  // frames a second, with the extension's factor
    bool progressiveSequence = false;
    int profileLevel = 0;       // profile_and_level_indication
    uint64_t bitRate = 0;       // declared, bits a second (units of 400)
    uint64_t vbvBufferBits = 0; // declared, bits (units of 16,384)
    bool vbvDelayCoded = false; // the first picture carries a vbv_delay (not 0xFFFF)
    double vbvDelaySeconds = 0; // that vbv_delay
    int changes = 0;
};

// A moment the buffer model ran empty (the picture was not all there when due) or over (more
// arrived than the buffer holds, only when the stream says it is at a constant rate).
struct VbvEvent {
    double time = 0; // seconds
    uint64_t picture = 0;
    bool underflow = true;
    int64_t bits = 0; // how far below zero or above the buffer size
};

// The DVD-Video verdict with the reason for each rule the stream breaks.
struct DvdVerdict {
    bool compliant = false;
    std::string system; // "NTSC", "PAL" or "" when the frame rate is neither
    std::vector<std::string> reasons;
};

struct StreamReport {
    // An elementary stream: its first start code, after nothing but zero bytes, is a sequence
    // header.
    bool readable = false;
    ReportSequence sequence;
    std::vector<ReportPicture> pictures;
    std::vector<ReportGop> gops;
    uint64_t totalBytes = 0;
    bool endCode = false; // the stream's last start code is the sequence end code

    uint64_t fields = 0;           // shown, repeated ones included
    double durationSeconds = 0;    // fields at the sequence's field rate
    double meanRate = 0;           // bits a second
    double peakRate = 0;           // most bits in any one-second window, bits a second
    double peakAt = 0;             // where that window starts, seconds
    std::vector<double> perSecond; // bits in each whole second of the stream
    uint32_t longestGop = 0;       // pictures
    uint64_t longestGopIndex = 0;

    // The buffer model at the declared rate and size.
    std::vector<VbvEvent> vbvEvents; // every underflow and overflow
    uint64_t underflows = 0;
    uint64_t overflows = 0;
    double minBufferFill = 0; // bits, at the worst picture
    // Buffer fill in fixed steps of `bufferStep` seconds: the lowest fill in each step, bits.
    double bufferStep = 0.5;
    std::vector<double> bufferFill;

    // The 2:3 cadence: pictures repeating a field, and places (in display order) where the next
    // picture starts with the same field parity the last one ended with.
    uint64_t repeatedPictures = 0;
    uint64_t cadenceBreaks = 0;
    std::vector<double> cadenceBreakTimes; // the first few, seconds
    bool cadenceChecked = false;           // false for progressive sequences and MPEG-1
    // Pictures whose display flags their coding cannot carry: progressive_frame on a field
    // picture or one coded with field prediction or DCT, or a repeated first field on a
    // picture that is not a progressive frame.
    uint64_t illegalFieldFlags = 0;

    DvdVerdict dvd;
};

// Walks a stream handed over in consecutive pieces of any size, parsing only the headers (no
// picture data is decoded). Memory grows with the number of pictures, never with the stream.
class StreamReportBuilder {
public:
    StreamReportBuilder();
    // The next bytes of the stream; copied as far as needed.
    void Feed(const uint8_t* data, size_t size);
    // Ends the stream and works out what follows from it. The builder serves one stream.
    StreamReport Finish();

private:
    void Scan(bool last);
    void OnStartCode(uint64_t offset, const uint8_t* p, size_t avail);
    void ClosePicture(uint64_t end);

    std::vector<uint8_t> m_Buf; // unparsed bytes: m_Buf[0] is at m_BufOffset in the stream
    uint64_t m_BufOffset = 0;
    size_t m_Len = 0;
    size_t m_Scan = 0; // next position to search from
    StreamReport m_R;
    bool m_SeenSequence = false;
    // The stream does not open with a sequence header: nothing of it is read.
    bool m_NotElementary = false;
    bool m_InPicture = false;    // a picture header opened a picture not yet closed
    bool m_AfterPicture = false; // slices of the open picture have begun
    uint64_t m_UnitStart = 0;    // where the open picture's packet began
    int m_LastCode = -1;
    ReportPicture m_Cur;
    bool m_CurHasCodingExt = false;
    bool m_CurFrameDct = true; // frame_pred_frame_dct of the current picture
    uint16_t m_BitRateExt = 0;
    uint8_t m_VbvExt = 0;
    bool m_PendingGop = false;
    bool m_PendingGopClosed = false;
};

// Works out everything after the walk: durations, rates, buffer model, GOP figures, cadence and
// the DVD verdict. Called by Finish; public for reports assembled by hand in tests.
void CompleteReport(StreamReport& report);

// The report of the stream file at `path`, read a chunk at a time. Returns false when the file
// cannot be opened or read (`error` says why); a file that is no MPEG video stream gives true and
// a report with readable false.
bool ReportStreamFile(const std::string& path, StreamReport& report, std::string& error);

} // namespace pulldown
