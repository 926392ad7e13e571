// Figures of the ALSA back end on a real sequencer; run in the ALSA guest,
// quiet or beside a busy CPU, with bench/run-alsa-bench:
//   alsa_path_bench [RUNS]
// Prints, with the load average beside them:
//   - 1 MB of sysex sent to a bare client (a program with the sequencer's
//     default input pool, reading as fast as it can): time, bytes that came;
//   - 1 MB through Midi Through to Velmora's input, RUNS times (default 3),
//     and 1 MB dumped unpaced by a raw MIDI device (amidi -s into hw:0,1,
//     read from VirMIDI 0-1), RUNS times: each run identical, reported lost
//     (the port counted a loss, or the send failed) or silently damaged (in
//     the raw device's case, also by Debian 12's kernel itself, which now and
//     then hands the sequencer bytes a lap of the device's 4 KB buffer old:
//     every reader gets them alike);
//   - a note's round trip through Midi Through straight back to a program,
//     against the same through Velmora's input, thru and output.
#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "midi/alsa/alsa_service.h"
#include "midi/alsa/seq_client.h"

namespace {

using namespace velmora::midi;
using Clock = std::chrono::steady_clock;

std::string Load() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

std::string Named(MidiService& s, bool out, const std::string& part) {
    for (const auto& n : out ? OutDeviceNames(s) : InDeviceNames(s)) {
        if (n.find(part) != std::string::npos) {
            return n;
        }
    }
    return {};
}

// A plain sequencer client with one port, as any program makes it: the
// default pool, a thread that reads and counts.
class Peer {
  public:
    explicit Peer(const char* name) {
        snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
        snd_seq_set_client_name(seq_, name);
        port_ = snd_seq_create_simple_port(seq_, "port",
                                           SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ |
                                               SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                           SND_SEQ_PORT_TYPE_MIDI_GENERIC |
                                               SND_SEQ_PORT_TYPE_APPLICATION);
        reader_ = std::thread([this] { Read(); });
    }
    ~Peer() {
        stop_ = true;
        reader_.join();
        snd_seq_close(seq_);
    }
    int Client() const { return snd_seq_client_id(seq_); }
    snd_seq_t* Seq() const { return seq_; }
    int Port() const { return port_; }
    void SendNote() {
        snd_seq_event_t ev;
        snd_seq_ev_clear(&ev);
        snd_seq_ev_set_noteon(&ev, 0, 60, 100);
        snd_seq_ev_set_source(&ev, static_cast<unsigned char>(port_));
        snd_seq_ev_set_subs(&ev);
        snd_seq_ev_set_direct(&ev);
        snd_seq_event_output_direct(seq_, &ev);
    }
    std::atomic<std::uint64_t> sysexBytes{0};
    std::atomic<std::uint64_t> notes{0};
    std::atomic<std::uint64_t> overruns{0};

