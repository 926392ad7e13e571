#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>

#include "cli/cli_reporter.h"
#include "cli/device_choice.h"
#include "cli/options.h"
#include "cli/transfer_commands.h"
#include "core/cp1252.h"
#include "core/stop_signal.h"
#include "core/sysex_file_io.h"
#include "midi/midi_functions.h"
#include "midi/service_factory.h"
#include "sysex/sysex_buffer_file.h"
#include "sysex/sysex_sender.h"

namespace velmora::cli {
namespace {

constexpr const char* kSendHelp =
    "Usage: velmora-cli send --out M FILE.syx [--pause-ms MS] [--api alsa|jack|demo]\n"
    "\n"
    "Sends the system exclusive dump in FILE.syx to MIDI output M, as Velmora's\n"
    "Send Sysex does: the file is cut into messages at each F7 byte, and each\n"
    "message into blocks of at most 4096 bytes, each sent as one long message.\n"
    "Bytes before the first F0 go out with the first message; bytes after the\n"
    "last F7 that hold no F0 are not sent; a last message without its F7 is\n"
    "sent as it is.\n"
    "\n"
    "  --pause-ms MS   wait MS milliseconds after each message (default 0), for\n"
    "                  instruments that need time to take a message in\n"
    "\n"
    "The progress (blocks and bytes sent) is shown on one line on a terminal,\n"
    "and as one line per block otherwise. An interrupt (Ctrl-C, SIGTERM, SIGHUP)\n"
    "stops the send after the message being sent.\n"
    "\n"
    "M is a device number of 'velmora-cli list' or a device's exact name.\n"
    "Exit status: 0 when every block went out, 1 when the file can't be read,\n"
    "the output can't be opened, a block could not be sent or the send was\n"
    "interrupted, 2 for a bad command line or a device that does not exist.\n";

// Shows the status texts: rewritten in place on a terminal, one per line
// otherwise.
class StatusPrinter {
  public:
    explicit StatusPrinter(bool terminal) : terminal_(terminal) {}

    void Show(const std::string& cp1252) {
        if (cp1252 == last_) {
            return;
        }
        last_ = cp1252;
        const std::string text = Cp1252ToUtf8(cp1252);
        if (terminal_) {
            std::printf("\r%s\x1b[K", text.c_str());
        } else {
            std::printf("%s\n", text.c_str());
        }
        std::fflush(stdout);
    }

    void End() {
        if (terminal_ && !last_.empty()) {
            std::printf("\n");
            std::fflush(stdout);
        }
    }

  private:
    bool terminal_;
    std::string last_;
};

} // namespace

int RunSend(std::span<const std::string_view> args) {
    Options o = ParseOptions(args, {"--out", "--pause-ms", "--api"});
    if (o.help) {
        std::fputs(kSendHelp, stdout);
        return 0;
    }
    const auto out = o.Get("--out");
    const auto pauseMs = o.GetInt("--pause-ms", 0, 600000);
    if (o.error.empty() && !out) {
        o.error = "--out M is required";
    }
    if (o.error.empty() && o.positional.size() != 1) {
        o.error =
            o.positional.empty() ? "the file to send is missing" : "only one file can be sent";
    }
    if (!o.error.empty()) {
        std::fprintf(stderr, "velmora-cli send: %s; see 'velmora-cli send --help'\n",
                     o.error.c_str());
        return 2;
    }
    const std::string path = o.positional.front();

    auto service = OpenServiceOrComplain("send", o);
    if (!service) {
        return 1;
    }
    DeviceChoice device;
    if (!ChooseDeviceOrComplain("send", *service, *out, true, device)) {
        return 2;
    }

    LoadedFile file = LoadSysexFile(path);
    if (!file.outcome) {
        std::fprintf(stderr, "velmora-cli send: %s: %s\n", path.c_str(),
                     Cp1252ToUtf8(file.outcome.message).c_str());
        return 1;
    }

    StderrReporter reporter("velmora-cli send");
    midi::MidiFunctions midi(*service, reporter);
    sysex::InputShutOut inputOff(midi); // the input stays shut out for the whole send
    midi.MidiOutDeviceName = device.name;
    if (!midi.OpenMidiOut()) {
        return 1;
    }

    sysex::SysexSender sender(midi.MidiOutHandle(), std::move(file.bytes), device.name,
                              {std::chrono::milliseconds(pauseMs.value_or(0))});
    StatusPrinter printer(isatty(STDOUT_FILENO) != 0);
    CatchStopSignals();
    printer.Show(sender.StatusText());
    while (!sender.Finished()) {
        if (StopRequested() != 0) {
            sender.RequestCancel();
        }
        sender.Step();
        printer.Show(sender.StatusText());
        const auto now = sysex::SysexSender::Clock::now();
        const auto next = sender.NextStepAt();
        if (!sender.Finished() && next > now) {
            // In short sleeps, so an interrupt cuts a long pause short.
            std::this_thread::sleep_for(std::min<sysex::SysexSender::Clock::duration>(
                next - now, std::chrono::milliseconds(50)));
        }
    }
    printer.End();
    // The output closes with `midi`, without the reset that CloseMidiOut
    // sends: the device gets the file's bytes and nothing else, as when the
    // program's main output stays open after a send.

    const auto& plan = sender.Plan();
    if (plan.truncatedLastMessage && sender.State() == sysex::SendState::Completed) {
        std::fprintf(stderr,
                     "velmora-cli send: the last message of '%s' has no F7; it was sent as it "
                     "is\n",
                     path.c_str());
    }
    switch (sender.State()) {
    case sysex::SendState::Completed:
        return 0;
    case sysex::SendState::Cancelled:
        std::fprintf(stderr, "velmora-cli send: interrupted; %zu of %zu bytes were sent\n",
                     sender.BytesHandedOver(), plan.bytesToSend);
        return 1;
    default:
        std::fprintf(stderr,
                     "velmora-cli send: block %d of %zu was not sent; %zu of %zu bytes "
                     "went out\n",
                     sender.Blocks(), plan.blocks.size(), sender.BytesHandedOver(),
                     plan.bytesToSend);
        return 1;
    }
}

} // namespace velmora::cli
