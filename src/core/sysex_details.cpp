#include "core/sysex_details.h"

#include <cstdio>
#include <string_view>

#include "core/manufacturer_ids.h"
#include "core/midi_time_code.h"

namespace velmora {
namespace {

std::string Hex2(int byte) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", byte & 0xFF);
    return text;
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The data bytes between F0 and the F7, read safely: missing bytes read as 0.
class Body {
  public:
    explicit Body(std::span<const std::uint8_t> bytes) : bytes_(bytes.subspan(1)) {
        if (!bytes_.empty() && bytes_.back() == 0xF7) {
            bytes_ = bytes_.first(bytes_.size() - 1);
        }
    }
    std::size_t size() const { return bytes_.size(); }
    int operator[](std::size_t i) const { return i < bytes_.size() ? bytes_[i] & 0x7F : 0; }
    bool Has(std::size_t count) const { return bytes_.size() >= count; }
    // A 14-bit value sent LSB first at i.
    int Value14(std::size_t i) const { return (*this)[i] | (*this)[i + 1] << 7; }
    // A 21-bit value sent LSB first at i.
    long Value21(std::size_t i) const {
        return static_cast<long>((*this)[i]) | static_cast<long>((*this)[i + 1]) << 7 |
               static_cast<long>((*this)[i + 2]) << 14;
    }
    std::span<const std::uint8_t> From(std::size_t i) const {
        return i < bytes_.size() ? bytes_.subspan(i) : std::span<const std::uint8_t>{};
    }

