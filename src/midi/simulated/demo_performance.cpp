#include "midi/simulated/demo_performance.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace velmora::midi {

namespace {

constexpr std::uint32_t kBarMs = 4 * kDemoBeatMs;
constexpr std::uint32_t kEighthMs = kDemoBeatMs / 2;
constexpr int kClocksPerBeat = 24;
constexpr std::uint32_t kActiveSensingMs = 300;

constexpr std::uint8_t kChordChannel = 0;
constexpr std::uint8_t kMelodyChannel = 1;
constexpr std::uint8_t kBassChannel = 2;

constexpr std::uint8_t kModulation = 1;
constexpr std::uint8_t kVolume = 7;
constexpr std::uint8_t kPan = 10;
constexpr std::uint8_t kSustain = 64;
constexpr int kBendCentre = 0x2000;

// Messages due at the same millisecond go in this order, so that a note
// ends before the same note starts again and settings precede the notes.
enum Order : int { kClock, kNoteOff, kSetting, kNoteOn, kSensing, kSysex };

struct MelodyNote {
    int startEighth; // within the bar
    int eighths;
    std::uint8_t key;
};

// Chords of the progression, as played (close voicings around middle C).
constexpr std::array<std::array<std::uint8_t, 3>, 4> kChords{{
    {60, 64, 67}, // C
    {57, 60, 64}, // Am
    {57, 60, 65}, // F
    {55, 59, 62}, // G
}};
constexpr std::array<std::uint8_t, 4> kBassRoots{36, 33, 41, 43};

// One bar of melody per bar of the loop; the second time round is varied.
constexpr std::array<std::array<MelodyNote, 5>, 8> kMelody{{
    {{{0, 2, 76}, {2, 1, 79}, {3, 1, 77}, {4, 2, 76}, {6, 2, 72}}},
    {{{0, 3, 72}, {3, 1, 74}, {4, 2, 76}, {6, 2, 69}, {0, 0, 0}}},
    {{{0, 2, 69}, {2, 2, 72}, {4, 1, 77}, {5, 1, 76}, {6, 2, 74}}},
    {{{0, 4, 74}, {4, 2, 71}, {6, 2, 67}, {0, 0, 0}, {0, 0, 0}}},
    {{{0, 1, 72}, {1, 1, 76}, {2, 1, 79}, {3, 1, 84}, {4, 4, 79}}},
    {{{0, 2, 81}, {2, 2, 79}, {4, 2, 76}, {6, 2, 72}, {0, 0, 0}}},
    {{{0, 3, 77}, {3, 1, 76}, {4, 2, 74}, {6, 2, 72}, {0, 0, 0}}},
    {{{0, 2, 74}, {2, 2, 71}, {4, 4, 74}, {0, 0, 0}, {0, 0, 0}}},
}};

constexpr std::array<std::string_view, 20> kPatchNames{
    "Glass Pad",  "Warm Strings", "Velvet Keys", "Round Bass",   "Air Choir",
    "Soft Brass", "Tine Piano",   "Night Lead",  "Reed Organ",   "Pluck Harp",
    "Dust Bells", "Slow Sweep",   "Clav Funk",   "Flute Breath", "Sub Drone",
    "Mallet Kit", "Nylon Gtr",    "Pulse Arp",   "Cello Solo",   "Wind Chimes",
};

class PerformanceBuilder {
  public:
    void Add(std::uint32_t timeMs, Order order, std::vector<std::uint8_t> bytes) {
        items_.push_back(Item{timeMs, order, std::move(bytes)});
    }

    void Note(std::uint8_t channel, std::uint8_t key, std::uint8_t velocity, std::uint32_t timeMs,
              std::uint32_t lengthMs, bool offByVelocityZero) {
        Add(timeMs, kNoteOn, {static_cast<std::uint8_t>(0x90 | channel), key, velocity});
        if (offByVelocityZero) {
            Add(timeMs + lengthMs, kNoteOff, {static_cast<std::uint8_t>(0x90 | channel), key, 0});
        } else {
            Add(timeMs + lengthMs, kNoteOff, {static_cast<std::uint8_t>(0x80 | channel), key, 64});
        }
    }

    void Control(std::uint8_t channel, std::uint8_t controller, int value, std::uint32_t timeMs) {
        Add(timeMs, kSetting, {static_cast<std::uint8_t>(0xB0 | channel), controller, Data(value)});
    }

    void Program(std::uint8_t channel, std::uint8_t program, std::uint32_t timeMs) {
        Add(timeMs, kSetting, {static_cast<std::uint8_t>(0xC0 | channel), program});
    }

    void Pressure(std::uint8_t channel, int value, std::uint32_t timeMs) {
        Add(timeMs, kSetting, {static_cast<std::uint8_t>(0xD0 | channel), Data(value)});
    }

