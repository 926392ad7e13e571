// velmora-cli panic: silences every note of an output.
#include <cstdio>

#include "cli/device_choice.h"
#include "cli/options.h"
#include "cli/output_pacing.h"
#include "cli/playback_commands.h"
#include "core/note_tracker.h"
#include "core/terminal_text.h"

namespace velmora::cli {
namespace {

constexpr const char* kPanicHelp =
    "Usage: velmora-cli panic -o M [-q] [-a alsa|jack|demo]\n"
    "\n"
    "Silences MIDI output M: a note-off for every note of every channel (this\n"
    "command has not seen which notes were played, so it sends them all:\n"
    "2048 note-offs), then All Notes Off (controller 123) and the sustain\n"
    "pedal up (controller 64 to 0) on all 16 channels.\n"
    "\n"
    "Exit status: 0 when everything was sent, 1 when the output can't be\n"
    "opened or took not all of it, 2 for a bad command line.\n";

} // namespace

int RunPanic(std::span<const std::string_view> args) {
    Options o = ParseOptions(args, {"--out", "--api"}, {"--quiet"});
    if (o.help) {
        std::fputs(kPanicHelp, stdout);
        return 0;
    }
    const auto out = o.Get("--out");
    if (o.error.empty() && !out) {
        o.error = "-o M is required";
    }
    o.RefuseArguments();
    if (!o.error.empty()) {
        return UsageError("panic", o.error);
    }
    auto service = OpenServiceOrComplain("panic", o);
    if (!service) {
        return 1;
    }
    DeviceChoice device;
    if (!ChooseDeviceOrComplain("panic", *service, *out, true, device)) {
        return 2;
    }
    auto port = service->OpenOut(device.name);
    if (!port) {
        std::fprintf(stderr, "velmora-cli panic: can't open the MIDI output '%s'\n",
                     TerminalSafe(device.name).c_str());
        return 1;
    }
    const std::vector<ShortMessage> messages = PanicMessages(nullptr);
    const bool sent = SendPatiently(*port, messages);
    const bool delivered = port->UnsentBytes() == 0 && !port->Gone(); // waits for the queue
    const bool closed = port->Close();
    if (!sent || !delivered || !closed) {
        std::fprintf(stderr, "velmora-cli panic: '%s' did not take every message\n",
                     TerminalSafe(device.name).c_str());
        return 1;
    }
    if (!o.Has("--quiet")) {
        std::fprintf(stderr, "%zu messages sent to '%s'\n", messages.size(),
                     TerminalSafe(device.name).c_str());
    }
    return 0;
}

} // namespace velmora::cli
