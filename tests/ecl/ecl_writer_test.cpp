// The ECL file of a job: the whole file for one job, and the lines that depend on the
// encoder release, the method, the source rate, the chapters and the output folder.
#include "cluster/job_description.h"
#include "ecl/ecl_writer.h"
#include "jobs/job_store.h"
#include "run/run_record.h"
#include "store/paths.h"
#include "support/test_support.h"
#include "templates/template_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

using namespace ecl;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TempStore;

namespace {

struct Fixture {
    TempStore store;
    TempDir dir;
    env::Settings settings;
    EclState state;
    SourceFacts facts{true, 720, 480, 30000, 1001, 1500};

    Fixture() {
        store.Store().WriteNumber(store::kHive, store::kRootPath, "EnableLogging", 0);
        templates::InitTemplates(store.Store());
    }

    jobs::JobRecord Job(int method) {
        jobs::JobRecord r;
        r.name = "Movie";
        r.input = dir.File("Movie.avi");
        r.templateKey = std::to_string(method);
        r.method = method;
        r.aspectRatio = 3;
        r.bitrateMin = 500;
        r.bitrateMax = 9000;
        r.bitrateAvg = 4500;
        r.qFactor = 41;
        r.bias = 25;
        r.passes = 4;
        r.quality = 20;
        r.startFrame = 0;
        r.endFrame = 1499;
        r.topFieldFirst = 1;
        r.progressive = 1;
        r.chapters = "0,1200,,2400,";
        return r;
    }

    std::string Write(const jobs::JobRecord& r, int code) {
        jobs::WriteJobRecord(store.Store(), 0, r);
        SourceFacts f = facts;
        std::string path = WriteEcl(
            store.Store(), 0, code, settings, [f](const std::string&) { return f; }, state);
        return path.empty() ? std::string() : ReadFile(path);
    }
};

bool Has(const std::string& text, const std::string& line) {
    return text.find("\r\n" + line + "\r\n") != std::string::npos;
}

} // namespace

TEST(EclWriter, WholeFileForAOnePassJobOnTheNewestEncoder) {
    Fixture f;
    std::string text = f.Write(f.Job(2), 5);
    std::string d = f.dir.Path();
    EXPECT_EQ(text, "; CCE SP Trial Version -- Encoder Control List\r\n\r\n[item]\r\n"
                    "title=Movie\r\nvid_out=1\r\nvaf_out=1\r\naud_out=0\r\naud_mode=0\r\n"
                    "vid_file0=" +
                        d + "/Movie.mpv\r\nvid_file1=" + d +
                        "/Movie.mpv\r\n"
                        "vaf_file=" +
                        d + "/Movie.vaf\r\naud_file=" + d +
                        "/Movie.mpa\r\n"
                        "file_focused=0\r\npacket_size=2048\r\ntimecode=0x0\r\ntc_ref_frm=0\r\n"
                        "width=720\r\nheight=480\r\nvideo_type=2\r\nframe_rate_idx=4\r\n"
                        "drop_frame=1\r\ncbr_brate=4500\r\nopv_q_factor=41\r\nvbr_bias=25\r\n"
                        "opv_brate_min=500\r\nopv_brate_max=9000\r\nvbr_brate_avg=4500\r\n"
                        "vbr_brate_min=500\r\nvbr_brate_max=9000\r\nvbr_pass=4\r\n"
                        "quality_prec=20\r\ncreate_new_vaf=1\r\npulldown_detect=0\r\n"
                        "letter_box=0\r\npanscan=0\r\ndither=0\r\ndither_max=8\r\nh_filter=0\r\n"
                        "h_filter_idx=8\r\nfix_vbv_delay=0\r\nqmat_idx=0\r\nuse_filter=0\r\n"
                        "filter_val=6\r\nseq_endcode=1\r\ndvd=0\r\nhalf_width=0\r\n"
                        "half_height=0\r\nuscc=0\r\nprogressive=1\r\nalternate_scan=0\r\n"
                        "non_linear=1\r\ntop_first=1\r\nlum_level=1\r\nintra_dc_prec=2\r\n"
                        "aspect_ratio=3\r\ngop_m=3\r\ngop_nm=4\r\ngop_hdr=12\r\nseq_hdr=1\r\n"
                        "all_closed_gop=1\r\nfix_gop_length=0\r\nmpeg1=0\r\nmpeg1_cps=0\r\n"
                        "samples_per_sec=44100\r\nstereo=2\r\nbrate_idx=7\r\ncrc=1\r\n\r\n"
                        "[file]\r\nname=" +
                        d +
                        "/Movie.avi\r\ntype=0\r\nframe_first=1500\r\n"
                        "frame_last=1500\r\nencode_first=0\r\nencode_last=1499\r\n"
                        "chapter=1200:\r\nchapter=2400:\r\n");
    EXPECT_EQ(f.state.m_OutputPath, d + "/Movie.mpv");
    EXPECT_EQ(f.state.m_SourceFrames, 1500);
    EXPECT_EQ(f.state.m_SourcePath, d + "/Movie.avi");
}

