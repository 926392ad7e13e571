// The velmora program end to end: a real window on an X server of its own
// (Xvfb), real JACK MIDI ports, a real peer client playing into it, and the
// user's mouse (xdotool) closing it through its Power button.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <thread>

#include <unistd.h>

#include "jack_peer.h"
#include "support/child_process.h"
#include "support/device_listing.h"

using velmora::jacktest::JackPeer;
using velmora::testing::ChildProcess;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::string kVelmora = VELMORA_PROGRAM;
const std::string kCli = VELMORA_CLI;
const std::string kXvfb = XVFB_PROGRAM;
const std::string kXdotool = XDOTOOL_PROGRAM;

// The settings file as the program writes it with these devices and every
// other setting at its default: the eleven lines, then the devices' names.
std::string DefaultSettings(int midiIn, int midiOut, const std::string& inName,
                            const std::string& outName) {
    return "[Velmora]\r\n[Devices]\r\nMidiIn=" + std::to_string(midiIn) +
           "\r\nMidiOut=" + std::to_string(midiOut) +
           "\r\nMidiThru=1\r\n[Preference]\r\nActiveSenseLED=1\r\n"
           "AfterTouchMonitorFilter=0\r\nJumpData=1\r\nJumpSysex=1\r\nClearSysex=0\r\n"
           "[More]\r\nMidiInName=" +
           inName + "\r\nMidiOutName=" + outName + "\r\n";
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

using velmora::testing::DeviceNumber;

// Runs a tool to its end; its standard output, or nothing when it failed.
std::optional<std::string> RunTool(std::vector<std::string> argv) {
    ChildProcess tool(std::move(argv));
    if (tool.Wait(20s) != 0) {
        return std::nullopt;
    }
    return tool.Output();
}

// A virtual X server for this test only, on the first free display number
// from one this process picks (away from the low numbers that desktops and
// other tools take); DISPLAY names it while it runs.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        const int first = 100 + static_cast<int>(getpid() % 400);
        for (int n = first; n < first + 40 && display_.empty(); ++n) {
            if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) {
                continue;
            }
            auto server = std::make_unique<ChildProcess>(
                std::vector<std::string>{kXvfb, ":" + std::to_string(n), "-displayfd", "1",
                                         "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
            // The number comes on standard output once the server takes clients;
            // a server whose display is taken ends at once.
            const auto until = std::chrono::steady_clock::now() + 20s;
            while (std::chrono::steady_clock::now() < until) {
                if (server->Output().find('\n') != std::string::npos) {
                    display_ = ":" + std::to_string(n);
                    break;
                }
                if (server->Wait(50ms) != -1) {
                    break;
                }
            }
            if (display_.empty()) {
                errors_ += server->Errors();
                continue;
            }
            server_ = std::move(server);
            setenv("DISPLAY", display_.c_str(), 1);
        }
    }
    ~VirtualDisplay() {
        if (server_) {
            server_->Signal(SIGTERM);
            server_->Wait(10s);
        }
        unsetenv("DISPLAY");
    }
    bool Running() const { return !display_.empty(); }
    // What the server said (or the servers that could not start).
    std::string Errors() { return server_ ? display_ + ": " + server_->Errors() : errors_; }

    // The id of a shown window called " Velmora" whose size is `size` ("WxH"),
    // waiting for it up to 20 s.
    std::string WaitForWindow(const std::string& size) {
        const auto until = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < until) {
            const auto ids = RunTool({kXdotool, "search", "--onlyvisible", "--name", "^ Velmora$"});
            std::istringstream lines(ids.value_or(""));
            std::string id;
            while (std::getline(lines, id)) {
                const auto geometry = RunTool({kXdotool, "getwindowgeometry", id});
                if (geometry && geometry->find("Geometry: " + size) != std::string::npos) {
                    return id;
                }
            }
            std::this_thread::sleep_for(100ms);
        }
        return {};
    }

    // A left click at (x, y) inside the window, as a user's mouse gives it.
    bool Click(const std::string& window, int x, int y) {
        return RunTool({kXdotool, "mousemove", "--window", window, "--sync", std::to_string(x),
                        std::to_string(y), "click", "1"})
            .has_value();
    }

  private:
    std::unique_ptr<ChildProcess> server_;
    std::string display_;
    std::string errors_;
};

// The program copied into a folder of its own, so that the settings file it
// writes beside itself belongs to this test alone.
class ProgramCopy {
  public:
    ProgramCopy() {
        std::string pattern = (fs::temp_directory_path() / "velmora-e2e-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            folder_ = pattern;
            fs::copy_file(kVelmora, Program());
        }
    }
    ~ProgramCopy() {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string Program() const { return (folder_ / "velmora").string(); }
    fs::path Settings() const { return folder_ / "Velmora.ini"; }

  private:
    fs::path folder_;
};

class VelmoraWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        if (kXvfb.empty() || kXdotool.empty()) {
            GTEST_SKIP() << "Xvfb and xdotool are needed (scripts/deps installs them)";
        }
        unsetenv("QT_QPA_PLATFORM"); // the X server's windows
        display_ = std::make_unique<VirtualDisplay>();
        ASSERT_TRUE(display_->Running()) << display_->Errors();
    }

    // Clicks the Power button picture (35 x 14 at 16, 408) of the main window.
    void PowerOff(const std::string& window, ChildProcess& velmora, int expectedStatus = 0) {
        ASSERT_TRUE(display_->Click(window, 16 + 17, 408 + 7));
        EXPECT_EQ(velmora.Wait(20s), expectedStatus) << velmora.Errors();
    }

    ProgramCopy copy_;
    std::unique_ptr<VirtualDisplay> display_;
};

} // namespace

