#include "core/message_details.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/manufacturer_ids.h"

using namespace velmora;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The details of each message of a stream, in order.
std::vector<std::string> Feed(MessageDetails& d, std::initializer_list<ShortMessage> stream) {
    std::vector<std::string> out;
    for (const ShortMessage m : stream) {
        out.push_back(d.Short(m));
    }
    return out;
}

ShortMessage M(std::uint8_t status, std::uint8_t data1 = 0, std::uint8_t data2 = 0) {
    return PackShortMessage(status, data1, data2);
}

std::string Sysex(const Bytes& bytes) {
    MessageDetails d;
    return d.Sysex(bytes);
}

} // namespace

TEST(MessageDetails, PitchBendAndFourteenBitControllers) {
    MessageDetails d;
    EXPECT_EQ(d.Short(M(0xE0, 0x00, 0x40)), "pitch bend 0 (centre)");
    EXPECT_EQ(d.Short(M(0xE0, 0x00, 0x00)), "pitch bend -8192");
    EXPECT_EQ(d.Short(M(0xEF, 0x7F, 0x7F)), "pitch bend +8191");
    EXPECT_EQ(d.Short(M(0x90, 60, 0)), "velocity 0: a note off");
    EXPECT_EQ(d.Short(M(0x90, 60, 1)), "");

    // Main volume MSB 100 then LSB 16 on channel 4; an LSB on another channel,
    // or with no MSB before it, says nothing.
    EXPECT_EQ(Feed(d, {M(0xB3, 7, 100), M(0xB3, 39, 16), M(0xB4, 39, 16), M(0xB3, 40, 1)}),
              (std::vector<std::string>{"", "14-bit value 12816 (controller 7 MSB 100, LSB 16)", "",
                                        ""}));
    // A later LSB alone refines the same MSB.
    EXPECT_EQ(d.Short(M(0xB3, 39, 0)), "14-bit value 12800 (controller 7 MSB 100, LSB 0)");
    // Reset all controllers forgets the MSB.
    d.Short(M(0xB3, 121, 0));
    EXPECT_EQ(d.Short(M(0xB3, 39, 0)), "");
}

TEST(MessageDetails, RegisteredAndNonRegisteredParameters) {
    MessageDetails d;
    // Pitch bend sensitivity to 2 semitones 50 cents, then a bend of a half.
    EXPECT_EQ(Feed(d, {M(0xB0, 101, 0), M(0xB0, 100, 0), M(0xB0, 6, 2), M(0xB0, 38, 50),
                       M(0xE0, 0, 0x60)}),
              (std::vector<std::string>{"RPN parameter MSB 0, LSB to follow",
                                        "RPN 0/0 selected: pitch bend sensitivity",
                                        "RPN 0/0 pitch bend sensitivity = 2 semitones 0 cents",
                                        "RPN 0/0 pitch bend sensitivity = 2 semitones 50 cents",
                                        "pitch bend +4096 (+1.25 semitones)"}));
    // Increments step a cent, carrying into semitones at 100.
    d.Short(M(0xB0, 38, 99));
    EXPECT_EQ(d.Short(M(0xB0, 96, 0)), "RPN 0/0 pitch bend sensitivity = 3 semitones 0 cents");
    EXPECT_EQ(d.Short(M(0xB0, 97, 0)), "RPN 0/0 pitch bend sensitivity = 2 semitones 99 cents");

    const auto value = [&d](std::uint8_t lsb, std::uint8_t msbValue, std::uint8_t lsbValue) {
        d.Short(M(0xB1, 101, 0));
        d.Short(M(0xB1, 100, lsb));
        d.Short(M(0xB1, 6, msbValue));
        return d.Short(M(0xB1, 38, lsbValue));
    };
    EXPECT_EQ(value(1, 0x40, 0), "RPN 0/1 fine tuning = +0.00 cents");
    EXPECT_EQ(value(1, 0x00, 0), "RPN 0/1 fine tuning = -100.00 cents");
    EXPECT_EQ(value(2, 0x34, 0), "RPN 0/2 coarse tuning = -12 semitones");
    EXPECT_EQ(d.Short(M(0xB1, 96, 0)), "RPN 0/2 coarse tuning = -11 semitones");
    EXPECT_EQ(value(3, 5, 0), "RPN 0/3 tuning program select = program 5");
    EXPECT_EQ(value(4, 2, 0), "RPN 0/4 tuning bank select = bank 2");
    EXPECT_EQ(value(5, 0, 64), "RPN 0/5 modulation depth range = 0 semitones 50.0 cents");
    EXPECT_EQ(value(9, 1, 2), "RPN 0/9 = 130 (MSB 1, LSB 2)");

    // Each channel keeps its own selection; channel 1 still has RPN 0/0.
    EXPECT_EQ(d.Short(M(0xB0, 6, 12)), "RPN 0/0 pitch bend sensitivity = 12 semitones 0 cents");
    EXPECT_EQ(Feed(d, {M(0xB0, 101, 127), M(0xB0, 100, 127), M(0xB0, 6, 1)}),
              (std::vector<std::string>{"RPN 127/0 selected", "RPN null: data entry is now ignored",
                                        "data entry ignored after RPN null"}));

    // NRPN 1/8 (MSB 1, LSB 8), data MSB 64, then an increment.
    EXPECT_EQ(Feed(d, {M(0xB2, 99, 1), M(0xB2, 98, 8), M(0xB2, 6, 64), M(0xB2, 96, 0)}),
              (std::vector<std::string>{"NRPN parameter MSB 1, LSB to follow", "NRPN 1/8 selected",
                                        "NRPN 1/8 = 8192 (MSB 64, LSB 0)",
                                        "NRPN 1/8 = 8193 (MSB 64, LSB 1)"}));
    // Data increments before any data entry, or with nothing selected.
    EXPECT_EQ(Feed(d, {M(0xB5, 99, 0), M(0xB5, 98, 0), M(0xB5, 96, 0), M(0xB6, 97, 0)}),
              (std::vector<std::string>{"NRPN parameter MSB 0, LSB to follow", "NRPN 0/0 selected",
                                        "NRPN 0/0: increment, value unknown before a data entry",
                                        "data decrement with no parameter selected"}));
    // Data entry with nothing selected is a plain 14-bit pair.
    EXPECT_EQ(Feed(d, {M(0xB7, 6, 1), M(0xB7, 38, 1)}),
              (std::vector<std::string>{"", "14-bit value 129 (controller 6 MSB 1, LSB 1)"}));
}

