// One job of the queue: the 22 values of its key, their names and the readers' capacities.
#pragma once

#include <cstddef>
#include <string>

namespace jobs {

// Value names, exactly as the job key stores them.
inline constexpr const char* kStatus = "Status";
inline constexpr const char* kName = "Name";
inline constexpr const char* kInput = "Input";
inline constexpr const char* kTemplate = "Template";
inline constexpr const char* kMethod = "Method";
inline constexpr const char* kTelecide = "Telecide";
inline constexpr const char* kAspectRatio = "Aspect Ratio";
inline constexpr const char* kBitrateMin = "Bitrate (min)";
inline constexpr const char* kBitrateMax = "Bitrate (max)";
inline constexpr const char* kBitrateAvg = "Bitrate (avg)";
inline constexpr const char* kQFactor = "Q factor";
inline constexpr const char* kBias = "Bias";
inline constexpr const char* kPasses = "Passes";
inline constexpr const char* kQuality = "Quality";
inline constexpr const char* kStartFrame = "StartFrame";
inline constexpr const char* kEndFrame = "EndFrame";
inline constexpr const char* kConvertToFilm = "ConvertToFilm";
inline constexpr const char* kTopFieldFirst = "TopFieldFirst";
inline constexpr const char* kProgressive = "Progressive";
inline constexpr const char* kAlternateScan = "Alternate Scan";
inline constexpr const char* kAngle = "Angle";
inline constexpr const char* kChapters = "Chapters";

// Values a job may hold beside its 22, which readers of the record ignore. Where jobs share a
// source's file stem, a number n >= 2 gives a job files of its own named "<stem>.<n>": its ECL
// beside the source (and with it the runner's log and the cluster's job description), and its
// outputs (stream, analysis and audio files). Without the value (0) the job uses the stem
// itself.
inline constexpr const char* kEclNumber = "ECL Number";
inline constexpr const char* kOutputNumber = "Output Number";
// The job's own Slurm resources, each over the cluster settings' default where set: the
// partition, the time limit as sbatch --time takes it, the CPUs of its task (0: not set).
inline constexpr const char* kSlurmPartition = "SlurmPartition";
inline constexpr const char* kSlurmTimeLimit = "SlurmTimeLimit";
inline constexpr const char* kSlurmCpus = "SlurmCpus";
// The job's "Picture" choice (source::PictureFit): 0 (or none) keeps the source's picture and
// rate, 1 fits it to an NTSC DVD frame, 2 to a PAL one.
inline constexpr const char* kPictureFit = "Picture Fit";

// Status texts, compared byte for byte.
inline constexpr const char* kStatusPending = "Pending";
inline constexpr const char* kStatusComplete = "Complete";
inline constexpr const char* kStatusError = "Error";

// Reader capacities in bytes, terminator included.
inline constexpr size_t kNameListCapacity = 1024;    // job list reload
inline constexpr size_t kNameRowCapacity = 260;      // one-row refresh and job start
inline constexpr size_t kEditorTextCapacity = 255;   // job editor: Name, Input
inline constexpr size_t kTemplateCapacity = 25;      // job editor: Template
inline constexpr size_t kStatusImageCapacity = 25;   // status image
inline constexpr size_t kStatusSearchCapacity = 255; // search for the next pending job
inline constexpr size_t kChaptersCapacity = 1024;    // job editor: Chapters
// No capacity: the value is read whole, however long.
inline constexpr size_t kWholeValue = static_cast<size_t>(-1);

// Status images of the job list; 1 marks the job being encoded.
// The status images of the job list; a finished job whose stream misses the DVD-Video its
// template asks for shows the warning.
enum JobImage {
    kImagePending = 0,
    kImageRunning = 1,
    kImageComplete = 2,
    kImageError = 3,
    kImageWarning = 4,
};

// The values of one job key. Missing values of a damaged store read as 0 or empty.
struct JobRecord {
    std::string status = kStatusPending;
    std::string name;
    std::string input;
    std::string templateKey; // one character of the template order string
    int method = 0;
    int telecide = 0;
    int aspectRatio = 0;
    int bitrateMin = 0;
    int bitrateMax = 0;
    int bitrateAvg = 0;
    int qFactor = 0;
    int bias = 0;
    int passes = 0;
    int quality = 0;
    int startFrame = 0;
    int endFrame = 0;
    int convertToFilm = 0;
    int topFieldFirst = 0;
    int progressive = 0;
    int alternateScan = 0;
    int angle = 0;
    std::string chapters;

    bool operator==(const JobRecord&) const = default;
};

} // namespace jobs