  private:
    void Read() {
        pollfd fd{};
        snd_seq_poll_descriptors(seq_, &fd, 1, POLLIN);
        while (!stop_) {
            if (poll(&fd, 1, 20) <= 0) {
                continue;
            }
            snd_seq_event_t* ev = nullptr;
            int got = 0;
            while ((got = snd_seq_event_input(seq_, &ev)) != -EAGAIN) {
                if (got == -ENOSPC) {
                    overruns.fetch_add(1);
                } else if (got >= 0 && ev->type == SND_SEQ_EVENT_SYSEX) {
                    sysexBytes.fetch_add(ev->data.ext.len);
                } else if (got >= 0 && ev->type == SND_SEQ_EVENT_NOTEON) {
                    notes.fetch_add(1);
                } else if (got < 0) {
                    break;
                }
            }
        }
    }
    snd_seq_t* seq_ = nullptr;
    int port_ = -1;
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

std::vector<std::uint8_t> Dump(std::size_t size) {
    std::vector<std::uint8_t> d(size);
    for (std::size_t i = 0; i < size; ++i) {
        d[i] = static_cast<std::uint8_t>(i * 7 & 0x7F);
    }
    d.front() = 0xF0;
    d.back() = 0xF7;
    return d;
}

bool SendBlocks(MidiOutPort& out, const std::vector<std::uint8_t>& dump) {
    for (std::size_t at = 0; at < dump.size(); at += 4096) {
        if (!out.SendLong(
                std::span(dump).subspan(at, std::min<std::size_t>(4096, dump.size() - at)))) {
            return false;
        }
    }
    return true;
}

template <typename Pred> bool WaitFor(Pred done, std::chrono::seconds limit) {
    const auto until = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// The median of `rounds` note round trips: the peer sends, and counts what
// comes back.
double RoundTripUs(Peer& peer, int rounds) {
    std::vector<double> us;
    for (int i = 0; i < rounds; ++i) {
        const std::uint64_t before = peer.notes.load();
        const auto start = Clock::now();
        peer.SendNote();
        if (!WaitFor([&] { return peer.notes.load() > before; }, std::chrono::seconds(2))) {
            return -1;
        }
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(us.begin(), us.end());
    return us[us.size() / 2];
}

// What one 1 MB run came to.
enum class Outcome { Identical, ReportedLost, SilentDamage };

const char* OutcomeName(Outcome o) {
    switch (o) {
    case Outcome::Identical:
        return "identical";
    case Outcome::ReportedLost:
        return "reported lost";
    case Outcome::SilentDamage:
        return "SILENT DAMAGE";
    }
    return "?";
}

// Velmora's input on `device`, keeping every sysex byte it hands over.
class Capture {
  public:
    Capture(MidiService& service, const std::string& device) {
        in_ = service.OpenIn(device, [this](const InputEvent& e) {
            if (e.code == InputMessage::LongData && e.header->dwBytesRecorded > 0) {
                {
                    std::lock_guard lock(mutex_);
                    bytes_.insert(bytes_.end(), e.header->lpData,
                                  e.header->lpData + e.header->dwBytesRecorded);
                }
                count_.fetch_add(e.header->dwBytesRecorded);
                in_->AddBuffer(*e.header);
            }
        });
        if (!in_) {
            return;
        }
        for (std::size_t i = 0; i < headers_.size(); ++i) {
            headers_[i].lpData = storage_[i].data();
            headers_[i].dwBufferLength = static_cast<std::uint32_t>(storage_[i].size());
            in_->PrepareHeader(headers_[i]);
            in_->AddBuffer(headers_[i]);
        }
        in_->Start();
    }
    ~Capture() {
        if (in_) {
            in_->Reset({});
            for (auto& h : headers_) {
                in_->UnprepareHeader(h);
            }
            in_->Close({});
        }
    }
    bool Open() const { return in_ != nullptr; }
    std::uint64_t Count() const { return count_.load(); }
    std::uint64_t Lost() const { return in_->LostEvents(); }
    std::vector<std::uint8_t> Bytes() {
        std::lock_guard lock(mutex_);
        return bytes_;
    }

  private:
    std::unique_ptr<MidiInPort> in_;
    std::vector<MidiHeader> headers_ = std::vector<MidiHeader>(4);
    std::vector<std::vector<std::uint8_t>> storage_ =
        std::vector<std::vector<std::uint8_t>>(4, std::vector<std::uint8_t>(65536));
    std::mutex mutex_;
    std::vector<std::uint8_t> bytes_;
    std::atomic<std::uint64_t> count_{0};
};

// Waits until the whole dump came, or a loss was counted and nothing more
// came for two seconds, or 60 s passed; then judges the run.
Outcome Judge(Capture& in, const std::vector<std::uint8_t>& dump, bool sent) {
    auto lastChange = Clock::now();
    std::uint64_t seen = 0;
    WaitFor(
        [&] {
            const std::uint64_t now = in.Count();
            if (now != seen) {
                seen = now;
                lastChange = Clock::now();
            }
            return now >= dump.size() || ((in.Lost() > 0 || !sent) &&
                                          Clock::now() - lastChange > std::chrono::seconds(2));
        },
        std::chrono::seconds(60));
    if (sent && in.Lost() == 0 && in.Bytes() == dump) {
        return Outcome::Identical;
    }
    return !sent || in.Lost() > 0 ? Outcome::ReportedLost : Outcome::SilentDamage;
}

// Runs `one` `runs` times and prints how they came out.
template <typename Run> void Tally(const char* what, int runs, Run one) {
    int counts[3] = {0, 0, 0};
    std::printf("%s, %d runs:", what, runs);
    std::fflush(stdout);
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        const Outcome o = one();
        ++counts[static_cast<int>(o)];
        std::printf(" %s (%.0f ms);", OutcomeName(o), Ms(Clock::now() - start));
        std::fflush(stdout);
    }
    std::printf("\n  identical %d, reported lost %d, silent damage %d; load %s\n", counts[0],
                counts[1], counts[2], Load().c_str());
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    std::string why;
    auto service = CreateAlsaService(&why);
    if (!service) {
        std::fprintf(stderr, "alsa_path_bench: %s\n", why.c_str());
        return 1;
    }
    const auto dump = Dump(1 << 20);
    std::printf("load average before: %s\n", Load().c_str());
    {
        Peer sink("Bench Sink");
        std::string name;
        WaitFor([&] { return !(name = Named(*service, true, "Bench Sink")).empty(); },
                std::chrono::seconds(10));
        auto out = service->OpenOut(name);
        const auto start = Clock::now();
        const bool sent = out && SendBlocks(*out, dump);
        WaitFor([&] { return sink.sysexBytes.load() >= dump.size(); }, std::chrono::seconds(30));
        std::printf("1 MB to a bare client (default pool): %s in %.0f ms, %llu of %zu bytes came, "
                    "%llu overruns; load %s\n",
                    sent ? "sent" : "NOT sent", Ms(Clock::now() - start),
                    static_cast<unsigned long long>(sink.sysexBytes.load()), dump.size(),
                    static_cast<unsigned long long>(sink.overruns.load()), Load().c_str());
    }
    const std::string through = Named(*service, true, "Midi Through");
    Tally("1 MB through Midi Through to Velmora's input", runs, [&] {
        Capture in(*service, through);
        auto out = service->OpenOut(through);
        const bool sent = in.Open() && out && SendBlocks(*out, dump);
        const Outcome o = Judge(in, dump, sent);
        if (out) {
            out->Close();
        }
        return o;
    });
    {
        const char* path = "/tmp/velmora-alsa-bench.syx";
        if (FILE* f = std::fopen(path, "wb")) {
            std::fwrite(dump.data(), 1, dump.size(), f);
            std::fclose(f);
        }
        const std::string command = std::string("amidi -p hw:0,1 -s ") + path;
        Tally("1 MB unpaced from a raw MIDI device (amidi -s) to Velmora's input", runs, [&] {
            Capture in(*service, Named(*service, false, "VirMIDI 0-1"));
            const bool sent = in.Open() && std::system(command.c_str()) == 0;
            return Judge(in, dump, sent);
        });
        std::remove(path);
    }
    {
        Peer peer("Bench Loop");
        snd_seq_connect_to(peer.Seq(), peer.Port(), 14, 0);
        snd_seq_connect_from(peer.Seq(), peer.Port(), 14, 0);
        const double direct = RoundTripUs(peer, 200);
        snd_seq_disconnect_from(peer.Seq(), peer.Port(), 14, 0);
        std::string name;
        WaitFor([&] { return !(name = Named(*service, true, "Bench Loop")).empty(); },
                std::chrono::seconds(10));
        auto out = service->OpenOut(name);
        MidiOutPort* thru = out.get();
        auto in = service->OpenIn(through, [&](const InputEvent& e) {
            if (e.code == InputMessage::Data) {
                thru->SendShort(e.message);
            }
        });
        in->Start();
        const double viaVelmora = RoundTripUs(peer, 200);
        std::printf("note round trip, median of 200: Midi Through straight back %.0f us, "
                    "through Velmora's thru %.0f us; load %s\n",
                    direct, viaVelmora, Load().c_str());
        in->Reset({});
        in->Close({});
        out->Close();
    }
    return 0;
}