TEST(MessageDetails, TimeCodeSongPositionAndChannelMode) {
    MessageDetails d;
    // 01:02:03:04 at 25 fps in eight quarter frames, forward.
    const auto pieces = Feed(d, {M(0xF1, 0x04), M(0xF1, 0x10), M(0xF1, 0x23), M(0xF1, 0x30),
                                 M(0xF1, 0x42), M(0xF1, 0x50), M(0xF1, 0x61), M(0xF1, 0x72)});
    EXPECT_EQ(pieces[0], "time code piece 0, frames low nibble 4");
    EXPECT_EQ(pieces[7], "time code piece 7, hours high nibble and rate 2; time code "
                         "01:02:03:04 at 25 fps");
    // Backward (7 to 0), 29.97 drop-frame; a piece out of order starts again.
    const auto skipped = Feed(d, {M(0xF1, 0x74), M(0xF1, 0x62), M(0xF1, 0x50), M(0xF1, 0x32),
                                  M(0xF1, 0x29), M(0xF1, 0x11), M(0xF1, 0x0D)});
    EXPECT_EQ(skipped.back(), "time code piece 0, frames low nibble 13");
    const auto backward = Feed(d, {M(0xF1, 0x74), M(0xF1, 0x62), M(0xF1, 0x50), M(0xF1, 0x45),
                                   M(0xF1, 0x32), M(0xF1, 0x29), M(0xF1, 0x11), M(0xF1, 0x0D)});
    EXPECT_EQ(backward.back(), "time code piece 0, frames low nibble 13; time code "
                               "02:05:41:29 at 29.97 fps drop-frame");
    // Seven pieces and a full frame: the full frame locates, so the count starts again.
    Feed(d, {M(0xF1, 0x00), M(0xF1, 0x10), M(0xF1, 0x20), M(0xF1, 0x30), M(0xF1, 0x40),
             M(0xF1, 0x50), M(0xF1, 0x60)});
    EXPECT_EQ(d.Sysex(Bytes{0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x61, 0x3B, 0x3B, 0x1D, 0xF7}),
              "universal real-time to all devices: MIDI time code full frame 01:59:59:29 at "
              "30 fps");
    EXPECT_EQ(d.Short(M(0xF1, 0x76)).find("; time code"), std::string::npos);
    EXPECT_EQ(Sysex({0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x18, 0x3C, 0, 0x19, 0xF7}),
              "universal real-time to all devices: MIDI time code full frame 24:60:00:25 at "
              "24 fps (out of range)");

    EXPECT_EQ(d.Short(M(0xF2, 0, 0)), "song position 0 sixteenths: bar 1, beat 1 (4/4 assumed)");
    EXPECT_EQ(d.Short(M(0xF2, 0x16, 0x01)),
              "song position 150 sixteenths: bar 10, beat 2 and 2/16 (4/4 assumed)");

    EXPECT_EQ(
        Feed(d, {M(0xB0, 120), M(0xB0, 121), M(0xB0, 122, 0), M(0xB0, 122, 127), M(0xB0, 123),
                 M(0xB0, 124), M(0xB0, 125), M(0xB0, 126, 1), M(0xB0, 126, 0), M(0xB0, 127)}),
        (std::vector<std::string>{
            "all sound off: every voice stops at once", "reset all controllers to their defaults",
            "local control off: the keyboard plays only MIDI out",
            "local control on: the keyboard plays the instrument",
            "all notes off (held by the sustain pedal until it is released)",
            "omni mode off, and all notes off", "omni mode on, and all notes off",
            "mono mode on, 1 channel, and all notes off",
            "mono mode on, as many channels as voices, and all notes off",
            "poly mode on, and all notes off"}));
}

