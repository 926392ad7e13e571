// Figures of the ALSA back end on a real sequencer; run in the ALSA guest:
//   tests/alsa/vm/run-in-vm -- build/bench/alsa_path_bench
// Prints, with the load average beside them:
//   - 1 MB of sysex sent to a bare client (a program with the sequencer's
//     default input pool, reading as fast as it can): time, bytes that came;
//   - 1 MB through Midi Through to Velmora's input: time, losses;
//   - a note's round trip through Midi Through straight back to a program,
//     against the same through Velmora's input, thru and output.
#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
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

} // namespace

int main() {
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
    {
        std::atomic<std::uint64_t> bytes{0};
        std::vector<MidiHeader> headers(4);
        std::vector<std::vector<std::uint8_t>> storage(4, std::vector<std::uint8_t>(65536));
        MidiInPort* port = nullptr;
        auto in = service->OpenIn(through, [&](const InputEvent& e) {
            if (e.code == InputMessage::LongData && e.header->dwBytesRecorded > 0) {
                bytes.fetch_add(e.header->dwBytesRecorded);
                port->AddBuffer(*e.header);
            }
        });
        port = in.get();
        for (std::size_t i = 0; i < headers.size(); ++i) {
            headers[i].lpData = storage[i].data();
            headers[i].dwBufferLength = 65536;
            in->PrepareHeader(headers[i]);
            in->AddBuffer(headers[i]);
        }
        in->Start();
        auto out = service->OpenOut(through);
        const auto start = Clock::now();
        const bool sent = out && SendBlocks(*out, dump);
        WaitFor([&] { return bytes.load() >= dump.size(); }, std::chrono::seconds(30));
        std::printf("1 MB through Midi Through to Velmora's input: %s in %.0f ms, %llu bytes "
                    "came, %llu lost; load %s\n",
                    sent ? "sent" : "NOT sent", Ms(Clock::now() - start),
                    static_cast<unsigned long long>(bytes.load()),
                    static_cast<unsigned long long>(in->LostEvents()), Load().c_str());
        out->Close();
        in->Reset({});
        for (auto& h : headers) {
            in->UnprepareHeader(h);
        }
        in->Close({});
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