    void Bend(std::uint8_t channel, int value, std::uint32_t timeMs) {
        value = std::clamp(value, 0, 0x3FFF);
        Add(timeMs, kSetting,
            {static_cast<std::uint8_t>(0xE0 | channel), static_cast<std::uint8_t>(value & 0x7F),
             static_cast<std::uint8_t>(value >> 7)});
    }

    // A straight line of controller-like values from `from` to `to`, one every
    // `stepMs` over `lengthMs`, the last one exactly `to`.
    template <typename Emit>
    static void Ramp(int from, int to, std::uint32_t timeMs, std::uint32_t lengthMs,
                     std::uint32_t stepMs, Emit emit) {
        const std::uint32_t steps = lengthMs / stepMs;
        for (std::uint32_t i = 0; i <= steps; ++i) {
            const int value = from + static_cast<int>((static_cast<long>(to - from) * i) /
                                                      static_cast<long>(steps));
            emit(value, timeMs + i * stepMs);
        }
    }

    LoopedPerformance Finish(std::uint32_t loopMs) {
        std::stable_sort(items_.begin(), items_.end(), [](const Item& a, const Item& b) {
            return a.timeMs != b.timeMs ? a.timeMs < b.timeMs : a.order < b.order;
        });
        LoopedPerformance performance;
        performance.loopMs = loopMs;
        for (Item& item : items_) {
            performance.events.push_back(TimedMessage{item.timeMs, std::move(item.bytes)});
        }
        return performance;
    }

  private:
    struct Item {
        std::uint32_t timeMs;
        Order order;
        std::vector<std::uint8_t> bytes;
    };

    static std::uint8_t Data(int value) {
        return static_cast<std::uint8_t>(std::clamp(value, 0, 127));
    }

