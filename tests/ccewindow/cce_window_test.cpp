// FindCceWindow's window test and tries on a scripted window list, and on a real X server.
#include "platform/x11/x11_windows.h"
#include "run/cce_window.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::TopLevelWindow;
using platform::WindowId;
using run::FindCceWindow;
using run::IsCceWindowTitle;

extern char** environ;

namespace {

// A window list that changes from one visit to the next, as windows come and go.
class ScriptedWindows : public platform::TopLevelWindows {
public:
    explicit ScriptedWindows(std::vector<std::vector<TopLevelWindow>> visits)
        : m_Visits(std::move(visits)) {}
    std::vector<TopLevelWindow> List() override {
        ++visits;
        size_t k = std::min(static_cast<size_t>(visits - 1), m_Visits.size() - 1);
        return m_Visits[k];
    }
    bool RequestClose(WindowId) override { return false; }
    int visits = 0;

private:
    std::vector<std::vector<TopLevelWindow>> m_Visits;
};

} // namespace

TEST(CceWindow, TitleTest) {
    EXPECT_TRUE(IsCceWindowTitle("45% / Movie", "Movie"));
    EXPECT_FALSE(IsCceWindowTitle("/ Movie", "Movie"));
    EXPECT_TRUE(IsCceWindowTitle("x/ Movie", "Movie"));
    EXPECT_TRUE(IsCceWindowTitle("12% / Movie 2 - CCE SP", "Movie"));
    EXPECT_FALSE(IsCceWindowTitle("45% / Movi", "Movie"));
    EXPECT_FALSE(IsCceWindowTitle("45% /Movie", "Movie"));
    EXPECT_FALSE(IsCceWindowTitle("45% / movie", "Movie"));
    // "scoding" also counts, but not as the very start of the title.
    EXPECT_TRUE(IsCceWindowTitle("Transcoding", "Movie"));
    EXPECT_FALSE(IsCceWindowTitle("scoding", "Movie"));
    EXPECT_TRUE(IsCceWindowTitle("Xscoding", "Movie"));
    EXPECT_FALSE(IsCceWindowTitle("", "Movie"));
    // Only the first 259 characters of a title are read.
    std::string pad(250, 'a');
    EXPECT_TRUE(IsCceWindowTitle(pad + "a / Movie", "Movie"));   // 259 characters
    EXPECT_FALSE(IsCceWindowTitle(pad + "aa / Movie", "Movie")); // 260
    EXPECT_TRUE(IsCceWindowTitle(std::string(252, 'b') + "scoding", "Movie"));
    EXPECT_FALSE(IsCceWindowTitle(std::string(253, 'b') + "scoding", "Movie"));
}

TEST(CceWindow, TriesWaitFirstAndTheLastMatchOfAVisitWins) {
    std::vector<int> sleeps;
    auto sleep = [&](int ms) { sleeps.push_back(ms); };
    ScriptedWindows windows({
        {{1, "Terminal"}},
        {{1, "Terminal"}, {2, "Vantaq"}},
        {{3, "Transcoding"}, {4, "45% / Movie"}, {5, "Files"}},
    });
    WindowId found = 99;
    EXPECT_EQ(FindCceWindow(50, "Movie", windows, sleep, found), 3);
    EXPECT_EQ(found, 4u);
    EXPECT_EQ(windows.visits, 3);
    EXPECT_EQ(sleeps, (std::vector<int>{500, 500, 500}));

    ScriptedWindows twoMatches({{{7, "45% / Movie"}, {8, "CCE Transcoding"}}});
    EXPECT_EQ(FindCceWindow(1, "Movie", twoMatches, sleep, found), 1);
    EXPECT_EQ(found, 8u);
}

TEST(CceWindow, NothingFoundUsesEveryTryAndReturnsZero) {
    int sleeps = 0;
    auto sleep = [&](int ms) { sleeps += ms; };
    ScriptedWindows windows({{{1, "/ Movie"}, {2, "Editor"}}});
    WindowId found = 99;
    EXPECT_EQ(FindCceWindow(4, "Movie", windows, sleep, found), 0);
    EXPECT_EQ(found, platform::kNoWindow);
    EXPECT_EQ(windows.visits, 4);
    EXPECT_EQ(sleeps, 2000);

    found = 99;
    EXPECT_EQ(FindCceWindow(0, "Movie", windows, sleep, found), 0);
    EXPECT_EQ(windows.visits, 4);
    EXPECT_EQ(found, platform::kNoWindow);
    EXPECT_EQ(sleeps, 2000);
}

