// velmora-cli: Velmora's command-line companion for terminals and scripts.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "cli/capture_command.h"
#include "cli/decode_command.h"
#include "cli/device_commands.h"
#include "cli/loopback_command.h"
#include "cli/playback_commands.h"
#include "cli/transfer_commands.h"
#include "core/terminal_text.h"
#include "velmora_version.h"

namespace {

constexpr const char* kHelp =
    "Usage: velmora-cli COMMAND [ARGS...]\n"
    "\n"
    "Velmora's command-line companion: the MIDI monitor's descriptions for\n"
    "terminals and scripts.\n"
    "\n"
    "Commands:\n"
    "  capture FILE.mid -i N [-i N2]...\n"
    "                   capture what arrives at MIDI inputs as a MIDI file\n"
    "  decode [BYTES]   describe short messages given in hexadecimal\n"
    "  list             list the MIDI input and output devices\n"
    "  loopback -o M -i N\n"
    "                   test a way out and back: lost messages, latency, jitter\n"
    "  monitor --in N   show what arrives at a MIDI input, with thru; as text,\n"
    "                   raw bytes or JSON Lines, filtered by kind and channel\n"
    "  panic -o M       silence every note of a MIDI output\n"
    "  play FILE.mid -o M\n"
    "                   play a MIDI file to a MIDI output with its timing\n"
    "  record --in N FILE.syx\n"
    "                   record a sysex dump from a MIDI input to a file\n"
    "  send --out M FILE.syx\n"
    "                   send a sysex file to a MIDI output\n"
    "  send --out M --hex \"90 3C 64\" ...\n"
    "                   send messages given in hexadecimal\n"
    "\n"
    "Devices are given by their number in 'velmora-cli list', their name or a\n"
    "part of their name; -i, -o, -a and -q stand for --in, --out, --api and\n"
    "--quiet. A FILE of '-' is standard input or output.\n"
    "\n"
    "Run 'velmora-cli COMMAND --help' for the details of a command,\n"
    "'velmora-cli --version' for the version. Exit status 2 means a bad\n"
    "command line.\n";

} // namespace

namespace {

int RunCommand(std::span<const std::string_view> args, int argc, char** argv) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kHelp, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version" || args[0] == "-V") {
        std::printf("velmora-cli %s\n", velmora::kVersion);
        return 0;
    }
    const std::string_view command = args[0];
    const std::span<const std::string_view> rest(args.data() + 1, args.size() - 1);
    if (command == "capture") {
        return velmora::cli::RunCapture(rest);
    }
    if (command == "decode") {
        return velmora::cli::RunDecode(rest, stdin, stdout, stderr);
    }
    if (command == "list") {
        return velmora::cli::RunList(rest);
    }
    if (command == "loopback") {
        return velmora::cli::RunLoopback(rest);
    }
    if (command == "monitor") {
        return velmora::cli::RunMonitor(rest, argc, argv);
    }
    if (command == "panic") {
        return velmora::cli::RunPanic(rest);
    }
    if (command == "play") {
        return velmora::cli::RunPlay(rest);
    }
    if (command == "record") {
        return velmora::cli::RunRecord(rest, argc, argv);
    }
    if (command == "send") {
        return velmora::cli::RunSend(rest);
    }
    std::fprintf(stderr, "velmora-cli: unknown command '%s'; see 'velmora-cli --help'\n",
                 velmora::TerminalSafe(command).c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    int status = RunCommand(args, argc, argv);
    // What is still buffered goes out now, and a full disk or a closed file
    // is a failure: a script must not take a cut output for a whole one. A
    // command that failed has said why already.
    // (Closing a standard output that was never open, nothing written to
    // it, is no failure.)
    errno = 0;
    bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    int error = errno;
    if (std::fclose(stdout) != 0 && errno != EBADF) {
        failed = true;
        error = errno;
    }
    if (failed) {
        error = error != 0 ? error : EIO;
        if (status == 0) {
            std::fprintf(stderr, "velmora-cli: cannot write standard output: %s\n",
                         std::strerror(error));
            status = 1;
        }
    }
    return status;
}
