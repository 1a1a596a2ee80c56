// vantaq-author: authors the queue's finished jobs into a DVD-Video folder and, on request, an
// image of it.
#include "disc_steps.h"
#include "menu_render.h"

#include "author/disc_capacity.h"
#include "author/disc_plan.h"
#include "author/dvdauthor_xml.h"
#include "child_process.h"
#include "ecl/ecl_writer.h"
#include "jobs/job_store.h"
#include "platform/frame_server.h"
#include "store/key_store.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kMade = 0;
constexpr int kCannot = 1;
constexpr int kUsage = 2;

const char kHelp[] =
    "Usage: vantaq-author [--iso FILE] [--jobs LIST] [--title TEXT] [--no-menu] [--dual-layer] "
    "DIR\n"
    "\n"
    "Authors the store's finished (\"Complete\") jobs, in queue order, into DIR/VIDEO_TS: one\n"
    "title per job with the job's chapter points, its stream as the job made it, and one\n"
    "48 kHz AC-3 audio track encoded from the source's audio over the job's frames.\n"
    "\n"
    "  --iso FILE    also write a DVD-Video image of the folder to FILE\n"
    "  --jobs LIST   only these jobs, by their positions in the list (1,3,5-7)\n"
    "  --title TEXT  the disc's title, on its menu and as the image's volume name\n"
    "  --no-menu     no title menu: the disc plays its titles one after the other\n"
    "  --dual-layer  check the size against 8.5 GB instead of 4.7 GB\n"
    "  -h, --help    show this text\n"
    "\n"
    "Needs ffmpeg, mplex (mjpegtools), dvdauthor and, for --iso, genisoimage (or xorriso,\n"
    "whose image has no DVD-Video layout).\n"
    "Exit status: 0 the disc is made, 1 a job cannot go on it or a step failed (nothing is\n"
    "left behind), 2 bad command line or unreadable store.\n";

struct Options {
    std::string dir;
    std::string iso;
    std::string jobs;
    std::string title = "Vantaq";
    bool menu = true;
    bool dualLayer = false;
};

int Usage(const std::string& message) {
    std::fprintf(stderr, "vantaq-author: %s\nTry 'vantaq-author --help'.\n", message.c_str());
    return kUsage;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "vantaq-author: %s\n", message.c_str());
    return kCannot;
}

