// Turns a parsed control list into the checked settings of one encode (what to write, from
// which frames, with which rate control and stream structure).
#pragma once

#include "ecl_list.h"

#include <cstdint>
#include <string>
#include <vector>

namespace enc {

enum class RateMode { Cbr, OnePassVbr, MultipassVbr };

// The largest video buffer (VBV) of MPEG-2 main profile at main level, in bits; DVD players
// have the same buffer.
inline constexpr int64_t kVbvBits = 1835008;
// The highest video bitrate a DVD allows, kbit/s.
inline constexpr int64_t kDvdMaxKbps = 9800;

struct EncodePlan {
    std::string title;
    std::string sourcePath;
    std::string videoPath; // vid_file0
    std::string vafPath;
    std::string audioPath;
    bool videoOut = false;
    bool vafOut = false;
    bool audioOut = false;

    int width = 0; // the coded picture, after halving
    int height = 0;
    int rateIndex = 0; // MPEG frame_rate_code 1..8
    int rateNum = 0;   // the frame rate of that code, as a fraction
    int rateDen = 1;
    bool dropFrame = false; // drop-frame GOP time codes (only meaningful at 29.97)

    RateMode mode = RateMode::Cbr;
    int passes = 1;      // video passes of a multipass encode, the analysis included
    int64_t avgKbps = 0; // the target the encoder aims at
    int64_t minKbps = 0; // 0: no floor
    int64_t maxKbps = 0; // the peak the stream may reach; also written as its bit_rate

    int gopM = 3;  // anchor distance: gopM - 1 B-pictures between anchors
    int gopN = 12; // pictures per GOP
    bool closedGops = false;
    bool progressive = true;
    bool topFirst = true;
    bool alternateScan = false;
    bool nonLinear = false;
    int intraDcBits = 8; // 8 to 11
    int aspectCode = 2;  // aspect_ratio_information: 1 square pels, 2 4:3, 3 16:9, 4 2.21:1
    bool mpeg1 = false;
    bool dvd = false;
    bool seqEndcode = false;
    // fit_picture=1: the source is scaled into the picture whole, padded to keep its display
    // aspect, and converted to the list's rate.
    bool fitPicture = false;

    int64_t encodeFirst = 0;            // the first source frame encoded
    int64_t encodeEnd = 0;              // one past the last source frame encoded
    int64_t listedFrames = 0;           // the source length the list states
    std::vector<int64_t> chapterFrames; // source frames that must start a closed GOP, ascending

    // create_new_vaf=1: a multipass encode always makes its own analysis.
    bool createNewVaf = false;
    // The settings an analysis depends on beyond the source and its range: every rate key of
    // the list (the two parts of the two-part method use different ones, and the analysis of
    // the first serves the second), the picture size, the frame rate and the GOP structure.
    std::string analysisSettings;

    int quality = 16; // quality_prec: search and decision effort, 1 (fastest) to 100 (best)
    int bias = 50;    // vbr_bias: how much the VBR rate follows difficulty, 0 to 100

    int audioKbps = 0;
    int sampleRate = 44100;

    // Adjustments and settings this encoder does not act on, one readable line each.
    std::vector<std::string> notes;
};

// Builds the plan of a parsed list. Returns false with a readable reason when a value is out
// of its range or the combination cannot be encoded (for example an empty frame range or a
// frame rate that MPEG cannot carry).
bool BuildPlan(const EclList& list, EncodePlan& plan, std::string& error);

// The bitrate (kbit/s) of an MPEG-1 Layer II bitrate index (1..14); 0 for other indexes.
int LayerTwoKbps(int index);

} // namespace enc
