// The walk over an MPEG video elementary stream that rewrites its header fields in place.
#include "pulldown/stream_rewriter.h"

#include <utility>

namespace pulldown {

namespace {

// Flags of the cadence position p = picture number mod 4 in display order: pictures 0 and 1
// start with the top field, 1 and 3 repeat their first field (and are progressive frames).
int CadenceTopFieldFirst(int64_t p) {
    return p < 2 ? 1 : 0;
}
int CadenceRepeatFirstField(int64_t p) {
    return static_cast<int>(p & 1);
}

constexpr uint32_t kFilmFrameRateCode = 1; // 24000/1001
constexpr uint32_t kFramePicture = 3;      // picture_structure of a frame picture
constexpr uint32_t kVariableRateVbvDelay = 0xFFFF;

} // namespace

uint32_t GopTimeCode(int64_t pictures, int rate, int dropFrame) {
    int64_t v = ((pictures / 2) * 5) / 2;
    int64_t frames = v % rate;
    int64_t s = v / rate;
    int64_t seconds = s % 60;
    int64_t minutes = (s / 60) % 60;
    int64_t hours = (s / 3600) % 24;
    return static_cast<uint32_t>((static_cast<int64_t>(dropFrame & 1) << 24) | (hours << 19) |
                                 (minutes << 13) | (1 << 12) | (seconds << 6) | frames);
}

StreamRewriter::StreamRewriter(BlockStream& stream, const ResolvedSettings& settings,
                               std::function<void(int64_t)> update)
    : m_S(stream), m_Set(settings), m_Update(std::move(update)) {}

int StreamRewriter::SequenceHeader() {
    m_S.GetBits(8);  // sequence_header_code value
    m_S.GetBits(12); // horizontal_size_value
    m_S.GetBits(12); // vertical_size_value
    // 2:3 pulldown turns 4 film pictures into 5 video frames; on any other rate it would play
    // the stream slower than it was made (a 29.97 stream that already had the pass included).
    // The header is refused once it is whole, so that a cut stream still ends as cut.
    uint32_t rateCode = m_S.ShowBits(8) & 0x0F;
    // aspect_ratio_information and frame_rate_code share one byte; it is changed before it is
    // read so that the change lands in the current block.
    uint8_t mask = 0x0F;
    uint8_t bits = static_cast<uint8_t>(m_Set.frameRateCode);
    if (m_Set.aspectCode >= 1 && m_Set.aspectCode <= 4) {
        mask = 0xFF;
        bits = static_cast<uint8_t>(bits | (m_Set.aspectCode << 4));
    }
    m_S.RewriteByte(mask, bits);
    m_S.GetBits(4);                   // aspect_ratio_information
    m_S.GetBits(4);                   // frame_rate_code
    m_BitRateValue = m_S.GetBits(18); // bit_rate_value
    m_S.GetBits(1);                   // marker_bit
    m_S.GetBits(10);                  // vbv_buffer_size_value
    m_S.GetBits(1);                   // constrained_parameters_flag
    for (int matrix = 0; matrix < 2; ++matrix) {
        if (m_S.GetBits(1)) { // load_intra / load_non_intra_quantiser_matrix
            for (int i = 0; i < 64; ++i) {
                m_S.GetBits(8);
            }
        }
    }
    if (int rc = m_S.NextStartCode(); rc != 0) {
        return rc;
    }
    if (m_Set.pulldown && rateCode != kFilmFrameRateCode) {
        m_RefusedRateCode = rateCode;
        return kPulldownNotFilmRate;
    }
    return 0;
}

int StreamRewriter::SequenceExtension() {
    m_S.GetBits(8); // extension_start_code value
    m_S.GetBits(4); // extension_start_code_identifier, taken to be 1
    m_S.GetBits(8); // profile_and_level_indication
    m_S.PutBits(m_Set.sequenceMode == 1 ? 1 : 0, 1); // progressive_sequence
    m_S.GetBits(2);                                  // chroma_format
    m_S.GetBits(2);                                  // horizontal_size_extension
    m_S.GetBits(2);                                  // vertical_size_extension
    m_S.GetBits(12);                                 // bit_rate_extension
    m_S.GetBits(1);                                  // marker_bit
    m_S.GetBits(8);                                  // vbv_buffer_size_extension
    m_S.GetBits(1);                                  // low_delay
    m_S.GetBits(2);                                  // frame_rate_extension_n
    m_S.GetBits(5);                                  // frame_rate_extension_d
    return m_S.NextStartCode();
}

int StreamRewriter::GroupOfPicturesHeader() {
    m_S.GetBits(8); // group_start_code value
    ++m_Gops;
    m_GopStart = m_Pictures;
    if (m_Set.recalcTimeCodes) {
        m_S.PutBits(GopTimeCode(m_GopStart, m_Set.timeCodeRate, m_Set.dropFrame), 25);
    } else {
        m_S.GetBits(25); // time_code
    }
    m_S.GetBits(1); // closed_gop
    m_S.GetBits(1); // broken_link
    return m_S.NextStartCode();
}

int StreamRewriter::PictureHeader() {
    m_S.GetBits(8); // picture_start_code value
    m_TemporalReference = m_S.GetBits(10);
    uint32_t type = m_S.GetBits(3); // picture_coding_type
    // Repeated fields change how long each picture stays in the decoder's buffer, so a
    // constant-rate stream's vbv_delay values no longer hold: the pass marks every picture
    // as variable rate (0xFFFF), which a variable-rate stream carries anyway.
    if (m_Set.pulldown) {
        m_S.PutBits(kVariableRateVbvDelay, 16);
    } else {
        m_S.GetBits(16); // vbv_delay
    }
    if (type == 2 || type == 3) {
        m_S.GetBits(1); // full_pel_forward_vector
        m_S.GetBits(3); // forward_f_code
    }
    if (type == 3) {
        m_S.GetBits(1); // full_pel_backward_vector
        m_S.GetBits(3); // backward_f_code
    }
    while (m_S.ShowBits(1) == 1) {
        m_S.GetBits(1); // extra_bit_picture
        m_S.GetBits(8); // extra_information_picture
    }
    m_S.GetBits(1); // extra_bit_picture (0)
    return m_S.NextStartCode();
}

int StreamRewriter::PictureCodingExtension() {
    m_S.GetBits(8);                      // extension_start_code value
    m_S.GetBits(4);                      // extension_start_code_identifier, taken to be 8
    m_S.GetBits(16);                     // f_code[0][0] .. f_code[1][1]
    m_S.GetBits(2);                      // intra_dc_precision
    uint32_t structure = m_S.GetBits(2); // picture_structure
    int64_t n = m_GopStart + m_TemporalReference;
    int64_t p = n - 4 * (n / 4);
    int rff = CadenceRepeatFirstField(p);

    if (m_Set.fieldOrder == 1) {
        m_S.PutBits(1, 1); // top_field_first
    } else if (m_Set.fieldOrder == 2) {
        m_S.PutBits(0, 1);
    } else if (m_Set.pulldown) {
        m_S.PutBits(static_cast<uint32_t>(CadenceTopFieldFirst(p)), 1);
    } else {
        m_S.GetBits(1);
    }
    uint32_t frameDct = m_S.GetBits(5) >> 4; // frame_pred_frame_dct .. alternate_scan
    if (m_Set.pulldown) {
        m_S.PutBits(static_cast<uint32_t>(rff), 1); // repeat_first_field
    } else if (m_Set.stripRff) {
        m_S.PutBits(0, 1);
    } else {
        m_S.GetBits(1);
    }
    for (int field = 0; field < 2; ++field) { // chroma_420_type, progressive_frame
        if (m_Set.frameMode == 1) {
            m_S.PutBits(1, 1);
        } else if (m_Set.frameMode == 2) {
            m_S.PutBits(0, 1);
        } else if (m_Set.pulldown) {
            m_S.PutBits(static_cast<uint32_t>(rff), 1);
        } else {
            m_S.GetBits(1);
        }
    }
    ++m_Pictures;
    if (m_S.GetBits(1)) { // composite_display_flag
        m_S.GetBits(20);  // v_axis, field_sequence, sub_carrier, burst_amplitude, phase
    }
    if (int rc = m_S.NextStartCode(); rc != 0) {
        return rc;
    }
    // The cadence marks pictures as progressive frames that repeat a field, which the syntax
    // allows only for frame pictures coded with frame prediction and frame DCT.
    if (m_Set.pulldown && (structure != kFramePicture || frameDct != 1)) {
        m_RefusedPicture = m_Pictures;
        m_RefusedStructure = structure;
        m_RefusedFrameDct = frameDct;
        return kPulldownNotProgressive;
    }
    return 0;
}

int StreamRewriter::SkipUserData() {
    m_S.GetBits(8); // user_data_start_code value
    return m_S.SkipToPrefixByLookahead();
}

int StreamRewriter::SkipUnit() {
    m_S.GetBits(8);
    return m_S.NextStartCode();
}

int StreamRewriter::ExtensionAndUserDataOfSequence() {
    for (;;) {
        uint32_t v = NextValue();
        int rc = 0;
        if (v == kExtensionStartCode) {
            // Sequence display and scalable extensions are skipped whole; so is any other
            // identifier, which does not belong here.
            m_S.GetBits(8);
            m_S.GetBits(4); // extension_start_code_identifier
            rc = m_S.NextStartCode();
        } else if (v == kUserDataStartCode) {
            rc = SkipUserData();
        } else {
            return 0;
        }
        if (rc != 0) {
            return rc;
        }
    }
}

int StreamRewriter::ExtensionAndUserDataOfPicture() {
    for (;;) {
        uint32_t v = NextValue();
        int rc = 0;
        if (v == kExtensionStartCode) {
            rc = SkipUnit();
        } else if (v == kUserDataStartCode) {
            rc = SkipUserData();
        } else {
            return 0;
        }
        if (rc != 0) {
            return rc;
        }
    }
}

int StreamRewriter::PictureData() {
    // The first unit after the picture's headers is taken to be a slice.
    do {
        if (int rc = SkipUnit(); rc != 0) {
            return rc;
        }
    } while (NextValue() >= kSliceStartCodeFirst && NextValue() <= kSliceStartCodeLast);
    return 0;
}

int StreamRewriter::Picture() {
    if (NextValue() == kGroupStartCode) {
        if (int rc = GroupOfPicturesHeader(); rc != 0) {
            return rc;
        }
        while (NextValue() == kUserDataStartCode) {
            if (int rc = SkipUserData(); rc != 0) {
                return rc;
            }
        }
        // Only user data may follow a GOP header. An extension here would be parsed as the
        // picture header and the real picture header then rewritten as its coding extension,
        // so the run stops before touching it.
        if (NextValue() == kExtensionStartCode) {
            return kPulldownNextStartCode;
        }
    }
    if (int rc = PictureHeader(); rc != 0) {
        return rc;
    }
    if (m_Mpeg2) {
        if (int rc = PictureCodingExtension(); rc != 0) {
            return rc;
        }
        if (int rc = ExtensionAndUserDataOfPicture(); rc != 0) {
            return rc;
        }
    }
    return PictureData();
}

int StreamRewriter::Walk() {
    if (int rc = m_S.NextStartCode(); rc != 0) {
        return rc;
    }
    if (NextValue() != kSequenceHeaderCode) {
        return kPulldownNotVideoStream;
    }
    if (int rc = SequenceHeader(); rc != 0) {
        return rc;
    }
    m_Mpeg2 = NextValue() == kExtensionStartCode;
    if (m_Mpeg2) {
        if (int rc = SequenceExtension(); rc != 0) {
            return rc;
        }
    }
    do {
        if (int rc = ExtensionAndUserDataOfSequence(); rc != 0) {
            return rc;
        }
        uint32_t next = 0;
        do {
            if (int rc = Picture(); rc != 0) {
                return rc;
            }
            if (m_S.WriteFailed()) {
                return kPulldownOpenOutputFailed;
            }
            next = NextValue();
        } while (next == kPictureStartCode || next == kGroupStartCode);
        // Whatever ends a run of pictures other than the end code is taken to be the next
        // sequence header.
        if (next != kSequenceEndCode) {
            if (int rc = SequenceHeader(); rc != 0) {
                return rc;
            }
            if (m_Mpeg2) {
                if (int rc = SequenceExtension(); rc != 0) {
                    return rc;
                }
            }
        }
        if (m_Update) {
            m_Update(m_Pictures);
        }
    } while (NextValue() != kSequenceEndCode);
    m_S.GetBits(8); // sequence_end_code value
    return 0;
}

} // namespace pulldown
