#include "core/router_transform.h"

namespace velmora {

ShortMessage RouterTransform(ShortMessage message, int channelIndex, int transpose, int lowNote,
                             int highNote) {
    unsigned status = StatusOf(message);
    if (status > 0xF0) {
        return message;
    }
    if (channelIndex < 0 || channelIndex > 16 || lowNote < 0 || lowNote > 127 || highNote < 0 ||
        highNote > 127) {
        return 0;
    }
    if (channelIndex != 0) {
        status = (status & 0xF0) + static_cast<unsigned>(channelIndex) - 1;
    }
    int data1 = Data1Of(message);
    const unsigned kind = status & 0xF0;
    if (kind == 0x80 || kind == 0x90) {
        if (lowNote > data1 || highNote < data1) {
            return 0;
        }
        data1 += transpose;
        if (data1 < 0 || data1 > 127) {
            return 0;
        }
    }
    return ShortMessage{Data2Of(message)} << 16 | static_cast<ShortMessage>(data1) << 8 | status;
}

} // namespace velmora

namespace velmora {

ShortMessage ThruMessage(ShortMessage message, int thruChannelIndex) {
    const std::uint8_t status = StatusOf(message);
    if (status < 0xF0 && thruChannelIndex >= 1 && thruChannelIndex <= 16) {
        const auto channel = static_cast<ShortMessage>(thruChannelIndex - 1);
        return (message & ~ShortMessage{0x0F}) | channel;
    }
    return message;
}

} // namespace velmora
