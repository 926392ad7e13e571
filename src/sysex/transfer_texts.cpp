#include "sysex/transfer_texts.h"

#include "core/cp1252.h"

namespace velmora::sysex {

std::string WaitingText(const std::string& inDeviceName) {
    return "Waiting for Sysex on '" + Utf8ToCp1252(inDeviceName) + "'...";
}

std::string OutDeviceLabel(const std::string& outDeviceName) {
    return "'" + Utf8ToCp1252(outDeviceName) + "'";
}

std::string TransferTextUtf8(const std::string& cp1252Text, const std::string& deviceName) {
    std::string text = Cp1252ToUtf8(cp1252Text);
    const std::string lossy = "'" + Cp1252ToUtf8(Utf8ToCp1252(deviceName)) + "'";
    if (const std::size_t at = text.find(lossy); at != std::string::npos) {
        text.replace(at, lossy.size(), "'" + deviceName + "'");
    }
    return text;
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
    // Messages cut off inside the recording: a new F0 or another status byte
    // (a note from a second source on the same input) before their F7.
    std::size_t cut = 0;
    bool inMessage = false;
    for (const std::uint8_t b : bytes) {
        if (b == 0xF0) {
            cut += inMessage ? 1 : 0;
            inMessage = true;
        } else if (b == 0xF7) {
            inMessage = false;
        } else if (b >= 0x80 && b < 0xF8 && inMessage) {
            ++cut;
            inMessage = false;
        }
    }
    if (cut > 0) {
        why += (why.empty() ? "" : ", and ") + std::to_string(cut) +
               (cut == 1 ? " message was cut off before its end (F7)"
                         : " messages were cut off before their end (F7)");
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