TEST(EclWriter, ReleaseDecidesTheOptionalLines) {
    Fixture f;
    std::string one = f.Write(f.Job(0), 1);
    EXPECT_EQ(one.rfind("; Cinema Craft Encoder SP -- Encoder Control List\r\n", 0), 0u);
    EXPECT_TRUE(Has(one, "vid_out=0"));
    EXPECT_TRUE(Has(one, "vmode=0"));
    EXPECT_TRUE(Has(one, "encode_mode=0"));
    EXPECT_TRUE(Has(one, "fast_mode=0"));
    for (const char* absent : {"aud_mode=", "tc_ref_frm=", "drop_frame=", "create_new_vaf=",
                               "qmat_idx=", "uscc=", "video_type="}) {
        EXPECT_EQ(one.find(absent), std::string::npos) << absent;
    }
    std::string two = f.Write(f.Job(0), 2);
    EXPECT_TRUE(Has(two, "video_type=2"));
    EXPECT_TRUE(Has(two, "fix_vbv_delay=0"));
    for (const char* absent : {"uscc=", "encode_mode=", "fast_mode=", "vmode="}) {
        EXPECT_EQ(two.find(absent), std::string::npos) << absent;
    }
    EXPECT_TRUE(Has(f.Write(f.Job(0), 3), "uscc=0"));
    EXPECT_TRUE(f.Write(f.Job(0), 0).empty());
    EXPECT_TRUE(f.Write(f.Job(0), 99).empty());
}

TEST(EclWriter, MethodAngleAndTimecode) {
    Fixture f;
    for (int method : {1, 3}) {
        std::string text = f.Write(f.Job(method), 5);
        EXPECT_TRUE(Has(text, "vbr_q_factor=60\r\nvbr_bias=30"));
        EXPECT_EQ(text.find("opv_q_factor"), std::string::npos);
    }
    EXPECT_TRUE(Has(f.Write(f.Job(1), 5), "video_type=4"));
    auto job = f.Job(2);
    job.angle = 1;
    f.store.Store().WriteNumber(store::kHive, std::string(store::kTemplatePath) + "\\2",
                                "All closed GOP", 0);
    f.store.Store().WriteNumber(store::kHive, std::string(store::kTemplatePath) + "\\2", "Timecode",
                                3600);
    std::string text = f.Write(job, 5);
    EXPECT_TRUE(Has(text, "all_closed_gop=1\r\nfix_gop_length=1"));
    EXPECT_TRUE(Has(text, "timecode=0xe10"));
}

TEST(EclWriter, FrameRateIndexAndDropFrame) {
    Fixture f;
    f.facts.rate = 25;
    f.facts.scale = 1;
    std::string pal = f.Write(f.Job(2), 5);
    EXPECT_TRUE(Has(pal, "frame_rate_idx=3\r\ndrop_frame=0"));
    f.facts.rate = 15;
    std::string odd = f.Write(f.Job(2), 5);
    EXPECT_EQ(odd.find("frame_rate_idx"), std::string::npos);
    EXPECT_TRUE(Has(odd, "drop_frame=0"));
    f.facts.rate = 24000;
    f.facts.scale = 1001;
    EXPECT_TRUE(Has(f.Write(f.Job(2), 5), "frame_rate_idx=1\r\ndrop_frame=1"));
    f.facts.scale = 0; // a broken source never divides by zero
    EXPECT_EQ(f.Write(f.Job(2), 5).find("frame_rate_idx"), std::string::npos);
}

