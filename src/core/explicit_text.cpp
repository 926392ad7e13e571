#include "core/explicit_text.h"

#include <string_view>

#include "core/text_tools.h"

namespace velmora {
namespace {

constexpr const char* kUnused = "Unused";

std::string ChannelText(std::uint8_t channel) {
    std::string text = "Channel ";
    const int number = channel + 1;
    if (number >= 10) {
        text += static_cast<char>('0' + number / 10);
    }
    text += static_cast<char>('0' + number % 10);
    return text;
}

void AppendColumn(std::string& line, std::string_view text, std::size_t width) {
    const std::size_t kept = text.size() < width ? text.size() : width;
    line.append(text.data(), kept);
    line.append(width - kept, ' ');
}

std::string BuildHistoryLine(std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                             const std::array<std::string, 4>& labels, bool velocityPrefix) {
    std::string line;
    line.reserve(kHistoryLineWidth + 2);
    line += HexBytes(status, data1, data2);
    line.append(12 - 8, ' ');
    AppendColumn(line, labels[0], 17);
    AppendColumn(line, labels[1], 12);
    if (velocityPrefix) {
        constexpr std::string_view kVelocity = "Velocity: "; // shorter than the column
        line += kVelocity;
        AppendColumn(line, labels[2], 14 - kVelocity.size());
    } else {
        AppendColumn(line, labels[2], 14);
    }
    AppendColumn(line, labels[3], 10);
    line += "\r\n";
    return line;
}

} // namespace

ExplicitText Explicit(std::uint8_t statusClass, std::uint8_t data1, std::uint8_t data2,
                      std::uint8_t channel) {
    ExplicitText out;
    auto& l = out.labels;
    int bar = data2;
    bool velocity = false;
    switch (statusClass) {
    case 0x80:
        l = {"Note Off", NoteName(data1), DecimalField(data2), ""};
        bar = 0;
        velocity = true;
        break;
    case 0x90:
        l = {"Note On", NoteName(data1), DecimalField(data2), ""};
        velocity = true;
        break;
    case 0xB0:
        l = {"Control Change", ControlName(data1), DecimalField(data2), ""};
        break;
    case 0xC0:
        l = {"Program Change", DecimalField(data1), kUnused, ""};
        bar = data1;
        break;
    case 0xD0:
        l = {"After Touch", DecimalField(data1), kUnused, ""};
        bar = data1;
        break;
    case 0xE0:
        l = {"Pitch Bend", DecimalField(data1), DecimalField(data2), ""};
        bar = data2 == 64 ? 0 : data2;
        break;
    default: // polyphonic key pressure, 0xF0 and anything below 0x80
        l = {"Unknow", "Unknow", "Unknow", ""};
        break;
    }
    l[3] = ChannelText(channel);
    const auto status = static_cast<std::uint8_t>(statusClass + channel);
    out.historyLine = BuildHistoryLine(status, data1, data2, l, velocity);
    out.bar = bar;
    return out;
}

ExplicitText explicitCommon(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    ExplicitText out;
    auto& l = out.labels;
    l = {"", kUnused, kUnused, kUnused};
    switch (status) {
    case 0xF1:
        l[0] = "Quater frame";
        l[1] = DecimalField(data1);
        break;
    case 0xF2:
        l[0] = "Song Position";
        l[1] = DecimalField(data1);
        l[2] = DecimalField(data2);
        break;
    case 0xF3:
        l[0] = "Song select";
        l[1] = DecimalField(data1);
        break;
    case 0xF6:
        l[0] = "Tune request";
        break;
    case 0xF8:
        l[0] = "Clock";
        break;
    case 0xFA:
        l[0] = "Start";
        break;
    case 0xFB:
        l[0] = "Continue";
        break;
    case 0xFC:
        l[0] = "Stop";
        break;
    case 0xFF:
        l[0] = "System reset";
        break;
    default:
        l[0] = "Unknow Common";
        break;
    }
    out.historyLine = BuildHistoryLine(status, data1, data2, l, false);
    return out;
}

ExplicitText DescribeShortMessage(ShortMessage message) {
    const std::uint8_t status = StatusOf(message);
    if (status > 0xF0) {
        return explicitCommon(status, Data1Of(message), Data2Of(message));
    }
    return Explicit(status & 0xF0, Data1Of(message), Data2Of(message), status & 0x0F);
}

} // namespace velmora
