#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>

#include "cli/cli_reporter.h"
#include "cli/device_choice.h"
#include "cli/options.h"
#include "cli/transfer_commands.h"
#include "core/cp1252.h"
#include "core/hex_message_parser.h"
#include "core/stop_signal.h"
#include "core/sysex_file_io.h"
#include "core/terminal_text.h"
#include "core/user_language.h"
#include "midi/midi_functions.h"
#include "midi/service_factory.h"
#include "sysex/sysex_buffer_file.h"
#include "sysex/sysex_sender.h"
#include "sysex/transfer_texts.h"

namespace velmora::cli {
namespace {

constexpr const char* kSendHelp =
    "Usage: velmora-cli send -o M FILE.syx|- [--pause-ms MS] [-q] [-a alsa|jack|demo]\n"
    "       velmora-cli send -o M --hex MESSAGE... [--pause-ms MS] [-q]\n"
    "       velmora-cli send -o M --hex - [--timestamp abs|delta] [--pause-ms MS] [-q]\n"
    "\n"
    "Sends the system exclusive dump in FILE.syx to MIDI output M, as Velmora's\n"
    "Send Sysex does: the file is cut into messages at each F7 byte, and each\n"
    "message into blocks of at most 4096 bytes, each sent as one long message.\n"
    "Bytes before the first F0 go out with the first message; bytes after the\n"
    "last F7 that hold no F0 are not sent; a last message without its F7 is\n"
    "sent as it is. A FILE of '-' reads the bytes from standard input.\n"
    "\n"
    "With --hex, sends the messages given in hexadecimal, one per argument:\n"
    "  velmora-cli send -o 1 --hex \"90 3C 64\" \"80 3C 00\" \"F0 7E 7F 06 01 F7\"\n"
    "A short message has exactly the bytes its status takes (zero bytes after\n"
    "them are dropped); a sysex message runs from F0 to F7. With --hex -, the\n"
    "messages are read from standard input, one per line, and sent as they\n"
    "come; blank lines, text after '#' and text after the bytes set off by two\n"
    "blanks (as 'velmora-cli decode' writes) are ignored, so decode's input and\n"
    "output play back. A bad line is reported with its number and skipped.\n"
    "A line may start with the time column 'velmora-cli monitor --timestamp'\n"
    "prints (milliseconds, then two blanks): the message is then sent that long\n"
    "after the first timed line (--timestamp abs, the default) or after the\n"
    "timed line before it (--timestamp delta), so a monitored log\n"
    "('monitor --raw' for sysex) plays back with its timing. Lines without a\n"
    "time are sent as they come.\n"
    "\n"
    "  --timestamp abs|delta  how to read the time column of --hex - (abs)\n"
    "  --pause-ms MS   wait MS milliseconds after each message (default 0), for\n"
    "                  instruments that need time to take a message in\n"
    "  -q, --quiet     no progress\n"
    "\n"
    "The progress (blocks and bytes sent) goes to standard error: on one line\n"
    "on a terminal, one line per block otherwise. An interrupt (Ctrl-C,\n"
    "SIGTERM, SIGHUP) stops the send after the message being sent.\n"
    "\n"
    "M (-o, --out) is a device number of 'velmora-cli list', a device's name or\n"
    "a part of one name (any case).\n"
    "Exit status: 0 when every block went out, 1 when the file can't be read,\n"
    "the output can't be opened, a block could not be sent or the device left,\n"
    "2 for a bad command line, a bad message or a device that does not exist,\n"
    "128 + the signal's number after an interrupt (130 for Ctrl-C, 143 for\n"
    "SIGTERM, 129 for SIGHUP).\n";

constexpr std::size_t kMaxLine = std::size_t{1} << 20;
constexpr std::size_t kBlockBytes = 4096;

// Shows the status texts: rewritten in place on a terminal, one per line
// otherwise.
class StatusPrinter {
  public:
    StatusPrinter(bool terminal, bool quiet, std::string deviceName)
        : terminal_(terminal), quiet_(quiet), deviceName_(std::move(deviceName)) {}