void Step(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

// The volume name: upper-case letters, digits and underscores, at most 32.
std::string VolumeName(const std::string& title) {
    std::string name;
    for (char c : title) {
        if (name.size() == 32) {
            break;
        }
        name +=
            std::isalnum(static_cast<unsigned char>(c)) ? static_cast<char>(std::toupper(c)) : '_';
    }
    return name.empty() ? "VANTAQ" : name;
}

// The work and half-made folders beside the disc; removed whatever happens.
struct WorkFolders {
    fs::path work;
    fs::path part;
    std::string isoPart;
    fs::path createdDir; // the disc's folder when this run made it
    ~WorkFolders() {
        std::error_code ec;
        fs::remove_all(work, ec);
        fs::remove_all(part, ec);
        if (!isoPart.empty()) {
            fs::remove(isoPart, ec);
        }
        // A folder made for a disc that was not made goes again.
        if (!createdDir.empty() && fs::is_empty(createdDir, ec)) {
            fs::remove(createdDir, ec);
        }
    }
};

int Author(const Options& o) {
    store::KeyStore store;
    if (!store.Open(store::KeyStore::DefaultPath())) {
        std::fprintf(stderr, "vantaq-author: cannot open the store: %s\n",
                     store.LastError().c_str());
        return kUsage;
    }
    std::vector<int> positions;
    std::string error;
    if (!o.jobs.empty() && !author::ParseJobList(o.jobs, jobs::JobCount(store), positions, error)) {
        return Usage("--jobs: " + error);
    }
    Step("Checking the jobs...");
    std::vector<author::DiscTitle> titles;
    if (!author::PlanDisc(store, author::ReadOutputSettings(store), positions, titles, error)) {
        return Fail(error + " (nothing written)");
    }
    std::vector<std::string> tools = {"ffmpeg", "ffprobe", "mplex", "dvdauthor"};
    if (o.menu) {
        tools.push_back("spumux");
    }
    // genisoimage lays the image out for DVD-Video (-dvd-video); this xorriso's mkisofs
    // emulation has no such option, so without genisoimage the image is a plain ISO 9660 one.
    const bool genisoimage = author_tool::HaveTool("genisoimage");
    if (!o.iso.empty() && !genisoimage) {
        tools.push_back("xorriso");
    }
    for (const std::string& tool : tools) {
        if (!author_tool::HaveTool(tool)) {
            return Fail(tool + " is not installed: install the package " +
                        author_tool::PackageOf(tool) + " (nothing written)");
        }
    }
    const fs::path dir = o.dir;
    if (fs::exists(dir / "VIDEO_TS")) {
        return Fail(dir.string() + " already holds a VIDEO_TS folder (nothing written)");
    }

    // The audio of each title, and the size check before anything is written. A title's
    // audio is the job's own file when it is at 48 kHz, else the source's, encoded.
    std::error_code ec;
    std::vector<int> channels(titles.size(), 0);
    std::vector<bool> useOwn(titles.size(), false);
    uint64_t streamBytes = 0;
    uint64_t audioBytes = 0;
    double seconds = 0;
    for (size_t i = 0; i < titles.size(); ++i) {
        int rate = 0;
        if (!titles[i].ownAudio.empty() &&
            author_tool::ProbeAudio(titles[i].ownAudio, channels[i], rate, error) &&
            channels[i] > 0 && rate == 48000) {
            useOwn[i] = true;
            audioBytes += fs::file_size(titles[i].ownAudio, ec);
        } else if (!author_tool::ProbeAudio(titles[i].source, channels[i], rate, error)) {
            return Fail("job " + std::to_string(titles[i].position + 1) + " \"" + titles[i].name +
                        "\": " + error + " (nothing written)");
        } else if (channels[i] > 0) {
            audioBytes += author::AudioBytes(titles[i].seconds, channels[i] >= 6 ? 448 : 192);
        }
        streamBytes += titles[i].streamBytes;
        seconds += titles[i].seconds;
    }
    std::string full = author::CapacityProblem(streamBytes, audioBytes, seconds, o.dualLayer);
    if (!full.empty()) {
        return Fail(full + " (nothing written)");
    }

    WorkFolders folders;
    if (fs::create_directories(dir, ec)) {
        folders.createdDir = dir;
    }
    folders.work = dir / ".vantaq-author.work";
    folders.part = dir / ".vantaq-author.part";
    fs::remove_all(folders.work, ec);
    fs::remove_all(folders.part, ec);
    if (!fs::create_directories(folders.work, ec)) {
        return Fail("cannot create " + folders.work.string() + ": " + ec.message());
    }
    const std::string programDir = platform::RunningProgramFolder();
    std::vector<author::XmlTitle> xmlTitles;
    for (size_t i = 0; i < titles.size(); ++i) {
        const author::DiscTitle& t = titles[i];
        const std::string who = "job " + std::to_string(t.position + 1) + " \"" + t.name + "\"";
        const std::string n = std::to_string(i + 1);
        std::vector<std::string> mux = {
            "mplex", "-f", "8", "-o", (folders.work / ("title" + n + ".mpg")).string(), t.stream};
        if (useOwn[i]) {
            Step("Title " + n + " (" + who + "): the job's own 48 kHz audio " + t.ownAudio);
            mux.push_back(t.ownAudio);
        } else if (channels[i] > 0) {
            ecl::SourceFacts facts = ecl::ReadSourceFacts(t.source, programDir);
            if (!facts.opened || facts.rate == 0 || facts.scale == 0) {
                return Fail(who + ": its source " + t.source + " cannot be read");
            }
            const double start = static_cast<double>(t.startFrame) * facts.scale / facts.rate;
            const std::string audio = (folders.work / ("title" + n + ".ac3")).string();
            Step("Title " + n + " (" + who + "): encoding the audio to 48 kHz AC-3...");
            if (!author_tool::EncodeTitleAudio(t.source, start, t.seconds, channels[i], audio,
                                               error)) {
                return Fail(who + ": " + error);
            }
            mux.push_back(audio);
        } else {
            Step("Title " + n + " (" + who + "): the source has no audio, the title has none");
        }
        Step("Title " + n + ": muxing with mplex...");
        if (!author_tool::RunTool(mux, error)) {
            return Fail(who + ": " + error);
        }
        xmlTitles.push_back({mux[4], t.chapters});
    }

    const bool pal = titles.front().system == "PAL";
    const std::string format = pal ? "pal" : "ntsc";
    std::string menuMpg;
    if (o.menu) {
        Step("Drawing the title menu...");
        std::vector<std::string> labels;
        for (const author::DiscTitle& t : titles) {
            const int s = static_cast<int>(t.seconds + 0.5);
            char length[32];
            std::snprintf(length, sizeof length, "%d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
            labels.push_back(std::to_string(labels.size() + 1) + ".  " + t.name + "   " + length);
        }
        const std::vector<author::MenuButton> buttons =
            author::MenuButtons(static_cast<int>(titles.size()), 720, pal ? 576 : 480);
        const std::string still = (folders.work / "menu.png").string();
        const std::string highlight = (folders.work / "highlight.png").string();
        const std::string plain = (folders.work / "menu-plain.mpg").string();
        const std::string spu = (folders.work / "menu.spumux.xml").string();
        menuMpg = (folders.work / "menu.mpg").string();
        if (!author_tool::RenderMenu(o.title, labels, buttons, 720, pal ? 576 : 480, still,
                                     highlight, error) ||
            !author_tool::EncodeMenuVideo(still, pal, plain, error)) {
            return Fail("the title menu: " + error);
        }
        std::ofstream(spu) << author::SpumuxXml(highlight, buttons);
        if (!author_tool::RunTool({"spumux", "-s", "0", spu}, error, plain, menuMpg)) {
            return Fail("the title menu: " + error);
        }
    }
    auto discXml = [&](const std::string& dest) {
        return o.menu ? author::DvdAuthorMenuXml(dest, format, menuMpg, xmlTitles)
                      : author::DvdAuthorXml(dest, format, xmlTitles);
    };
    const std::string xmlWork = (folders.work / "vantaq-author.xml").string();
    {
        std::ofstream xml(xmlWork);
        xml << discXml(folders.part.string());
        if (!xml.flush()) {
            return Fail("cannot write " + xmlWork);
        }
    }
    Step("Authoring " + std::to_string(titles.size()) + " titles with dvdauthor...");
    if (!author_tool::RunTool({"dvdauthor", "-x", xmlWork}, error)) {
        return Fail(error);
    }
    if (!o.iso.empty()) {
        folders.isoPart = o.iso + ".part";
        std::vector<std::string> image = {"genisoimage", "-quiet", "-dvd-video"};
        if (!genisoimage) {
            Step("genisoimage is not installed (package genisoimage): the image gets no "
                 "DVD-Video layout");
            image = {"xorriso", "-as", "mkisofs", "-quiet", "-iso-level", "1"};
        }
        Step("Writing the image " + o.iso + " with " + image[0] + "...");
        for (const std::string& arg : {std::string("-V"), VolumeName(o.title), std::string("-o"),
                                       folders.isoPart, folders.part.string()}) {
            image.push_back(arg);
        }
        if (!author_tool::RunTool(image, error)) {
            return Fail(error);
        }
    }
    fs::rename(folders.part / "VIDEO_TS", dir / "VIDEO_TS", ec);
    if (ec) {
        return Fail("cannot move the disc into " + (dir / "VIDEO_TS").string() + ": " +
                    ec.message());
    }
    // The XML as it was used, beside the disc, with the folder it names now being DIR.
    {
        std::ofstream xml(dir / "vantaq-author.xml");
        xml << discXml(dir.string());
    }
    if (!o.iso.empty()) {
        fs::rename(folders.isoPart, o.iso, ec);
        if (ec) {
            return Fail("cannot rename " + folders.isoPart + " to " + o.iso + ": " + ec.message());
        }
        folders.isoPart.clear();
    }
    Step("Done: " + std::to_string(titles.size()) + " titles in " + (dir / "VIDEO_TS").string() +
         (o.iso.empty() ? "" : " and " + o.iso));
    return kMade;
}

} // namespace

int main(int argc, char** argv) {
    enc::InstallSignalForwarding(5);
    Options o;
    std::vector<std::string> dirs;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--iso" || arg == "--jobs" || arg == "--title") {
            std::string& into = arg == "--iso" ? o.iso : arg == "--jobs" ? o.jobs : o.title;
            if (!value(into) || into.empty()) {
                return Usage(arg + " needs a value");
            }
        } else if (arg == "--no-menu") {
            o.menu = false;
        } else if (arg == "--dual-layer") {
            o.dualLayer = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option " + arg);
        } else {
            dirs.push_back(arg);
        }
    }
    if (dirs.size() != 1) {
        return Usage(dirs.empty() ? "missing DIR" : "too many folders");
    }
    o.dir = dirs[0];
    return Author(o);
}