TEST(EclWriter, ChaptersOutputFolderAndPaths) {
    Fixture f;
    auto job = f.Job(2);
    job.chapters = "0";
    EXPECT_EQ(f.Write(job, 5).find("chapter="), std::string::npos);
    f.settings.m_OutputSameDir = false;
    f.settings.m_OutputDirectory = "/elsewhere";
    std::string text = f.Write(f.Job(2), 5);
    EXPECT_TRUE(Has(text, "vid_file0=/elsewhere/Movie.mpv"));
    EXPECT_TRUE(Has(text, "aud_file=/elsewhere/Movie.mpa"));
    EXPECT_TRUE(testing_support::FileExists(f.dir.File("Movie.ecl")));
    // A folder that is no full path would depend on where the program runs: outputs stay
    // beside the source.
    f.settings.m_OutputDirectory = "relative/out";
    EXPECT_TRUE(Has(f.Write(f.Job(2), 5), "vid_file0=" + f.dir.File("Movie.mpv")));

    EXPECT_EQ(EclPathFor("/v.d/clip"), "/v.d/clip.ecl");
    EXPECT_EQ(EclPathFor("/v/clip.x.avs"), "/v/clip.x.ecl");
    EXPECT_EQ(ReplaceExtension("/v.d/clip", ".mpv"), "/v.d/clip.mpv");

    // A job with numbers of its own writes its own list and outputs, and the files named
    // after its list (the runner's log, the cluster's job description and log) follow.
    f.settings.m_OutputDirectory = "/elsewhere";
    jobs::SetJobNumber(f.store.Store(), 0, jobs::kEclNumber, 2);
    jobs::SetJobNumber(f.store.Store(), 0, jobs::kOutputNumber, 3);
    std::string path = WriteEcl(
        f.store.Store(), 0, 5, f.settings, [&f](const std::string&) { return f.facts; }, f.state);
    EXPECT_EQ(path, f.dir.File("Movie.2.ecl"));
    EXPECT_EQ(JobEclPath(f.store.Store(), 0), path);
    EXPECT_TRUE(Has(ReadFile(path), "vid_file0=/elsewhere/Movie.3.mpv"));
    EXPECT_TRUE(Has(ReadFile(path), "aud_file=/elsewhere/Movie.3.mpa"));
    EXPECT_EQ(f.state.m_OutputPath, "/elsewhere/Movie.3.mpv");
    EXPECT_EQ(run::RunnerOutputPath(path), f.dir.File("Movie.2.run.log"));
    EXPECT_EQ(cluster::DescriptionPathFor(path), f.dir.File("Movie.2.job.reg"));
    EXPECT_EQ(cluster::JobLogPathFor(path), f.dir.File("Movie.2.job.log"));
}

TEST(EclWriter, LineBreaksFromAnySourceAddNoLines) {
    Fixture f;
    std::string plain = f.Write(f.Job(2), 5);
    auto plainLines = std::count(plain.begin(), plain.end(), '\n');
    // Job values, the template it names, the output folder setting and the source path.
    auto job = f.Job(2);
    job.name = "Evil\r\nvid_out=0";
    job.chapters = "0,10\nvid_out=0,20";
    job.templateKey = "2\r\nuscc=1";
    ASSERT_TRUE(std::filesystem::create_directory(f.dir.File("in\nuscc=1")));
    job.input = f.dir.File("in\nuscc=1/Movie.avi");
    f.settings.m_OutputSameDir = false;
    f.settings.m_OutputDirectory = "/out\r\nuscc=1";
    std::string text = f.Write(job, 5);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), plainLines);
    EXPECT_TRUE(Has(text, "title=Evil  vid_out=0"));
    EXPECT_TRUE(Has(text, "chapter=10 vid_out=0:"));
    EXPECT_TRUE(Has(text, "vid_file0=/out  uscc=1/Movie.mpv"));
    EXPECT_TRUE(Has(text, "name=" + f.dir.Path() + "/in uscc=1/Movie.avi"));
    EXPECT_FALSE(Has(text, "uscc=1"));
    // The run looks for the stream where the line sends the encoder.
    EXPECT_EQ(f.state.m_OutputPath, "/out  uscc=1/Movie.mpv");
    // The list itself lies beside the source, in the folder of that name.
    EXPECT_TRUE(testing_support::FileExists(f.dir.File("in\nuscc=1/Movie.ecl")));
}

TEST(EclWriter, LongValuesAreUsedWholeAndNothingLandsInTheCurrentFolder) {
    Fixture f;
    std::string folder = f.dir.Path();
    while (folder.size() < 3000) {
        folder += "/" + std::string(200, 'd');
        ASSERT_TRUE(std::filesystem::create_directory(folder));
    }
    auto job = f.Job(2);
    job.input = folder + "/Movie.avi";
    job.name = std::string(5000, 'n');
    job.chapters = "0";
    for (int k = 1; k < 400; ++k) {
        job.chapters += "," + std::to_string(k * 1000);
    }
    std::string out = folder + "/" + std::string(250, 'o');
    ASSERT_TRUE(std::filesystem::create_directory(out));
    f.settings.m_OutputSameDir = false;
    f.settings.m_OutputDirectory = out;
    std::string text = f.Write(job, 5);
    EXPECT_TRUE(Has(text, "title=" + job.name));
    EXPECT_TRUE(Has(text, "name=" + job.input));
    EXPECT_TRUE(Has(text, "vid_file0=" + out + "/Movie.mpv"));
    EXPECT_TRUE(Has(text, "chapter=399000:"));
    EXPECT_TRUE(testing_support::FileExists(folder + "/Movie.ecl"));

    // A job whose source is no full path (missing, or relative) gets no list at all: it would
    // land in whatever folder the program runs in.
    TempDir cwd;
    std::string before = std::filesystem::current_path();
    std::filesystem::current_path(cwd.Path());
    for (const char* input : {"", "Movie.avi", "sub/Movie.avi"}) {
        job.input = input;
        jobs::WriteJobRecord(f.store.Store(), 0, job);
        EXPECT_EQ(WriteEcl(f.store.Store(), 0, 5, f.settings, nullptr, f.state), "") << input;
    }
    std::filesystem::current_path(before);
    EXPECT_TRUE(std::filesystem::is_empty(cwd.Path()));
}

