#include <cstdio>
#include <vector>

#include "cli/cli_reporter.h"
#include "cli/device_commands.h"
#include "cli/options.h"
#include "core/terminal_text.h"
#include "midi/midi_functions.h"
#include "midi/service_factory.h"

namespace velmora::cli {
namespace {

constexpr const char* kListHelp =
    "Usage: velmora-cli list [-a alsa|jack|demo]\n"
    "\n"
    "Lists the MIDI input and output devices with the numbers that\n"
    "'velmora-cli monitor --in N --out M' and Velmora's device lists use.\n"
    "Without --api the first MIDI service that works is used: the ALSA\n"
    "sequencer, then a running JACK server. Control characters in device\n"
    "names are shown escaped (\\x1B).\n";

// Counts what the device listing reports instead of printing it: an empty
// list is shown as "(none)" here, not as a start-up failure.
class CollectingReporter : public midi::Reporter {
  public:
    void Report(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

void PrintDevices(const char* title, const std::vector<std::string>& names) {
    std::printf("%s:\n", title);
    if (names.empty()) {
        std::printf("  (none)\n");
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::printf("  %2zu  %s\n", i, TerminalSafe(names[i]).c_str());
    }
}

} // namespace

int RunList(std::span<const std::string_view> args) {
    Options o = ParseOptions(args, {"--api"});
    if (o.help) {
        std::fputs(kListHelp, stdout);
        return 0;
    }
    o.RefuseArguments();
    if (!o.error.empty()) {
        return UsageError("list", o.error);
    }
    std::string error;
    auto service = midi::CreateMidiService(o.Get("--api").value_or(""), &error);
    if (!service) {
        std::fprintf(stderr, "velmora-cli list: %s\n", error.c_str());
        return 1;
    }
    CollectingReporter reporter;
    midi::MidiFunctions midi(*service, reporter);
    std::vector<std::string> inputs, outputs;
    midi.ListMidiInDevices(inputs);
    midi.ListMidiOutDevices(outputs);
    std::printf("MIDI service: %s\n", service->Name().c_str());
    PrintDevices("Inputs", inputs);
    PrintDevices("Outputs", outputs);
    for (const auto& text : reporter.texts) {
        if (text == midi::text::kInCaps || text == midi::text::kOutCaps) {
            std::fprintf(stderr, "velmora-cli list: %s\n", text.c_str());
        }
    }
    return 0;
}

} // namespace velmora::cli