    void Show(const std::string& cp1252) {
        if (quiet_ || cp1252 == last_) {
            return;
        }
        last_ = cp1252;
        const std::string text = TerminalSafe(sysex::TransferTextUtf8(cp1252, deviceName_));
        if (terminal_) {
            std::fprintf(stderr, "\r%s\x1b[K", text.c_str());
        } else {
            std::fprintf(stderr, "%s\n", text.c_str());
        }
    }

    void End() {
        if (terminal_ && !last_.empty()) {
            std::fprintf(stderr, "\n");
        }
    }

  private:
    bool terminal_;
    bool quiet_;
    std::string deviceName_; // UTF-8, as the texts should show it
    std::string last_;
};

// Standard input, whole, up to the size a .syx file may have; an interrupt
// while it comes ends the read (StopRequested() tells).
FileContents ReadStandardInput() {
    FileContents file;
    std::vector<char> chunk(1 << 16);
    long got = 0;
    while ((got = ReadUnlessStopped(STDIN_FILENO, chunk.data(), chunk.size())) > 0) {
        if (file.bytes.size() + static_cast<std::size_t>(got) > kMaxSysexFileBytes) {
            file.result.fault = FileFault::TooLarge;
            return file;
        }
        file.bytes.insert(file.bytes.end(), chunk.begin(), chunk.begin() + got);
    }
    if (got == -1) {
        file.result = {FileFault::System, errno != 0 ? errno : EIO};
    }
    return file;
}

// Waits `ms`, in short steps so that an interrupt cuts a long pause short;
// false when interrupted.
bool Pause(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (StopRequested() == 0) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) {
            return true;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - now, std::chrono::milliseconds(50)));
    }
    return false;
}

// Sends the messages of `send --hex`, one by one, with the pause between them.
class HexSender {
  public:
    HexSender(midi::OutputSlot& out, int pauseMs) : out_(out), pauseMs_(pauseMs) {}

    // False when the output did not take the message or an interrupt came.
    bool Send(const std::vector<std::uint8_t>& bytes) {
        if (StopRequested() != 0 || (messages_ > 0 && pauseMs_ > 0 && !Pause(pauseMs_))) {
            interrupted_ = true;
            return false;
        }
        if (out_.Gone()) {
            gone_ = true;
            return false;
        }
        bool ok = true;
        if (bytes[0] == 0xF0) {
            for (std::size_t at = 0; ok && at < bytes.size(); at += kBlockBytes) {
                ok = out_.SendLong(
                    std::span(bytes).subspan(at, std::min(kBlockBytes, bytes.size() - at)));
            }
        } else {
            ok = out_.SendShort(PackShortMessage(bytes[0], bytes.size() > 1 ? bytes[1] : 0,
                                                 bytes.size() > 2 ? bytes[2] : 0));
        }
        if (ok) {
            ++messages_;
            bytes_ += bytes.size();
        }
        return ok;
    }
    void NoteInterrupt() { interrupted_ = true; }
    bool DeviceGone() const { return gone_; }
    bool Interrupted() const { return interrupted_; }
    std::size_t Messages() const { return messages_; }
    std::size_t Bytes() const { return bytes_; }

  private:
    midi::OutputSlot& out_;
    int pauseMs_;
    std::size_t messages_ = 0, bytes_ = 0;
    bool interrupted_ = false;
    bool gone_ = false;
};

// Cuts standard input into lines as it comes and sends each. A line is
// bounded (a longer one is reported and skipped) and a NUL byte ends the
// read, as binary data is no text of messages: neither an endless line nor
// /dev/zero holds the program. Returns false when sending stopped;
// `badLines` tells whether any line was skipped.
class HexLineSender {
  public:
    HexLineSender(HexSender& sender, bool deltaTimes) : sender_(sender), delta_(deltaTimes) {}

