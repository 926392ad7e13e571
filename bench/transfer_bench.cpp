// Sysex transfer on real JACK ports, in one run:
//  - recording a 1 MB and a 10 MB dump that a JACK client plays at full speed: the whole
//    dump must arrive in SysexBuffer, nothing lost;
//  - sending a 1 MB .syx file with SysexSender (through MidiFunctions and
//    the RtMidi service) against bare loops that hand the same blocks to
//    RtMidiOut on JACK themselves, round after round on the same peer port:
//    time until the listening client has every byte. One bare loop leans on
//    RtMidi alone (its queue makes a send wait when full), the other also
//    keeps to 16 KB per period, half of what a JACK port buffer takes.
// Needs a running JACK server (bench/run-jack-bench starts one).
//
// The recorded dump is 256 bank dumps of 4104 bytes, not one 1 MB message:
// that is what instruments send for a megabyte (a series of messages, each
// small enough for one JACK event), and a player filling the port buffer
// every cycle with whole messages (7 of them, 28 KB, per 5.3 ms cycle) is
// the hardest steady load for the input path, which takes each message as
// two blocks through the hand-off. The second figure plays one
// 1 MB message cut into 32 KB events, the other way a megabyte can come.
#include <RtMidi.h>
#include <jack/jack.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <time.h>

#include "core/sysex_file.h"
#include "jack_bench_start.h"
#include "jack_peer.h"
#include "midi/midi_functions.h"
#include "midi/midi_in_callback.h"
#include "midi/midi_session.h"
#include "midi/rtmidi/rtmidi_service.h"
#include "midi/ui_signal.h"
#include "sysex/sysex_recorder.h"
#include "sysex/sysex_sender.h"

using namespace velmora;
using namespace velmora::midi;
using velmora::jacktest::JackPeer;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

class PrintReporter : public Reporter {
  public:
    void Report(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
};

// `bytes` in pieces of `size`.
std::vector<Bytes> SplitEvery(const Bytes& bytes, std::size_t size) {
    std::vector<Bytes> pieces;
    for (std::size_t at = 0; at < bytes.size(); at += size) {
        pieces.emplace_back(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + size));
    }
    return pieces;
}

