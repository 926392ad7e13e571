#include "sysex/transfer_texts.h"

#include "core/cp1252.h"

namespace velmora::sysex {

std::string WaitingText(const std::string& inDeviceName) {
    return "Waiting for Sysex on '" + Utf8ToCp1252(inDeviceName) + "'...";
}

std::string OutDeviceLabel(const std::string& outDeviceName) {
    return "'" + Utf8ToCp1252(outDeviceName) + "'";
}

std::string SendingText(const std::string& outDeviceName) {
    return "Sending Sysex on " + OutDeviceLabel(outDeviceName) + "...";
}

std::string SendProgressText(const std::string& deviceLabel, int blocks, std::size_t bytes) {
    return "Sending Sysex on " + deviceLabel + " : " + std::to_string(blocks) + " blocks (" +
           std::to_string(bytes) + " bytes)";
}

std::string SendCompletedText(const std::string& deviceLabel, std::size_t bytes) {
    return "Sending Sysex on " + deviceLabel + " : completed (" + std::to_string(bytes) + " bytes)";
}

std::string IncompleteRecordingQuestion(const std::vector<std::uint8_t>& bytes,
                                        std::uint64_t lostEvents) {
    std::string why;
    if (lostEvents > 0) {
        why = std::to_string(lostEvents) + " events were lost while recording";
    }
    if (!bytes.empty() && bytes.back() != 0xF7) {
        why += (why.empty() ? "" : ", and ") + std::string("the last message has no end (F7)");
    }
    return why.empty() ? why : "This recording is incomplete: " + why + ". Save it anyway?";
}

std::string SendIncompleteText(const std::string& deviceLabel, std::size_t sent,
                               std::size_t unsent) {
    return "Sending Sysex on " + deviceLabel + " : " + std::to_string(sent) + " bytes sent, " +
           std::to_string(unsent) + " not sent";
}

} // namespace velmora::sysex