    bool Run(bool& badLines) {
        std::vector<char> chunk(1 << 16);
        long got = 0;
        while ((got = ReadUnlessStopped(STDIN_FILENO, chunk.data(), chunk.size())) > 0) {
            std::string_view data(chunk.data(), static_cast<std::size_t>(got));
            std::size_t nul = data.find('\0');
            for (std::size_t nl; (nl = data.substr(0, nul).find('\n')) != data.npos;) {
                Add(data.substr(0, nl));
                if (!EndLine()) {
                    return false;
                }
                data.remove_prefix(nl + 1);
                nul = nul == data.npos ? nul : nul - nl - 1;
            }
            if (nul != data.npos) {
                Add(data.substr(0, nul));
                Bad("a NUL byte: the input is not text, sending stops");
                badLines = true;
                return true;
            }
            Add(data);
        }
        if (got == kStopped) {
            sender_.NoteInterrupt();
            return false;
        }
        if (got == -1) {
            std::fprintf(stderr, "velmora-cli send: cannot read standard input: %s\n",
                         Cp1252ToUtf8(FileFaultText({FileFault::System, errno != 0 ? errno : EIO},
                                                    UserLanguage()))
                             .c_str());
            return false;
        }
        if ((!line_.empty() || tooLong_) && !EndLine()) { // a last line without end
            return false;
        }
        badLines = bad_;
        return true;
    }

  private:
    void Add(std::string_view piece) {
        if (line_.size() + piece.size() > kMaxLine) {
            tooLong_ = true;
            line_.append(piece.substr(0, kMaxLine - std::min(kMaxLine, line_.size())));
        } else {
            line_.append(piece);
        }
    }
    void Bad(const std::string& why) {
        std::fprintf(stderr, "velmora-cli send: line %zu: %s\n", number_ + 1, why.c_str());
        bad_ = true;
    }
    // The line read so far is whole: sends it. False when sending stopped.
    bool EndLine() {
        bool sent = true;
        if (tooLong_) {
            Bad("longer than 1 MiB: " + QuoteStart(line_));
        } else {
            std::string_view text = line_;
            const std::optional<std::int64_t> time = TakeTimeColumn(text);
            if (const ParsedBytes parsed = ParseMessageLine(text, kMaxLine / 2); !parsed.ok) {
                Bad(parsed.error);
            } else if (!parsed.bytes.empty()) {
                sent = (!time || WaitUntilDue(*time)) && sender_.Send(parsed.bytes);
            }
        }
        ++number_;
        line_.clear();
        tooLong_ = false;
        return sent;
    }

    // Waits until a message at `ms` on the log's clock is due: counted from
    // the first timed line (abs) or the one before (delta). False after an
    // interrupt.
    bool WaitUntilDue(std::int64_t ms) {
        const auto now = std::chrono::steady_clock::now();
        if (!start_) {
            start_ = now;
            firstMs_ = delta_ ? 0 : ms;
            dueMs_ = 0;
        } else {
            dueMs_ = delta_ ? dueMs_ + ms : ms - firstMs_;
        }
        const auto due = *start_ + std::chrono::milliseconds(dueMs_);
        if (due <= now) {
            return true; // late or going back: at once
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - now);
        if (!Pause(static_cast<int>(std::min<std::int64_t>(wait.count() + 1, INT32_MAX)))) {
            sender_.NoteInterrupt();
            return false;
        }
        return true;
    }

    HexSender& sender_;
    const bool delta_;
    std::optional<std::chrono::steady_clock::time_point> start_; // of the first timed line
    std::int64_t firstMs_ = 0, dueMs_ = 0;
    std::string line_;
    std::size_t number_ = 0;
    bool tooLong_ = false;
    bool bad_ = false;
};

