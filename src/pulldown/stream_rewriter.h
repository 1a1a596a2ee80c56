// The walk over an MPEG video elementary stream that rewrites its header fields in place.
#pragma once

#include "pulldown/block_stream.h"
#include "pulldown/settings.h"

#include <cstdint>
#include <functional>

namespace pulldown {

// Start-code values (the byte after the 00 00 01 prefix).
enum StartCode : uint32_t {
    kPictureStartCode = 0x00,
    kSliceStartCodeFirst = 0x01,
    kSliceStartCodeLast = 0xAF,
    kUserDataStartCode = 0xB2,
    kSequenceHeaderCode = 0xB3,
    kExtensionStartCode = 0xB5,
    kSequenceEndCode = 0xB7,
    kGroupStartCode = 0xB8,
};

// 25-bit GOP time_code for a group that starts after `pictures` coded pictures: the output
// picture number at 5 fields for every 4 pictures, counted at `rate` pictures a second without
// skipped numbers, behind the drop_frame_flag `dropFrame`.
uint32_t GopTimeCode(int64_t pictures, int rate, int dropFrame);

// Walks the stream from its first start code through the value of the sequence end code,
// parsing only headers and skipping slice and user data a chunk at a time.
class StreamRewriter {
public:
    // `update` receives the picture count after each sequence; may be empty.
    StreamRewriter(BlockStream& stream, const ResolvedSettings& settings,
                   std::function<void(int64_t)> update);

    // Returns 0 when the sequence end code was reached (its value consumed), else the result
    // code that ends the run.
    int Walk();

    int64_t Pictures() const { return m_Pictures; }
    int64_t Gops() const { return m_Gops; }
    uint32_t BitRateValue() const { return m_BitRateValue; }

    // What refused a 2:3 run: the frame_rate_code found (kPulldownNotFilmRate), or the 1-based
    // number of the picture that is no progressive frame with its picture_structure and
    // frame_pred_frame_dct (kPulldownNotProgressive).
    uint32_t RefusedRateCode() const { return m_RefusedRateCode; }
    int64_t RefusedPicture() const { return m_RefusedPicture; }
    uint32_t RefusedStructure() const { return m_RefusedStructure; }
    uint32_t RefusedFrameDct() const { return m_RefusedFrameDct; }

private:
    uint32_t NextValue() { return m_S.ShowBits(8); }
    int SequenceHeader();
    int SequenceExtension();
    int GroupOfPicturesHeader();
    int PictureHeader();
    int PictureCodingExtension();
    int SkipUserData();
    int SkipUnit();
    int ExtensionAndUserDataOfSequence();
    int ExtensionAndUserDataOfPicture();
    int PictureData();
    int Picture();

    BlockStream& m_S;
    const ResolvedSettings& m_Set;
    std::function<void(int64_t)> m_Update;
    bool m_Mpeg2 = false;
    int64_t m_Pictures = 0; // one per picture coding extension
    int64_t m_GopStart = 0; // m_Pictures at the latest GOP header
    int64_t m_Gops = 0;
    uint32_t m_TemporalReference = 0;
    uint32_t m_BitRateValue = 0; // of the latest sequence header
    uint32_t m_RefusedRateCode = 0;
    int64_t m_RefusedPicture = 0;
    uint32_t m_RefusedStructure = 0;
    uint32_t m_RefusedFrameDct = 0;
};

} // namespace pulldown
