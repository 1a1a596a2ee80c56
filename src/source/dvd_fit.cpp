#include "source/dvd_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace source {

namespace {

bool IsNtscRate(int thousandths) {
    return thousandths == 23976 || thousandths == 29970;
}

// An even size, never below 2: a picture of absurd shape still fills a line of the frame.
int EvenDown(double v) {
    return std::max(2, static_cast<int>(std::lround(v)) & ~1);
}

} // namespace

bool IsDvdPicture(int width, int height, int rateThousandths) {
    const bool ntsc = IsNtscRate(rateThousandths);
    if (!ntsc && rateThousandths != 25000) {
        return false;
    }
    const int full = ntsc ? 480 : 576;
    if (width == 720 || width == 704 || width == 352) {
        return height == full || (width == 352 && height == full / 2);
    }
    return false;
}

PictureFit DefaultPictureFit(int width, int height, int rateThousandths) {
    if (IsDvdPicture(width, height, rateThousandths)) {
        return kFitKeep;
    }
    // NTSC's rates are film's 23.976, video's 29.97 and its field rate 59.94; PAL's are 25 and
    // its field rate 50.
    int best = 0;
    for (int rate : {23976, 25000, 29970, 50000, 59940}) {
        if (best == 0 || std::abs(rateThousandths - rate) < std::abs(rateThousandths - best)) {
            best = rate;
        }
    }
    return best == 25000 || best == 50000 ? kFitPal : kFitNtsc;
}

DvdFit FitToDvd(PictureFit fit, int width, int height, int darNum, int darDen, int rateThousandths,
                bool halfWidth) {
    DvdFit out;
    const bool pal = fit == kFitPal;
    out.width = halfWidth ? 352 : 720;
    out.height = pal ? 576 : 480;
    out.rateThousandths = pal ? 25000 : rateThousandths == 23976 ? 23976 : 29970;
    double dar = darNum > 0 && darDen > 0 ? static_cast<double>(darNum) / darDen
                 : height > 0             ? static_cast<double>(width) / height
                                          : 4.0 / 3.0;
    // 4:3 or 16:9 by the smaller border: the boundary is their geometric mean.
    const double wide = 16.0 / 9.0;
    const double narrow = 4.0 / 3.0;
    const bool sixteenNine = dar >= std::sqrt(wide * narrow);
    out.aspectCode = sixteenNine ? 3 : 2;
    const double frameDar = sixteenNine ? wide : narrow;
    out.activeWidth = out.width;
    out.activeHeight = out.height;
    if (dar > frameDar * 1.001) {
        out.activeHeight = EvenDown(out.height * frameDar / dar);
    } else if (dar < frameDar / 1.001) {
        out.activeWidth = EvenDown(out.width * dar / frameDar);
    }
    out.padded = out.activeWidth != out.width || out.activeHeight != out.height;
    return out;
}

std::string DvdFitText(const DvdFit& fit) {
    const char* rate = fit.rateThousandths == 23976   ? "23.976"
                       : fit.rateThousandths == 25000 ? "25"
                                                      : "29.97";
    return std::to_string(fit.width) + "x" + std::to_string(fit.height) + " " + rate +
           (fit.aspectCode == 3 ? " 16:9" : " 4:3") + (fit.padded ? ", padded" : "");
}

int64_t FramesAtRate(int64_t frames, int fromThousandths, int toThousandths) {
    if (fromThousandths <= 0 || fromThousandths == toThousandths) {
        return frames;
    }
    return std::llround(static_cast<double>(frames) * toThousandths / fromThousandths);
}

} // namespace source