TEST(X11Windows, NoDisplayMeansNoWindows) {
    platform::X11TopLevelWindows windows(":4711");
    EXPECT_TRUE(windows.List().empty());
    EXPECT_FALSE(windows.RequestClose(1234));
}

namespace {

// An Xvfb server on a free display for the length of a test.
class Xvfb {
public:
    Xvfb() {
        if (::access("/usr/bin/Xvfb", X_OK) != 0) {
            return;
        }
        int fds[2];
        if (::pipe(fds) != 0) {
            return;
        }
        std::string fd = std::to_string(fds[1]);
        // -noreset: a server resets when its last client leaves and refuses connections
        // meanwhile, so a probe that connects and leaves would race the next client.
        const char* argv[] = {"Xvfb",     "-displayfd", fd.c_str(), "-nolisten",  "tcp",
                              "-noreset", "-screen",    "0",        "640x480x24", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        int spawned = ::posix_spawn(&m_Pid, "/usr/bin/Xvfb", &actions, nullptr,
                                    const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (spawned != 0) {
            m_Pid = -1;
            ::close(fds[0]);
            return;
        }
        // Xvfb writes its display number once it accepts clients.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        while (::poll(&p, 1, 10000) > 0) {
            char c;
            if (::read(fds[0], &c, 1) != 1 || c == '\n') {
                break;
            }
            number.push_back(c);
        }
        ::close(fds[0]);
        if (!number.empty()) {
            m_Name = ":" + number;
        }
    }
    ~Xvfb() {
        if (m_Pid > 0) {
            ::kill(m_Pid, SIGTERM);
            ::waitpid(m_Pid, nullptr, 0);
        }
    }
    const std::string& Name() const { return m_Name; }

private:
    pid_t m_Pid = -1;
    std::string m_Name;
};

Window MakeWindow(Display* display, const std::string& title, bool netWmName) {
    Window w = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 100, 50, 0, 0, 0);
    if (netWmName) {
        XChangeProperty(display, w, XInternAtom(display, "_NET_WM_NAME", False),
                        XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(title.data()),
                        static_cast<int>(title.size()));
    } else {
        XStoreName(display, w, title.c_str());
    }
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, w, &deleteWindow, 1);
    XMapWindow(display, w);
    return w;
}

} // namespace

TEST(X11Windows, FindsAndClosesARealWindow) {
    Xvfb server;
    if (server.Name().empty()) {
        VANTAQ_SKIP_OR_FAIL("Xvfb is not available");
    }
    Display* display = XOpenDisplay(server.Name().c_str());
    ASSERT_NE(display, nullptr);
    Window decoy = MakeWindow(display, "/ Movie", false);
    Window encoder = MakeWindow(display, "45% / Movie", true);
    Window other = MakeWindow(display, "Cinema Craft Encoder SP", false);
    XSync(display, False);

    platform::X11TopLevelWindows windows(server.Name());
    std::vector<TopLevelWindow> list = windows.List();
    std::map<WindowId, std::string> titles;
    for (const TopLevelWindow& w : list) {
        titles[w.id] = w.title;
    }
    EXPECT_EQ(titles[decoy], "/ Movie");
    EXPECT_EQ(titles[encoder], "45% / Movie");
    EXPECT_EQ(titles[other], "Cinema Craft Encoder SP");

    // The real wait, once.
    WindowId found = platform::kNoWindow;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(FindCceWindow(3, "Movie", windows, run::SleepMilliseconds, found), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(found, encoder);

    // With the encoder's window gone only the decoy is left, which does not match.
    XDestroyWindow(display, encoder);
    XSync(display, False);
    EXPECT_EQ(FindCceWindow(
                  2, "Movie", windows, [](int) {}, found),
              0);

    // The close request arrives as the window manager's WM_DELETE_WINDOW message.
    ASSERT_TRUE(windows.RequestClose(other));
    bool asked = false;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!asked && std::chrono::steady_clock::now() < deadline) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            asked = asked || (event.type == ClientMessage && event.xclient.window == other &&
                              static_cast<Atom>(event.xclient.data.l[0]) ==
                                  XInternAtom(display, "WM_DELETE_WINDOW", False));
        }
        ::usleep(10000);
    }
    EXPECT_TRUE(asked);
    EXPECT_FALSE(windows.RequestClose(encoder)); // destroyed
    XCloseDisplay(display);
}