// `send --hex`: the messages of `given` (or of standard input for "-").
int SendHex(midi::MidiService& service, const DeviceChoice& device,
            const std::vector<std::vector<std::uint8_t>>& messages, bool fromStdin, int pauseMs,
            bool deltaTimes, bool quiet) {
    StderrReporter reporter("velmora-cli send");
    midi::MidiFunctions midi(service, reporter);
    midi.MidiOutDeviceName = device.name;
    if (!midi.OpenMidiOut()) {
        return 1;
    }
    const std::uint64_t unsentBefore = midi.MidiOutHandle().UnsentBytes();
    HexSender sender(midi.MidiOutHandle(), pauseMs);
    bool sent = true, badLines = false;
    if (fromStdin) {
        sent = HexLineSender(sender, deltaTimes).Run(badLines);
    } else {
        for (const auto& message : messages) {
            if (!(sent = sender.Send(message))) {
                break;
            }
        }
    }
    // Waits for what was handed over to leave, where the output can tell.
    const auto unsent = static_cast<std::size_t>(midi.MidiOutHandle().UnsentBytes() - unsentBefore);
    const std::size_t wentOut = sender.Bytes() - std::min(unsent, sender.Bytes());
    if (!sent) {
        std::fprintf(stderr, "velmora-cli send: %s; %zu messages (%zu bytes) were sent\n",
                     sender.Interrupted()  ? "interrupted"
                     : sender.DeviceGone() ? "the device left"
                                           : "a message was not sent",
                     sender.Messages(), wentOut);
        return sender.Interrupted() ? StatusAfterStop(1) : 1;
    }
    if (unsent > 0) {
        std::fprintf(stderr, "velmora-cli send: %zu of %zu bytes did not go out on '%s'\n", unsent,
                     sender.Bytes(), TerminalSafe(device.name).c_str());
        return 1;
    }
    if (!quiet) {
        std::fprintf(stderr, "Sent %zu messages (%zu bytes) on '%s'\n", sender.Messages(),
                     sender.Bytes(), TerminalSafe(device.name).c_str());
    }
    return badLines ? 2 : 0;
}

} // namespace

