// Fitting a source to a DVD frame: which sources a DVD carries as they are, and the picture,
// rate and aspect a source is encoded at when it is fitted.
#pragma once

#include <cstdint>
#include <string>

namespace source {

// A job's "Picture" choice, stored with the job; a job without the value keeps the source's.
enum PictureFit { kFitKeep = 0, kFitNtsc = 1, kFitPal = 2 };

// Whether a DVD carries a picture of this size at this rate (thousandths of a frame a second)
// as it is: 720, 704 or 352 wide by 480 (240 at 352) at 23.976 or 29.97, by 576 (288) at 25.
bool IsDvdPicture(int width, int height, int rateThousandths);

// The choice a new job gets: keep for a source a DVD carries as it is, else fit to the
// standard of the nearest rate (25 or 50: PAL; 23.976, 29.97 or 59.94: NTSC).
PictureFit DefaultPictureFit(int width, int height, int rateThousandths);

// The output of a fitted source.
struct DvdFit {
    int width = 720;
    int height = 480;
    int rateThousandths = 29970;
    int aspectCode = 2; // aspect_ratio_information: 2 4:3, 3 16:9
    // The part of the frame the source fills (the rest is black borders), centred.
    int activeWidth = 720;
    int activeHeight = 480;
    bool padded = false;
};

// The output of `fit` (NTSC or PAL) for a source of `width` x `height` shown at the display
// aspect darNum:darDen (0:0: square pixels) and `rateThousandths`: 720 wide (`halfWidth`: 352),
// 4:3 or 16:9 whichever the source's display aspect is nearer, the source scaled into it whole
// and padded, never stretched. 23.976 film stays 23.976 in NTSC; other rates become 29.97 or 25.
DvdFit FitToDvd(PictureFit fit, int width, int height, int darNum, int darDen, int rateThousandths,
                bool halfWidth = false);

// What the output is, as the window says it: "720x480 29.97 4:3, padded".
std::string DvdFitText(const DvdFit& fit);

// The frames `frames` at `fromThousandths` span at `toThousandths`, rounded.
int64_t FramesAtRate(int64_t frames, int fromThousandths, int toThousandths);

} // namespace source