// `count` bank dumps: F0 43 00 09 20 00, 4096 data bytes, checksum, F7.
Bytes BankDumps(int count) {
    Bytes all;
    for (int b = 0; b < count; ++b) {
        const std::size_t start = all.size();
        all.insert(all.end(), {0xF0, 0x43, 0x00, 0x09, 0x20, 0x00});
        for (int i = 0; i < 4096; ++i) {
            all.push_back(static_cast<std::uint8_t>((i * 11 + b) % 128));
        }
        std::uint8_t sum = 0;
        for (std::size_t i = start + 6; i < all.size(); ++i) {
            sum = static_cast<std::uint8_t>(sum + all[i]);
        }
        all.push_back(static_cast<std::uint8_t>((128 - sum % 128) % 128));
        all.push_back(0xF7);
    }
    return all;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The server's period in seconds.
double JackPeriodSeconds() {
    jack_status_t status{};
    jack_client_t* client = jack_client_open("bench period", JackNoStartServer, &status);
    if (client == nullptr) {
        return 256.0 / 48000.0;
    }
    const double period = static_cast<double>(jack_get_buffer_size(client)) /
                          static_cast<double>(jack_get_sample_rate(client));
    jack_client_close(client);
    return period;
}

struct RecordFigures {
    double seconds = 0;
    bool whole = false;
    std::uint64_t lost = 0;
    std::size_t bytes = 0;
    int blocks = 0;
};

// Plays `events` into the recording input and waits for `dump` to be in
// SysexBuffer.
RecordFigures RecordDump(JackPeer& peer, MidiFunctions& midi, sysex::SysexRecorder& recorder,
                         const std::vector<Bytes>& events, const Bytes& dump) {
    recorder.Begin();
    const std::uint64_t lostBefore = midi.LostInputEvents();
    const auto start = Clock::now();
    for (const Bytes& e : events) {
        if (!peer.Send(e)) {
            std::fprintf(stderr, "transfer_bench: the peer did not take an event\n");
            break;
        }
    }
    while (recorder.Length() < dump.size() && Clock::now() - start < 60s) {
        std::this_thread::sleep_for(200us);
    }
    RecordFigures f;
    f.seconds = Seconds(Clock::now() - start);
    std::this_thread::sleep_for(100ms); // anything more would be in by now
    const Bytes got = recorder.Bytes();
    f.whole = got == dump;
    f.bytes = got.size();
    f.blocks = recorder.BlockCount();
    f.lost = midi.LostInputEvents() - lostBefore;
    recorder.End();
    return f;
}

void PrintRecord(const char* what, const RecordFigures& f, std::uint64_t xruns) {
    std::printf("  %-34s %7.3f s  %6.2f MB/s  %d blocks  %s  lost events %llu  late cycles %llu\n",
                what, f.seconds, f.bytes / 1e6 / f.seconds, f.blocks,
                f.whole ? "byte-identical" : "DIFFERENT", static_cast<unsigned long long>(f.lost),
                static_cast<unsigned long long>(xruns));
}

// One send of the file: wall time until the peer has every byte, and the
// processor time the sending thread spent.
struct SendFigures {
    double seconds = 0;
    double cpuSeconds = 0;
    bool whole = false;
    std::uint64_t lateCycles = 0;
};

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

template <typename Send> SendFigures SendRound(JackPeer& peer, const Bytes& file, Send send) {
    peer.WaitCycles(4); // what an earlier round left on the way is in
    peer.ClearReceived();
    const std::uint64_t xruns = peer.XRuns();
    SendFigures f;
    const auto start = Clock::now();
    const double cpu = ThreadCpuSeconds();
    const bool sent = send();
    f.cpuSeconds = ThreadCpuSeconds() - cpu;
    // Until every byte is in, or nothing more has come for a while.
    std::size_t got = 0;
    auto lastChange = Clock::now();
    while (got < file.size() && Clock::now() - lastChange < 500ms) {
        std::this_thread::sleep_for(100us);
        if (const std::size_t now = peer.ReceivedByteCount(); now != got) {
            got = now;
            lastChange = Clock::now();
        }
    }
    f.seconds = Seconds(Clock::now() - start);
    peer.WaitCycles(3);
    f.whole = sent && peer.ReceivedBytes() == file;
    f.lateCycles = peer.XRuns() - xruns;
    return f;
}

// A bare loop: the blocks handed to RtMidiOut on JACK directly. RtMidi waits
// while its 16 KB queue is full, so the loop needs no pacing to keep every
// block; `bytesPerCycle`, when set, paces it by the clock to at most that
// many bytes (12 more per event) per JACK period.
class BareOut {
  public:
    bool Open(const std::string& destination) {
        try {
            out_ = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "Bare out");
            for (unsigned i = 0; i < out_->getPortCount(); ++i) {
                if (out_->getPortName(i) == destination) {
                    out_->openPort(i, "out");
                    return true;
                }
            }
        } catch (const RtMidiError& e) {
            std::fprintf(stderr, "transfer_bench: %s\n", e.getMessage().c_str());
        }
        return false;
    }

    bool Send(const Bytes& file, const SysexSendPlan& plan, std::size_t bytesPerCycle,
              double periodSeconds) {
        const double rate = static_cast<double>(bytesPerCycle) / periodSeconds;
        double tokens = static_cast<double>(bytesPerCycle);
        auto last = Clock::now();
        for (const SysexBlock& b : plan.blocks) {
            if (bytesPerCycle > 0) {
                const double cost = 12.0 + static_cast<double>(b.length);
                auto refill = [&] {
                    const auto now = Clock::now();
                    tokens = std::min<double>(static_cast<double>(bytesPerCycle),
                                              tokens + Seconds(now - last) * rate);
                    last = now;
                };
                refill();
                if (tokens < cost) {
                    std::this_thread::sleep_for(
                        std::chrono::duration<double>((cost - tokens) / rate));
                    refill();
                }
                tokens -= cost;
            }
            out_->sendMessage(file.data() + b.offset, b.length);
        }
        return true;
    }

    void Close() { out_.reset(); }

  private:
    std::unique_ptr<RtMidiOut> out_;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The medians of the rounds without late cycles (of all, when every round had some).
struct Summary {
    double seconds = 0, cpuSeconds = 0;
    int whole = 0, rounds = 0;
};
Summary Summarise(const std::vector<SendFigures>& rounds) {
    std::vector<double> s, c;
    Summary sum;
    for (bool anyLate : {false, true}) {
        for (const SendFigures& f : rounds) {
            if (anyLate || f.lateCycles == 0) {
                s.push_back(f.seconds);
                c.push_back(f.cpuSeconds);
            }
        }
        if (!s.empty()) {
            break;
        }
    }
    for (const SendFigures& f : rounds) {
        sum.whole += f.whole ? 1 : 0;
    }
    sum.rounds = static_cast<int>(rounds.size());
    sum.seconds = Median(s);
    sum.cpuSeconds = Median(c);
    return sum;
}

void PrintSend(const char* what, const std::vector<SendFigures>& rounds, std::size_t bytes) {
    const Summary s = Summarise(rounds);
    std::printf("  %-38s %6.3f s  %5.2f MB/s  cpu %6.1f ms  byte-identical in %d of %d\n", what,
                s.seconds, bytes / 1e6 / s.seconds, s.cpuSeconds * 1e3, s.whole, s.rounds);
    std::printf("   rounds:");
    for (const SendFigures& f : rounds) {
        std::printf(" %.3f s%s", f.seconds, f.whole ? "" : " (lost bytes)");
        if (f.lateCycles > 0) {
            std::printf(" [%llu late cycles]", static_cast<unsigned long long>(f.lateCycles));
        }
        std::printf(";");
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    auto start = velmora::bench::StartOnJack("transfer_bench");
    if (!start) {
        return 1;
    }
    auto& peer = start->peer;
    auto& synth = start->synth;
    IgnoreHandOffs nothingShown;
    MidiSession session(*start->service, start->reporter, nothingShown);
    MidiFunctions& midi = session.midi();
    sysex::SysexRecorder recorder(midi);
    sysex::BlockNoter noter(recorder);
    UiSignal recordSignal(noter);
    session.SetRecordSignal(&recordSignal);

    if (!velmora::bench::OpenOnPeer(session, *start, "transfer_bench")) {
        session.Shutdown(); // before recordSignal, declared after it, ends
        return 1;
    }

    int status = 0;
    std::thread bench([&] {
        peer->WaitConnected(peer->OutPort(), peer->Ports(velmora::bench::kVelmoraIn).at(0));
        synth->WaitConnected(synth->Ports(velmora::bench::kVelmoraOut).at(0), synth->InPort());
        const Bytes dump = BankDumps(256);
        std::printf("Sysex transfer over JACK (dummy driver, 48 kHz, period 256), %zu bytes\n",
                    dump.size());

        // 1. Recording at full JACK speed.
        std::printf("Recording (the peer plays as fast as its port takes)\n");
        std::uint64_t xruns = peer->XRuns();
        const RecordFigures asMessages =
            RecordDump(*peer, midi, recorder, SplitEvery(dump, 4104), dump);
        PrintRecord("256 messages of 4104 bytes", asMessages, peer->XRuns() - xruns);
        const Bytes tenMegabytes = BankDumps(2560);
        xruns = peer->XRuns();
        PrintRecord("2560 of them, 10 MB",
                    RecordDump(*peer, midi, recorder, SplitEvery(tenMegabytes, 4104), tenMegabytes),
                    peer->XRuns() - xruns);

        Bytes single(dump.size());
        for (std::size_t i = 0; i < single.size(); ++i) {
            single[i] = static_cast<std::uint8_t>(i % 128);
        }
        single.front() = 0xF0;
        single.back() = 0xF7;
        const std::vector<Bytes> pieces =
            SplitEvery(single, std::min<std::size_t>(peer->MaxEventBytes(), 32 * 1024));
        xruns = peer->XRuns();
        const RecordFigures asOne = RecordDump(*peer, midi, recorder, pieces, single);
        char what[64];
        std::snprintf(what, sizeof what, "one message in %zu events", pieces.size());
        PrintRecord(what, asOne, peer->XRuns() - xruns);
        if (!asMessages.whole) {
            status = 3;
        }

        // 2. Sending, side by side with bare RtMidi loops on the same peer port.
        const SysexSendPlan plan = CutSysexFile(dump);
        const double period = JackPeriodSeconds();
        BareOut bare;
        if (!bare.Open(synth->InPort()) || !synth->WaitConnected("Bare out:out", synth->InPort())) {
            std::fprintf(stderr, "transfer_bench: cannot open the bare RtMidi output\n");
            status = 1;
        } else {
            constexpr int kRounds = 5;
            constexpr std::size_t kBarePacing = 16384;
            std::vector<SendFigures> sender, unpaced, paced;
            for (int round = 0; round < kRounds; ++round) {
                sender.push_back(SendRound(*synth, dump, [&] {
                    sysex::SysexSender s(midi.MidiOutHandle(), dump, synth->InPort());
                    while (!s.Finished()) {
                        s.Step();
                    }
                    return s.State() == sysex::SendState::Completed;
                }));
                unpaced.push_back(
                    SendRound(*synth, dump, [&] { return bare.Send(dump, plan, 0, period); }));
                paced.push_back(SendRound(
                    *synth, dump, [&] { return bare.Send(dump, plan, kBarePacing, period); }));
            }
            const Summary s = Summarise(sender), u = Summarise(unpaced), p = Summarise(paced);
            std::printf("Sending: %zu blocks, time until the peer has every byte, median of %d\n",
                        plan.blocks.size(), kRounds);
            PrintSend("SysexSender on the service", sender, dump.size());
            PrintSend("bare RtMidiOut loop, unpaced", unpaced, dump.size());
            PrintSend("bare RtMidiOut loop, 16 KB per period", paced, dump.size());
            // The yardstick: the faster bare loop. Medians leave out rounds
            // with late cycles, in which JACK itself drops MIDI.
            std::printf("  ratio SysexSender / faster bare loop: %.2f (budget 1.5)\n",
                        s.seconds / std::min(u.seconds, p.seconds));
            if (s.whole != s.rounds) {
                status = 3;
            }
            bare.Close();
        }
        QMetaObject::invokeMethod(
            &app, [&] { app.quit(); }, Qt::QueuedConnection);
    });
    app.exec();
    bench.join();
    session.Shutdown();
    return status;
}