TEST(MessageDetails, SysexNamedFromThePublicLists) {
    // The compiled table: every ID of the data file, sorted for the search.
    ASSERT_EQ(detail::kManufacturerCount, 560u);
    for (std::size_t i = 1; i < detail::kManufacturerCount; ++i) {
        EXPECT_LT(detail::kManufacturerTable[i - 1].key, detail::kManufacturerTable[i].key);
    }
    EXPECT_EQ(Sysex({0xF0, 0x41, 0x10, 0x42, 0x12, 0xF7}), "Roland Corporation");
    EXPECT_EQ(Sysex({0xF0, 0x43, 0x10}), "Yamaha Corporation"); // a first block, no F7
    EXPECT_EQ(Sysex({0xF0, 0x00, 0x00, 0x0E, 0x01, 0xF7}), "Alesis Studio Electronics");
    EXPECT_EQ(Sysex({0xF0, 0x00, 0x20, 0x04, 0xF7}), "B\xC3\xB6hm electronic GmbH");
    EXPECT_EQ(Sysex({0xF0, 0x00, 0x7F, 0x7F, 0xF7}), "unlisted manufacturer 00 7F 7F");
    EXPECT_EQ(Sysex({0xF0, 0x45, 0xF7}), "unlisted manufacturer 45");
    EXPECT_EQ(Sysex({0xF0, 0x7D, 0x01, 0xF7}), "non-commercial (education and development)");
    EXPECT_EQ(Sysex({0xF0, 0x00, 0x20, 0xF7}), "sysex without a manufacturer ID");
    EXPECT_EQ(Sysex({0xF0, 0xF7}), "sysex without a manufacturer ID");
    EXPECT_EQ(Sysex({0x90, 0x3C}), "");

    const std::string nrt = "universal non-real-time to ";
    const std::string rt = "universal real-time to all devices: ";
    EXPECT_EQ(Sysex({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}), nrt + "all devices: identity request");
    EXPECT_EQ(Sysex({0xF0, 0x7E, 0x10, 0x06, 0x02, 0x41, 0x16, 0x02, 0x02, 0x00, 0x00, 0x01, 0x00,
                     0x00, 0xF7}),
              nrt + "device 0x10: identity reply: Roland Corporation, family 0216, member 0002, "
                    "version 00 01 00 00");
    EXPECT_EQ(Sysex({0xF0, 0x7E, 0x00, 0x06, 0x02, 0x00, 0x20, 0x29, 0x01, 0x00, 0x02, 0x00, 0x01,
                     0x02, 0x03, 0x04, 0xF7}),
              nrt + "device 0x00: identity reply: Focusrite/Novation, family 0001, member "
                    "0002, version 01 02 03 04");
    EXPECT_EQ(Sysex({0xF0, 0x7E, 0x00, 0x06, 0x02, 0x41, 0x16, 0xF7}),
              nrt + "device 0x00: identity reply, cut short");
    EXPECT_EQ(Sysex({0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}),
              nrt + "all devices: General MIDI system on");
    EXPECT_EQ(Sysex({0xF0, 0x7E, 0x7F, 0x09, 0x02, 0xF7}),
              nrt + "all devices: General MIDI system off");
    EXPECT_EQ(Sysex({0xF0, 0x7E, 0x7F, 0x09, 0x03, 0xF7}),
              nrt + "all devices: General MIDI 2 system on");
    EXPECT_EQ(Sysex({0xF0, 0x7E, 0x7F, 0x7F, 0x00, 0xF7}), nrt + "all devices: ACK (acknowledged)");
    EXPECT_EQ(Sysex({0xF0, 0x7E, 0x7F, 0x44, 0xF7}), nrt + "all devices: sub-ID 44 (unlisted)");
    EXPECT_EQ(Sysex({0xF0, 0x7E, 0x7F, 0xF7}), nrt + "all devices: no sub-ID");
    // Sample 5, 16 bits, period 22676 ns, 1000 words, loop 0 to 999 forward.
    EXPECT_EQ(Sysex({0xF0, 0x7E, 0x00, 0x01, 0x05, 0x00, 0x10, 0x14, 0x31, 0x01, 0x68,
                     0x07, 0x00, 0x00, 0x00, 0x00, 0x67, 0x07, 0x00, 0x00, 0xF7}),
              nrt + "device 0x00: sample dump header: sample 5, 16-bit, period 22676 ns (44099 "
                    "Hz), 1000 words, loop points 0 to 999, loop forward");

    EXPECT_EQ(Sysex({0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x7F, 0x7F, 0xF7}),
              rt + "master volume 16383 (100.0 %)");
    EXPECT_EQ(Sysex({0xF0, 0x7F, 0x7F, 0x04, 0x02, 0x00, 0x40, 0xF7}),
              rt + "master balance 0 (centre)");
    EXPECT_EQ(Sysex({0xF0, 0x7F, 0x7F, 0x04, 0x02, 0x00, 0x00, 0xF7}),
              rt + "master balance -8192 (left)");
    EXPECT_EQ(Sysex({0xF0, 0x7F, 0x7F, 0x04, 0x04, 0x00, 0x3E, 0xF7}),
              rt + "master coarse tuning -2 semitones");
    EXPECT_EQ(Sysex({0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x7F, 0xF7}), rt + "device control, cut short");
    EXPECT_EQ(Sysex({0xF0, 0x7F, 0x7F, 0x06, 0x02, 0xF7}), rt + "MIDI machine control command");

    // General MIDI on sets every channel's bend range to 2 semitones.
    MessageDetails d;
    d.Sysex(Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    EXPECT_EQ(d.Short(M(0xE5, 0, 0)), "pitch bend -8192 (-2.00 semitones)");
}

TEST(MessageDetails, ClockAndActiveSensingAreCountedAsRates) {
    MessageDetails d;
    EXPECT_EQ(d.Rates(0), "");
    std::int64_t t = 5'000'000;
    std::string last;
    for (int i = 0; i < 48; ++i, t += 20'833) { // 24 a quarter note at 120 BPM
        last = d.Short(kTimingClock, t);
    }
    EXPECT_EQ(last, "clock 48, 120.0 BPM");
    for (int i = 0; i < 4; ++i, t += 300'000) {
        last = d.Short(kActiveSensing, t);
    }
    EXPECT_EQ(last, "active sensing 4, 3.3/s");
    EXPECT_EQ(d.Rates(t + 200'000), "active sensing 3.3/s"); // the clock stopped over a second ago
    EXPECT_EQ(d.Rates(t + 2'000'000), "");

    // After a pause the rate is measured anew; times going backwards too.
    d.Short(kTimingClock, t + 5'000'000);
    d.Short(kTimingClock, t + 5'010'000);
    EXPECT_EQ(d.Rates(t + 5'010'000), "clock 250.0 BPM");
    d.Short(kTimingClock, 0);
    EXPECT_EQ(d.Rates(0), "");
    // Without times the messages are only counted.
    EXPECT_EQ(d.Short(kTimingClock), "clock 52");
    d.Reset();
    EXPECT_EQ(d.Short(kActiveSensing), "active sensing 1");
}