  private:
    std::span<const std::uint8_t> bytes_;
};

std::string ManufacturerText(std::span<const std::uint8_t> idBytes, const ManufacturerId& id) {
    if (!id.name.empty()) {
        return std::string(id.name);
    }
    std::string hex;
    for (std::size_t i = 0; i < id.length; ++i) {
        hex += (i ? " " : "") + Hex2(idBytes[i]);
    }
    return "unlisted manufacturer " + hex;
}

std::string IdentityReply(const Body& b) {
    const ManufacturerId id = FindManufacturer(b.From(4));
    const std::size_t at = 4 + id.length; // family code
    if (id.length == 0 || !b.Has(at + 8)) {
        return "identity reply, cut short";
    }
    char text[96];
    std::snprintf(text, sizeof text,
                  ", family %02X%02X, member %02X%02X, version %02X %02X %02X %02X", b[at + 1],
                  b[at], b[at + 3], b[at + 2], b[at + 4], b[at + 5], b[at + 6], b[at + 7]);
    return "identity reply: " + ManufacturerText(b.From(4), id) + text;
}

std::string SampleDumpHeader(const Body& b) {
    if (!b.Has(19)) {
        return "sample dump header, cut short";
    }
    static constexpr std::string_view kLoops[] = {"forward", "backward and forward"};
    const int loop = b[18];
    const std::string loopText = loop == 0x7F ? "loop off"
                                 : loop < 2   ? "loop " + std::string(kLoops[loop])
                                              : "loop type " + Hex2(loop);
    const long period = b.Value21(6);
    char text[200];
    std::snprintf(text, sizeof text,
                  "sample dump header: sample %d, %d-bit, period %ld ns%s, %ld words, loop "
                  "points %ld to %ld, %s",
                  b.Value14(3), b[5], period,
                  period > 0 ? Format(" (%.0f Hz)", 1e9 / static_cast<double>(period)).c_str() : "",
                  b.Value21(9), b.Value21(12), b.Value21(15), loopText.c_str());
    return text;
}

std::string NonRealTime(const Body& b) {
    const int sub2 = b[3];
    switch (b[2]) {
    case 0x01:
        return SampleDumpHeader(b);
    case 0x02:
        return "sample data packet " + std::to_string(sub2);
    case 0x03:
        return "sample dump request, sample " + std::to_string(b.Value14(3));
    case 0x04:
        return "MIDI time code cueing set-up";
    case 0x05:
        return "sample dump extension";
    case 0x06:
        return sub2 == 0x01   ? std::string("identity request")
               : sub2 == 0x02 ? IdentityReply(b)
                              : "general information";
    case 0x07:
        return "file dump";
    case 0x08:
        return "MIDI tuning standard";
    case 0x09:
        return sub2 == 0x01   ? "General MIDI system on"
               : sub2 == 0x02 ? "General MIDI system off"
               : sub2 == 0x03 ? "General MIDI 2 system on"
                              : "General MIDI message";
    case 0x0A:
        return "downloadable sounds";
    case 0x0B:
        return "file reference";
    case 0x0C:
        return "MIDI visual control";
    case 0x0D:
        return "MIDI capability inquiry";
    case 0x7B:
        return "end of file";
    case 0x7C:
        return "wait";
    case 0x7D:
        return "cancel";
    case 0x7E:
        return "NAK (not acknowledged)";
    case 0x7F:
        return "ACK (acknowledged)";
    default:
        return !b.Has(3) ? "no sub-ID" : "sub-ID " + Hex2(b[2]) + " (unlisted)";
    }
}

std::string DeviceControl(const Body& b) {
    const int sub2 = b[3];
    if (sub2 >= 1 && sub2 <= 4 && !b.Has(6)) {
        return "device control, cut short";
    }
    const int value = b.Value14(4);
    switch (sub2) {
    case 0x01:
        return "master volume " + std::to_string(value) +
               Format(" (%.1f %%)", value * 100.0 / 16383.0);
    case 0x02:
        return "master balance " + std::string(value > 8192 ? "+" : "") +
               std::to_string(value - 8192) +
               (value == 8192  ? " (centre)"
                : value < 8192 ? " (left)"
                               : " (right)");
    case 0x03:
        return "master fine tuning " + Format("%+.2f cents", (value - 8192) * 100.0 / 8192.0);
    case 0x04:
        return "master coarse tuning " + std::string(b[5] > 64 ? "+" : "") +
               std::to_string(b[5] - 64) + " semitones";
    case 0x05:
        return "global parameter control";
    default:
        return "device control";
    }
}

std::string RealTime(const Body& b) {
    const int sub2 = b[3];
    switch (b[2]) {
    case 0x01:
        if (sub2 == 0x01) {
            if (!b.Has(8)) {
                return "MIDI time code full frame, cut short";
            }
            const TimeCode tc =
                TimeCodeFromBytes(static_cast<std::uint8_t>(b[4]), static_cast<std::uint8_t>(b[5]),
                                  static_cast<std::uint8_t>(b[6]), static_cast<std::uint8_t>(b[7]));
            return "MIDI time code full frame " + TimeCodeText(tc);
        }
        return sub2 == 0x02 ? "MIDI time code user bits" : "MIDI time code";
    case 0x02:
        return "MIDI show control";
    case 0x03:
        return sub2 == 0x01   ? "notation: bar number"
               : sub2 == 0x02 ? "notation: time signature (immediate)"
               : sub2 == 0x42 ? "notation: time signature (delayed)"
                              : "notation information";
    case 0x04:
        return DeviceControl(b);
    case 0x05:
        return "real-time MIDI time code cueing";
    case 0x06:
        return "MIDI machine control command";
    case 0x07:
        return "MIDI machine control response";
    case 0x08:
        return "MIDI tuning standard (real-time)";
    case 0x09:
        return "controller destination setting";
    case 0x0A:
        return "key-based instrument control";
    case 0x0B:
        return "scalable polyphony MIP message";
    case 0x0C:
        return "mobile phone control";
    default:
        return !b.Has(3) ? "no sub-ID" : "sub-ID " + Hex2(b[2]) + " (unlisted)";
    }
}

} // namespace

std::string DescribeSysex(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes[0] != 0xF0) {
        return {};
    }
    const Body b(bytes);
    const ManufacturerId id = FindManufacturer(b.From(0));
    if (id.length == 0) {
        return "sysex without a manufacturer ID";
    }
    const std::string who = ManufacturerText(b.From(0), id);
    const int kind = b[0];
    if (kind != 0x7E && kind != 0x7F) {
        return who;
    }
    if (!b.Has(2)) {
        return who + ", cut short";
    }
    const std::string device = b[1] == 0x7F ? "all devices" : "device 0x" + Hex2(b[1]);
    return who + " to " + device + ": " + (kind == 0x7E ? NonRealTime(b) : RealTime(b));
}

} // namespace velmora