TEST(EclWriter, AFifoOrDeviceInPlaceOfTheListIsRefusedAtOnce) {
    Fixture f;
    jobs::WriteJobRecord(f.store.Store(), 0, f.Job(2));
    auto write = [&f] { return WriteEcl(f.store.Store(), 0, 5, f.settings, nullptr, f.state); };
    const std::string fifo = f.dir.File("Movie.ecl");
    ASSERT_TRUE(testing_support::MakeFifo(fifo));
    std::string path = "unset";
    ASSERT_TRUE(testing_support::EndsWithoutWaitingOn(fifo, [&] { path = write(); }));
    EXPECT_EQ(path, "");
    // A reader on the FIFO changes nothing: it is still no file.
    int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(write(), "");
    char byte;
    EXPECT_EQ(::read(reader, &byte, 1), 0) << "nothing was written into the FIFO";
    ::close(reader);
}

TEST(EclWriter, MissingStoreKeysAndUnwritableFile) {
    Fixture f;
    EXPECT_TRUE(WriteEcl(f.store.Store(), 0, 5, f.settings, nullptr, f.state).empty());
    auto job = f.Job(2);
    job.input = "/nonexistent-folder/x.avi";
    jobs::WriteJobRecord(f.store.Store(), 0, job);
    EXPECT_TRUE(WriteEcl(f.store.Store(), 0, 5, f.settings, nullptr, f.state).empty());

    TempStore bare;
    jobs::WriteJobRecord(bare.Store(), 0, f.Job(2));
    std::string path = WriteEcl(bare.Store(), 0, 5, f.settings, nullptr, f.state);
    ASSERT_FALSE(path.empty()); // no templates: an empty file is left
    EXPECT_EQ(ReadFile(path), "");

    // A source that cannot be read gets no list (the encoder would see a picture of 0 x 0).
    std::remove(path.c_str());
    f.facts.opened = false;
    EXPECT_EQ(f.Write(f.Job(2), 5), "");
    EXPECT_TRUE(f.state.m_SourceUnreadable);
    EXPECT_FALSE(testing_support::FileExists(f.dir.File("Movie.ecl")));
}

TEST(EclWriter, GopHeaderOfAnyStoredGopWrapsAsThirtyTwoBitsDo) {
    // Template values come from imported files too; their product must never overflow.
    struct Case {
        uint32_t m, nm;
        const char* line;
    };
    const Case cases[] = {{3, 4, "gop_hdr=12"},
                          {65536, 65536, "gop_hdr=0"},
                          {65535, 65537, "gop_hdr=-1"},
                          {0x80000000u, 2, "gop_hdr=0"},
                          {0xFFFFFFFFu, 0xFFFFFFFFu, "gop_hdr=1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Fixture f;
        const std::string tpl = std::string(store::kTemplatePath) + "\\2";
        f.store.Store().WriteNumber(store::kHive, tpl, "GOP (M)", c.m);
        f.store.Store().WriteNumber(store::kHive, tpl, "GOP (N/M)", c.nm);
        EXPECT_TRUE(Has(f.Write(f.Job(2), 5), c.line));
    }
}

TEST(EclWriter, AJobForTheTwoThreePassIsCodedProgressiveWhateverItsFieldFlag) {
    Fixture f;
    struct Case {
        int telecide;
        int progressive;
        const char* line;
    };
    for (const Case& c : {Case{0, 0, "progressive=0"}, Case{0, 1, "progressive=1"},
                          Case{1, 0, "progressive=1"}, Case{1, 1, "progressive=1"}}) {
        auto job = f.Job(1);
        job.telecide = c.telecide;
        job.progressive = c.progressive;
        EXPECT_TRUE(Has(f.Write(job, 5), c.line))
            << "telecide " << c.telecide << ", progressive " << c.progressive;
    }
}