// The port of Velmora's (JACK client "Velmora in" or "Velmora out", with
// "-01" and so on when other programs took the name first) that is connected
// to the peer; empty when none is within `timeout`.
std::string ConnectedVelmoraPort(JackPeer& peer, bool input, std::chrono::milliseconds timeout) {
    const std::string pattern = input ? "^Velmora in(-[0-9]+)?:in$" : "^Velmora out(-[0-9]+)?:out$";
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
        for (const std::string& port : peer.Ports(pattern)) {
            if (input ? peer.WaitConnected(peer.OutPort(), port, 50ms)
                      : peer.WaitConnected(port, peer.InPort(), 50ms)) {
                return port;
            }
        }
        std::this_thread::sleep_for(100ms);
    }
    return {};
}

TEST_F(VelmoraWindow, ListensToAJackPeerPassesItThruAndClosesByItsPowerButton) {
    std::string error;
    auto peer = JackPeer::Open("keys", &error);
    ASSERT_TRUE(peer) << error;

    // Devices are kept by name: point the program at the peer's ports, which
    // other JACK clients coming and going do not move.
    std::ofstream(copy_.Settings(), std::ios::binary)
        << "[Devices]\r\nMidiInName=" << peer->OutPort() << "\r\nMidiOutName=" << peer->InPort()
        << "\r\n";
    auto velmora = std::make_unique<ChildProcess>(
        std::vector<std::string>{copy_.Program(), "--midi-api", "jack"});
    const std::string window = display_->WaitForWindow("638x454");
    ASSERT_FALSE(window.empty()) << velmora->Errors() << display_->Errors();
    // Its first activation opens the peer's ports as its devices.
    ASSERT_FALSE(ConnectedVelmoraPort(*peer, true, 20s).empty()) << velmora->Errors();
    ASSERT_FALSE(ConnectedVelmoraPort(*peer, false, 20s).empty()) << velmora->Errors();

    // Thru is on: each note comes back once the window has taken it (the
    // input waits for the window before it takes the next one).
    const std::vector<std::vector<std::uint8_t>> notes{
        {0x90, 0x3C, 0x64}, {0x80, 0x3C, 0x40}, {0xB0, 0x07, 0x64}, {0x93, 0x40, 0x20}};
    for (const auto& note : notes) {
        ASSERT_TRUE(peer->Send(note));
    }
    ASSERT_TRUE(peer->WaitForEvents(notes.size(), 20s)) << velmora->Errors();
    EXPECT_EQ(peer->Received(), notes);
    // A dump is listed, not passed on; the next note is.
    const std::vector<std::uint8_t> dump{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    ASSERT_TRUE(peer->Send(dump));
    ASSERT_TRUE(peer->Send({0x90, 0x40, 0x01}));
    ASSERT_TRUE(peer->WaitForEvents(notes.size() + 1, 20s));
    EXPECT_EQ(peer->Received().back(), (std::vector<std::uint8_t>{0x90, 0x40, 0x01}));

    PowerOff(window, *velmora);
    const auto listing = RunTool({kCli, "list", "--api", "jack"});
    ASSERT_TRUE(listing);
    const int in = DeviceNumber(*listing, "Inputs", peer->OutPort());
    const int out = DeviceNumber(*listing, "Outputs", peer->InPort());
    EXPECT_EQ(ReadFile(copy_.Settings()),
              DefaultSettings(in, out, peer->OutPort(), peer->InPort()));
    EXPECT_EQ(peer->LostEvents(), 0u);
}

TEST_F(VelmoraWindow, WithoutAMidiServiceOffersTheDemoInItsDialog) {
    // A JACK server that does not run.
    const std::string server = "velmora-e2e-none-" + std::to_string(getpid());
    const char* previous = std::getenv("JACK_DEFAULT_SERVER");
    const std::string kept = previous ? previous : "";
    setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    struct Restore {
        std::string value;
        bool had;
        ~Restore() {
            had ? setenv("JACK_DEFAULT_SERVER", value.c_str(), 1) : unsetenv("JACK_DEFAULT_SERVER");
        }
    } restore{kept, previous != nullptr};

    // The dialog's third button, "Quit", ends the program before any window.
    {
        ChildProcess velmora({copy_.Program(), "--midi-api", "jack"});
        const std::string dialog = display_->WaitForWindow("438x172");
        ASSERT_FALSE(dialog.empty()) << velmora.Errors() << display_->Errors();
        ASSERT_TRUE(display_->Click(dialog, 328 + 17, 137 + 7));
        EXPECT_EQ(velmora.Wait(20s), 1);
        EXPECT_NE(velmora.Errors().find("jack"), std::string::npos) << velmora.Errors();
        EXPECT_FALSE(fs::exists(copy_.Settings()));
    }
    // Its second button, "Demo", runs the program on the demo service.
    {
        ChildProcess velmora({copy_.Program(), "--midi-api", "jack"});
        const std::string dialog = display_->WaitForWindow("438x172");
        ASSERT_FALSE(dialog.empty()) << velmora.Errors() << display_->Errors();
        ASSERT_TRUE(display_->Click(dialog, 328 + 17, 113 + 7));
        const std::string window = display_->WaitForWindow("638x454");
        ASSERT_FALSE(window.empty()) << velmora.Errors() << display_->Errors();
        // Let the demo keyboard play into it for a moment.
        std::this_thread::sleep_for(500ms);
        PowerOff(window, velmora);
        EXPECT_EQ(ReadFile(copy_.Settings()),
                  DefaultSettings(0, 0, "Velmora Demo Keyboard", "Velmora Demo Synth"));
    }
}