    std::vector<Item> items_;
};

// A player's touch: the same phrase never has two identical velocities in a
// row, yet the result is fixed.
std::uint8_t Touch(int base, int seed) {
    return static_cast<std::uint8_t>(std::clamp(base + (seed * 37) % 15 - 7, 1, 127));
}

// A manufacturer dump under the non-commercial ID: F0 7D, device 10h,
// command 01h (dump), the kind (0 patch, 1 bank) and number, then per patch
// a 16-character name and 7-bit parameters, a checksum and F7.
std::vector<std::uint8_t> SysexDump(std::uint8_t kind, int firstPatch, int patches,
                                    int parametersPerPatch) {
    std::vector<std::uint8_t> bytes{0xF0, 0x7D, 0x10, 0x01, kind, 0x00};
    unsigned sum = 0;
    auto put = [&](int value) {
        const auto b = static_cast<std::uint8_t>(value & 0x7F);
        bytes.push_back(b);
        sum += b;
    };
    for (int p = firstPatch; p < firstPatch + patches; ++p) {
        const std::string_view name = kPatchNames[static_cast<std::size_t>(p) % kPatchNames.size()];
        for (std::size_t i = 0; i < 16; ++i) {
            put(i < name.size() ? name[i] : ' ');
        }
        for (int i = 0; i < parametersPerPatch; ++i) {
            put(i * 29 + p * 11 + (i >> 3));
        }
    }
    bytes.push_back(static_cast<std::uint8_t>((128 - sum % 128) % 128));
    bytes.push_back(0xF7);
    return bytes;
}

void AddSetup(PerformanceBuilder& b) {
    b.Program(kChordChannel, 0, 0);   // piano
    b.Program(kMelodyChannel, 81, 0); // saw lead
    b.Program(kBassChannel, 33, 0);   // finger bass
    b.Control(kChordChannel, kVolume, 100, 0);
    b.Control(kMelodyChannel, kVolume, 110, 0);
    b.Control(kBassChannel, kVolume, 96, 0);
    b.Control(kChordChannel, kPan, 56, 0);
    b.Control(kMelodyChannel, kPan, 80, 0);
    b.Control(kBassChannel, kPan, 64, 0);
    b.Control(kMelodyChannel, kModulation, 0, 0);
    b.Bend(kMelodyChannel, kBendCentre, 0);
    // Second time round the melody changes sound and the chords drift across.
    b.Program(kMelodyChannel, 80, 4 * kBarMs); // square lead
    PerformanceBuilder::Ramp(40, 88, 4 * kBarMs, 2 * kBarMs, 125,
                             [&](int v, std::uint32_t t) { b.Control(kChordChannel, kPan, v, t); });
    PerformanceBuilder::Ramp(96, 118, 6 * kBarMs, kBarMs, 100, [&](int v, std::uint32_t t) {
        b.Control(kMelodyChannel, kVolume, v, t);
    });
}

void AddChordsAndBass(PerformanceBuilder& b) {
    int seed = 0;
    for (std::uint32_t bar = 0; bar < 8; ++bar) {
        const std::uint32_t start = bar * kBarMs;
        const auto& chord = kChords[bar % 4];
        b.Control(kChordChannel, kSustain, 127, start + 20);
        for (std::uint32_t strike = 0; strike < 2; ++strike) {
            for (std::uint8_t key : chord) {
                b.Note(kChordChannel, key, Touch(strike == 0 ? 84 : 72, ++seed),
                       start + strike * 2 * kDemoBeatMs, 900, true);
            }
        }
        b.Control(kChordChannel, kSustain, 0, start + kBarMs - 30);

        const std::uint8_t root = kBassRoots[bar % 4];
        b.Note(kBassChannel, root, Touch(100, ++seed), start, 450, false);
        b.Note(kBassChannel, root, Touch(80, ++seed), start + 3 * kEighthMs, 200, false);
        b.Note(kBassChannel, root, Touch(92, ++seed), start + 2 * kDemoBeatMs, 450, false);
        b.Note(kBassChannel, static_cast<std::uint8_t>(root + 7), Touch(86, ++seed),
               start + 3 * kDemoBeatMs, 450, false);
    }
}

void AddMelody(PerformanceBuilder& b) {
    int seed = 3;
    for (std::uint32_t bar = 0; bar < 8; ++bar) {
        for (const MelodyNote& note : kMelody[bar]) {
            if (note.eighths == 0) {
                continue;
            }
            const std::uint32_t time =
                bar * kBarMs + static_cast<std::uint32_t>(note.startEighth) * kEighthMs;
            const std::uint32_t length = static_cast<std::uint32_t>(note.eighths) * kEighthMs - 30;
            b.Note(kMelodyChannel, note.key, Touch(note.startEighth == 0 ? 104 : 90, ++seed), time,
                   length, false);
        }
    }
    // (Bars count from 0.) Bar 4, the long G: a dip of the pitch and a swell of pressure.
    const std::uint32_t longG = 4 * kBarMs + 4 * kEighthMs;
    PerformanceBuilder::Ramp(kBendCentre, kBendCentre - 3000, longG + 200, 200, 20,
                             [&](int v, std::uint32_t t) { b.Bend(kMelodyChannel, v, t); });
    PerformanceBuilder::Ramp(kBendCentre - 3000, kBendCentre, longG + 420, 300, 20,
                             [&](int v, std::uint32_t t) { b.Bend(kMelodyChannel, v, t); });
    PerformanceBuilder::Ramp(30, 100, longG, 500, 50,
                             [&](int v, std::uint32_t t) { b.Pressure(kMelodyChannel, v, t); });
    PerformanceBuilder::Ramp(100, 0, longG + 550, 400, 50,
                             [&](int v, std::uint32_t t) { b.Pressure(kMelodyChannel, v, t); });

    // Bars 3 and 7, the long D: a bend up a tone and back, then vibrato.
    for (const std::uint32_t longD : {3 * kBarMs, 7 * kBarMs + 4 * kEighthMs}) {
        PerformanceBuilder::Ramp(kBendCentre, kBendCentre + 4096, longD + 100, 300, 20,
                                 [&](int v, std::uint32_t t) { b.Bend(kMelodyChannel, v, t); });
        PerformanceBuilder::Ramp(kBendCentre + 4096, kBendCentre, longD + 420, 300, 20,
                                 [&](int v, std::uint32_t t) { b.Bend(kMelodyChannel, v, t); });
        PerformanceBuilder::Ramp(0, 90, longD + 400, 500, 50, [&](int v, std::uint32_t t) {
            b.Control(kMelodyChannel, kModulation, v, t);
        });
        b.Control(kMelodyChannel, kModulation, 0, longD + 980);
    }
}

void AddTimingAndDumps(PerformanceBuilder& b) {
    const int clocks = static_cast<int>(kDemoLoopMs / kDemoBeatMs) * kClocksPerBeat;
    for (int k = 0; k < clocks; ++k) {
        const auto t =
            static_cast<std::uint32_t>((k * kDemoBeatMs + kClocksPerBeat / 2) / kClocksPerBeat);
        b.Add(t, kClock, {0xF8});
    }
    for (std::uint32_t t = 0; t < kDemoLoopMs; t += kActiveSensingMs) {
        b.Add(t, kSensing, {0xFE});
    }
    b.Add(2 * kBarMs, kSysex, SysexDump(0, 0, 4, 242));  // four patches, about 1 KB
    b.Add(6 * kBarMs, kSysex, SysexDump(1, 0, 20, 240)); // a bank of 20, over 5 KB
}

} // namespace

LoopedPerformance DemoPerformance() {
    PerformanceBuilder b;
    AddSetup(b);
    AddChordsAndBass(b);
    AddMelody(b);
    AddTimingAndDumps(b);
    return b.Finish(kDemoLoopMs);
}

std::unique_ptr<SimulatedService> CreateDemoService() {
    auto service = std::make_unique<SimulatedService>(
        std::vector<std::string>{kDemoSynthName, kDemoSynth2Name},
        std::vector<std::string>{kDemoKeyboardName});
    service->SetRecordLimit(kDemoRecordLimit);
    service->SetPerformance(0, DemoPerformance());
    return service;
}

} // namespace velmora::midi
