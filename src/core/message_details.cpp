#include "core/message_details.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "core/controller_details.h"
#include "core/sysex_details.h"

namespace velmora {
namespace {

constexpr int kDataEntryMsb = 6, kDataEntryLsb = 38, kIncrement = 96, kDecrement = 97;
constexpr int kNrpnLsb = 98, kNrpnMsb = 99, kRpnLsb = 100, kRpnMsb = 101;

std::string Format(const char* format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Number(const std::int8_t (&number)[2]) {
    const auto part = [](int byte) { return byte < 0 ? std::string("?") : std::to_string(byte); };
    return part(number[0]) + "/" + part(number[1]);
}

std::string SongPosition(int sixteenths) {
    const int bar = sixteenths / 16 + 1, beat = sixteenths % 16 / 4 + 1, rest = sixteenths % 4;
    std::string text = "song position " + std::to_string(sixteenths) + " sixteenths: bar " +
                       std::to_string(bar) + ", beat " + std::to_string(beat);
    if (rest != 0) {
        text += " and " + std::to_string(rest) + "/16";
    }
    return text + " (4/4 assumed)";
}

std::string Counted(const char* what, std::uint64_t count, const std::optional<double>& rate,
                    const char* rateFormat) {
    std::string text = std::string(what) + " " + std::to_string(count);
    if (rate) {
        text += ", " + Format(rateFormat, *rate);
    }
    return text;
}

constexpr const char* kClockRate = "%.1f BPM";
constexpr const char* kSensingRate = "%.1f/s";

} // namespace

std::string MessageDetails::Short(ShortMessage message, std::int64_t timeUs) {
    const int status = StatusOf(message), data1 = Data1Of(message) & 0x7F,
              data2 = Data2Of(message) & 0x7F;
    if (status >= 0x80 && status < 0xF0) {
        Channel& ch = channels_[static_cast<std::size_t>(status & 0x0F)];
        switch (status & 0xF0) {
        case 0x90:
            return data2 == 0 ? "velocity 0: a note off" : std::string();
        case 0xA0:
            return "polyphonic key pressure " + std::to_string(data2) + " on key " +
                   std::to_string(data1);
        case 0xB0:
            return Controller(ch, data1, data2);
        case 0xE0:
            return PitchBend(ch, (data2 << 7 | data1) - 8192);
        default:
            return {};
        }
    }
    EventRate* counted = status == 0xF8 ? &clock_ : status == 0xFE ? &sensing_ : nullptr;
    if (counted) {
        if (timeUs == kNoTime) {
            counted->CountOnly();
        } else {
            counted->Add(timeUs);
        }
        return counted == &clock_
                   ? Counted("clock", clock_.Count(),
                             timeUs == kNoTime ? std::nullopt : ClockBpm(timeUs), kClockRate)
                   : Counted("active sensing", sensing_.Count(),
                             timeUs == kNoTime ? std::nullopt : SensingPerSecond(timeUs),
                             kSensingRate);
    }
    switch (status) {
    case 0xF1:
        if (const auto tc = timeCode_.Add(static_cast<std::uint8_t>(data1))) {
            return QuarterFramePieceText(static_cast<std::uint8_t>(data1)) + "; time code " +
                   TimeCodeText(*tc);
        }
        return QuarterFramePieceText(static_cast<std::uint8_t>(data1));
    case 0xF2:
        return SongPosition(data2 << 7 | data1);
    case 0xFF:
        for (Channel& ch : channels_) {
            ch = Channel{};
        }
        timeCode_.Reset();
        return {};
    default:
        return {};
    }
}

std::string MessageDetails::Controller(Channel& ch, int number, int value) {
    if (number >= 120) {
        if (number == 121) {
            const int bendCents = ch.bendCents;
            ch = Channel{};
            ch.bendCents = bendCents;
            ch.selected = Parameter::Null;
        }
        return ChannelModeText(number, value);
    }
    if (number >= kNrpnLsb && number <= kRpnMsb) {
        return Select(ch, number, value);
    }
    const bool dataEntry = number == kDataEntryMsb || number == kDataEntryLsb ||
                           number == kIncrement || number == kDecrement;
    if (dataEntry && (ch.selected != Parameter::None || number >= kIncrement)) {
        return DataEntry(ch, number, value);
    }
    if (number < 32) {
        ch.msb[static_cast<std::size_t>(number)] = static_cast<std::int8_t>(value);
    } else if (number < 64 && ch.msb[static_cast<std::size_t>(number - 32)] >= 0) {
        const int msb = ch.msb[static_cast<std::size_t>(number - 32)];
        return "14-bit value " + std::to_string(msb << 7 | value) + " (controller " +
               std::to_string(number - 32) + " MSB " + std::to_string(msb) + ", LSB " +
               std::to_string(value) + ")";
    }
    return {};
}

std::string MessageDetails::Select(Channel& ch, int number, int value) {
    const bool registered = number >= kRpnLsb;
    std::int8_t(&n)[2] = registered ? ch.rpn : ch.nrpn;
    n[number == kRpnMsb || number == kNrpnMsb ? 0 : 1] = static_cast<std::int8_t>(value);
    ch.value = -1;
    const std::string which = registered ? "RPN " : "NRPN ";
    if (n[0] < 0 || n[1] < 0) {
        ch.selected = Parameter::None;
        return which + (n[0] < 0 ? "parameter LSB " + std::to_string(n[1]) + ", MSB to follow"
                                 : "parameter MSB " + std::to_string(n[0]) + ", LSB to follow");
    }
    if (registered && n[0] == 0x7F && n[1] == 0x7F) {
        ch.selected = Parameter::Null;
        return "RPN null: data entry is now ignored";
    }
    ch.selected = registered ? Parameter::Registered : Parameter::NonRegistered;
    const std::string name = registered ? RegisteredParameterName(n[0], n[1]) : std::string();
    return which + Number(n) + " selected" + (name.empty() ? "" : ": " + name);
}

std::string MessageDetails::DataEntry(Channel& ch, int number, int value) {
    if (ch.selected == Parameter::Null) {
        return "data entry ignored after RPN null";
    }
    if (ch.selected == Parameter::None) {
        return number == kIncrement ? "data increment with no parameter selected"
                                    : "data decrement with no parameter selected";
    }
    const bool registered = ch.selected == Parameter::Registered;
    const std::int8_t(&n)[2] = registered ? ch.rpn : ch.nrpn;
    const std::string which = (registered ? "RPN " : "NRPN ") + Number(n);
    const std::string name = registered ? RegisteredParameterName(n[0], n[1]) : std::string();
    const std::string head = which + (name.empty() ? "" : " " + name);
    if (number == kDataEntryMsb) {
        ch.value = value << 7; // a new MSB clears the LSB
    } else if (number == kDataEntryLsb) {
        if (ch.value < 0) {
            return head + ": data LSB " + std::to_string(value) + ", MSB not yet sent";
        }
        ch.value = (ch.value & ~0x7F) | value;
    } else {
        const int direction = number == kIncrement ? 1 : -1;
        if (ch.value < 0) {
            return head + (direction > 0 ? ": increment" : ": decrement") +
                   ", value unknown before a data entry";
        }
        ch.value = registered ? StepRegisteredValue(n[0], n[1], ch.value, direction)
                              : std::clamp(ch.value + direction, 0, 16383);
    }
    if (registered && n[0] == 0 && n[1] == 0) {
        ch.bendCents = (ch.value >> 7) * 100 + (ch.value & 0x7F);
    }
    return head + " = " + RegisteredValueText(registered ? n[0] : -1, n[1], ch.value);
}

std::string MessageDetails::PitchBend(const Channel& ch, int value) const {
    std::string text = "pitch bend " + std::string(value > 0 ? "+" : "") + std::to_string(value);
    if (value == 0) {
        return text + " (centre)";
    }
    if (ch.bendCents >= 0) {
        text += Format(" (%+.2f semitones)", value / 8192.0 * ch.bendCents / 100.0);
    }
    return text;
}

std::string MessageDetails::Sysex(std::span<const std::uint8_t> bytes) {
    const auto is = [&bytes](std::initializer_list<int> head) {
        std::size_t i = 0;
        for (const int b : head) {
            if (i >= bytes.size() || (b >= 0 && bytes[i] != b)) {
                return false;
            }
            ++i;
        }
        return true;
    };
    if (is({0xF0, 0x7F, -1, 0x01, 0x01})) {
        timeCode_.Reset(); // a full frame locates: quarter frames start again
    } else if (is({0xF0, 0x7E, -1, 0x09, 0x01}) || is({0xF0, 0x7E, -1, 0x09, 0x03})) {
        for (Channel& ch : channels_) {
            ch = Channel{};
            ch.bendCents = 200; // General MIDI's default range
        }
    }
    return DescribeSysex(bytes);
}

std::optional<double> MessageDetails::ClockBpm(std::int64_t nowUs) const {
    const auto perSecond = clock_.PerSecond(nowUs);
    return perSecond ? std::optional(*perSecond * 60.0 / 24.0) : std::nullopt;
}

std::optional<double> MessageDetails::SensingPerSecond(std::int64_t nowUs) const {
    return sensing_.PerSecond(nowUs);
}

std::string MessageDetails::Rates(std::int64_t nowUs) const {
    const auto clock = ClockBpm(nowUs);
    const auto sensing = SensingPerSecond(nowUs);
    std::string text;
    if (clock) {
        text = "clock " + Format(kClockRate, *clock);
    }
    if (sensing) {
        text += (text.empty() ? "" : ", ") + std::string("active sensing ") +
                Format(kSensingRate, *sensing);
    }
    return text;
}

void MessageDetails::Reset() {
    for (Channel& ch : channels_) {
        ch = Channel{};
    }
    timeCode_.Reset();
    clock_.Reset();
    sensing_.Reset();
}

} // namespace velmora
