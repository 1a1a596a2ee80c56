// Judging ffmpeg's multipass planning from the analysis log.
#include "rate_fit.h"

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace enc {

namespace {

// The number after "key:" in a pass log line, or -1 when the key is missing.
double Field(const std::string& line, const char* key) {
    const std::string tag = std::string(" ") + key + ":";
    size_t at = line.find(tag);
    if (at == std::string::npos) {
        return -1;
    }
    return std::atof(line.c_str() + at + tag.size());
}

} // namespace

int CoarsestQuantiser(bool nonLinear) {
    return nonLinear ? 28 : 31;
}

double CoarsestMeanKbps(const std::string& logPath, int qmax, int rateNum, int rateDen,
                        int64_t& frames) {
    frames = 0;
    std::ifstream in(logPath);
    if (!in || rateNum <= 0 || rateDen <= 0 || qmax <= 0) {
        return -1;
    }
    const double coarsest = qmax * kLambdaPerQuantiser;
    double bits = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("in:", 0) != 0) {
            continue;
        }
        const double type = Field(line, "type");
        const double q = Field(line, "q");
        const double itex = Field(line, "itex");
        const double ptex = Field(line, "ptex");
        const double mv = Field(line, "mv");
        const double misc = Field(line, "misc");
        if (q <= 0 || itex < 0 || ptex < 0 || mv < 0 || misc < 0) {
            return -1;
        }
        // ffmpeg's model: texture bits fall in proportion to the quantiser; motion vectors and
        // headers stay.
        const double limit = type == 1 ? coarsest * 0.8 : type == 3 ? coarsest * 1.25 : coarsest;
        bits += q * (itex + ptex + 1) / limit + mv + misc;
        ++frames;
    }
    if (frames == 0) {
        return -1;
    }
    const double seconds = static_cast<double>(frames) * rateDen / rateNum;
    return bits / seconds / 1000.0;
}

MultipassFit FitMultipass(double coarsestKbps, int64_t avgKbps, int64_t minKbps) {
    MultipassFit fit;
    if (coarsestKbps < 0) {
        return fit; // nothing known: ffmpeg reports whatever goes wrong itself
    }
    const double usable = 0.9 * static_cast<double>(avgKbps);
    fit.planFits = coarsestKbps <= usable;
    fit.floorFits = fit.planFits && coarsestKbps + static_cast<double>(minKbps) <= usable;
    return fit;
}

} // namespace enc
