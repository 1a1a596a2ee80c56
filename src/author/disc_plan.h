// What goes on a DVD-Video disc made from the queue: one title per finished job, in order,
// each with its stream, chapter times and the source range its audio comes from.
#pragma once

#include "env/settings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace store {
class KeyStore;
}

namespace author {

struct DiscTitle {
    int position = -1;    // the job's position in the queue (0-based)
    std::string name;     // the job's name
    std::string source;   // the job's source video
    std::string stream;   // NAME.mpv.m2v after the 2:3 pass, else NAME.mpv
    std::string ownAudio; // NAME.mpa when the encoder wrote one, else ""
    std::string chapters; // "0:00:00.000,..." for dvdauthor, "" for a single chapter
    std::string system;   // "NTSC" or "PAL"
    int startFrame = 0;   // the job's first source frame
    uint64_t streamBytes = 0;
    double seconds = 0; // the stream's length, repeated fields counted
};

// Parses "1,3,4-6" (positions as the job list shows them, from 1) into 0-based positions in
// the order given. False (and why) for anything else or a position outside 1..count.
bool ParseJobList(const std::string& text, int count, std::vector<int>& positions,
                  std::string& error);

// Plans the titles of the jobs at `positions`, or of every "Complete" job in queue order when
// `positions` is empty. A job that cannot go on the disc fails the plan: `error` names it and
// says why (not finished, no stream, not DVD-Video legal by its stream report, or NTSC and PAL
// mixed). Nothing is written.
bool PlanDisc(store::KeyStore& store, const env::Settings& settings,
              const std::vector<int>& positions, std::vector<DiscTitle>& titles,
              std::string& error);

} // namespace author

namespace author {
// The output folder settings as stored (OutputSameDir, OutputDirectory), the defaults for
// missing values: where the jobs' streams are.
env::Settings ReadOutputSettings(store::KeyStore& store);
} // namespace author