int RunSend(std::span<const std::string_view> args) {
    Options o =
        ParseOptions(args, {"--out", "--pause-ms", "--api", "--timestamp"}, {"--hex", "--quiet"});
    if (o.help) {
        std::fputs(kSendHelp, stdout);
        return 0;
    }
    const auto out = o.Get("--out");
    const auto pauseMs = o.GetInt("--pause-ms", 0, 600000);
    const bool hex = o.Has("--hex");
    const bool quiet = o.Has("--quiet");
    const auto times = o.Get("--timestamp");
    if (o.error.empty() && times && *times != "abs" && *times != "delta") {
        o.error = "--timestamp takes abs or delta, not '" + *times + "'";
    }
    if (o.error.empty() && !out) {
        o.error = "--out M is required";
    }
    if (o.error.empty() && hex && o.positional.empty()) {
        o.error = "--hex needs the messages to send, or - for standard input";
    }
    if (o.error.empty() && !hex && o.positional.size() != 1) {
        o.error = o.positional.empty() ? "the file to send is missing"
                                       : "only one file can be sent, not '" + o.positional[1] + "'";
    }
    const bool fromStdin = o.error.empty() && o.positional.front() == "-";
    if (o.error.empty() && hex && fromStdin && o.positional.size() > 1) {
        o.error = "--hex - reads every message from standard input, not '" + o.positional[1] + "'";
    }
    std::vector<std::vector<std::uint8_t>> messages;
    for (std::size_t i = 0; o.error.empty() && hex && !fromStdin && i < o.positional.size(); ++i) {
        ParsedBytes parsed = ParseMessageLine(o.positional[i], kMaxLine / 2);
        if (parsed.ok && parsed.bytes.empty()) {
            parsed.error = "no bytes";
        }
        if (!parsed.error.empty()) {
            o.error = "--hex: message " + QuoteStart(o.positional[i]) + ": " + parsed.error;
        }
        messages.push_back(std::move(parsed.bytes));
    }
    if (!o.error.empty()) {
        return UsageError("send", o.error);
    }
    const std::string path = o.positional.front();
    CatchStopSignals(); // from here on an interrupt ends the command in order

    auto service = OpenServiceOrComplain("send", o);
    if (!service) {
        return 1;
    }
    DeviceChoice device;
    if (!ChooseDeviceOrComplain("send", *service, *out, true, device)) {
        return 2;
    }
    if (hex) {
        return SendHex(*service, device, messages, fromStdin, pauseMs.value_or(0), times == "delta",
                       quiet);
    }

    const std::string shownPath = fromStdin ? "standard input" : TerminalSafe(path);
    FileContents file = fromStdin ? ReadStandardInput() : LoadSysexFile(path);
    if (StopRequested() != 0) {
        std::fprintf(stderr, "velmora-cli send: interrupted while reading %s; nothing was sent\n",
                     shownPath.c_str());
        return StatusAfterStop(1);
    }
    if (!file.result) {
        std::fprintf(
            stderr, "velmora-cli send: %s: %s\n", shownPath.c_str(),
            Cp1252ToUtf8(FileFaultText(file.result, UserLanguage(), FileTask::SysexLoad)).c_str());
        return 1;
    }
    StderrReporter reporter("velmora-cli send");
    midi::MidiFunctions midi(*service, reporter);
    sysex::InputShutOut inputOff(midi); // the input stays shut out for the whole send
    midi.MidiOutDeviceName = device.name;
    if (!midi.OpenMidiOut()) {
        return 1;
    }

    const std::uint64_t unsentBefore = midi.MidiOutHandle().UnsentBytes();
    sysex::SysexSender sender(midi.MidiOutHandle(), std::move(file.bytes), device.name,
                              {std::chrono::milliseconds(pauseMs.value_or(0))});
    StatusPrinter printer(isatty(STDERR_FILENO) != 0, quiet, device.name);
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
                     shownPath.c_str());
    }
    switch (sender.State()) {
    case sysex::SendState::Completed:
        return 0;
    case sysex::SendState::Incomplete:
        std::fprintf(stderr,
                     "velmora-cli send: '%s' takes whole sysex messages only: %zu of %zu bytes "
                     "were not sent (bytes outside F0 ... F7, or a last message without F7)\n",
                     TerminalSafe(device.name).c_str(), sender.BytesNotSent(),
                     sender.BytesHandedOver());
        return 1;
    case sysex::SendState::Cancelled:
        std::fprintf(stderr, "velmora-cli send: interrupted; %zu of %zu bytes were sent\n",
                     sender.BytesHandedOver(), plan.bytesToSend);
        return StatusAfterStop(1);
    default: {
        if (plan.messages == 0) {
            std::fprintf(stderr, "velmora-cli send: %s holds no sysex message (F0 ... F7)\n",
                         fromStdin ? shownPath.c_str() : ("'" + shownPath + "'").c_str());
            return 1;
        }
        // Handed over is not yet out: what the output could not send is not
        // counted as sent.
        const auto unsent =
            static_cast<std::size_t>(midi.MidiOutHandle().UnsentBytes() - unsentBefore);
        const std::size_t wentOut =
            sender.BytesHandedOver() - std::min(unsent, sender.BytesHandedOver());
        if (sender.DeviceGone()) {
            std::fprintf(stderr,
                         "velmora-cli send: '%s' left during the send; %zu of %zu bytes went "
                         "out before\n",
                         TerminalSafe(device.name).c_str(), wentOut, plan.bytesToSend);
            return 1;
        }
        std::fprintf(stderr,
                     "velmora-cli send: block %d of %zu was not sent; %zu of %zu bytes "
                     "went out\n",
                     sender.Blocks(), plan.blocks.size(), wentOut, plan.bytesToSend);
        return 1;
    }
    }
}

} // namespace velmora::cli
