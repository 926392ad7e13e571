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
#include "late_cycles.h"
#include "support/child_process.h"
#include "support/device_listing.h"
#include "support/eventually.h"
#include "support/scoped_environment.h"
#include "support/virtual_display.h"

using namespace velmora::jacktest;
using velmora::testing::ChildProcess;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::string kVelmora = VELMORA_PROGRAM;
const std::string kCli = VELMORA_CLI;

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
using velmora::testing::VirtualDisplay;

// Runs a tool to its end; its standard output, or nothing when it failed.
std::optional<std::string> RunTool(std::vector<std::string> argv) {
    ChildProcess tool(std::move(argv));
    if (tool.Wait(20s) != 0) {
        return std::nullopt;
    }
    return tool.Output();
}

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
        if (!VirtualDisplay::Available()) {
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
    std::string connected;
    velmora::testing::Eventually(
        [&] {
            for (const std::string& port : peer.Ports(pattern)) {
                if (input ? peer.WaitConnected(peer.OutPort(), port, 50ms)
                          : peer.WaitConnected(port, peer.InPort(), 50ms)) {
                    connected = port;
                    return true;
                }
            }
            return false;
        },
        timeout, 100ms);
    return connected;
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
    const std::string window = display_->WaitForWindow("638x454", *velmora);
    ASSERT_FALSE(window.empty()) << velmora->Errors() << display_->Errors();
    // Its first activation opens the peer's ports as its devices.
    ASSERT_FALSE(ConnectedVelmoraPort(*peer, true, 20s).empty()) << velmora->Errors();
    ASSERT_FALSE(ConnectedVelmoraPort(*peer, false, 20s).empty()) << velmora->Errors();

    // Thru is on: each note comes back once the window has taken it (the
    // input waits for the window before it takes the next one). A dump is
    // listed, not passed on; the note after it is.
    const std::vector<JackPeer::Event> notes{
        {0x90, 0x3C, 0x64}, {0x80, 0x3C, 0x40}, {0xB0, 0x07, 0x64}, {0x93, 0x40, 0x20}};
    const JackPeer::Event dump{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
    const JackPeer::Event after{0x90, 0x40, 0x01};
    std::vector<JackPeer::Event> expected = notes;
    expected.push_back(after);
    EXPECT_TRUE(RepeatedOnLateCycles(*peer, [&](std::uint64_t late) -> ::testing::AssertionResult {
        peer->ClearReceived();
        for (const auto& event : notes) {
            peer->Send(event);
        }
        peer->Send(dump);
        peer->Send(after);
        WaitForAllUnlessLate(*peer, late, expected.size(), [&] { return peer->ReceivedCount(); });
        if (peer->Received() != expected) {
            return ::testing::AssertionFailure()
                   << peer->ReceivedCount() << " events came back, late cycles "
                   << peer->XRuns() - late << "; " << velmora->Errors();
        }
        return ::testing::AssertionSuccess();
    }));

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
    const velmora::testing::ScopedEnvironment server(
        "JACK_DEFAULT_SERVER", "velmora-e2e-none-" + std::to_string(getpid()));

    // The dialog's third button, "Quit", ends the program before any window.
    {
        ChildProcess velmora({copy_.Program(), "--midi-api", "jack"});
        const std::string dialog = display_->WaitForWindow("438x172", velmora);
        ASSERT_FALSE(dialog.empty()) << velmora.Errors() << display_->Errors();
        ASSERT_TRUE(display_->Click(dialog, 328 + 17, 137 + 7));
        EXPECT_EQ(velmora.Wait(20s), 1);
        EXPECT_NE(velmora.Errors().find("jack"), std::string::npos) << velmora.Errors();
        EXPECT_FALSE(fs::exists(copy_.Settings()));
    }
    // Its second button, "Demo", runs the program on the demo service.
    {
        ChildProcess velmora({copy_.Program(), "--midi-api", "jack"});
        const std::string dialog = display_->WaitForWindow("438x172", velmora);
        ASSERT_FALSE(dialog.empty()) << velmora.Errors() << display_->Errors();
        ASSERT_TRUE(display_->Click(dialog, 328 + 17, 113 + 7));
        const std::string window = display_->WaitForWindow("638x454", velmora);
        ASSERT_FALSE(window.empty()) << velmora.Errors() << display_->Errors();
        // The demo keyboard plays into it from its first activation on; the
        // close goes through whatever is being handed over at that moment.
        PowerOff(window, velmora);
        EXPECT_EQ(ReadFile(copy_.Settings()),
                  DefaultSettings(0, 0, "Velmora Demo Keyboard", "Velmora Demo Synth"));
    }
}
