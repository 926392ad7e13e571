// The texts of sysex recording and sending, as the record and send windows
// and velmora-cli show them. Windows-1252; device names are taken in UTF-8
// (as the MIDI service gives them) and converted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora::sysex {

inline constexpr const char* kNothingToSave = "Nothing to save !";
inline constexpr const char* kSendError = "An error occur while sending Sysex";
inline constexpr const char* kSendCancelled = "Op\xE9ration Canceled !";
inline constexpr const char* kNoSysexInFile =
    "No sysex message (F0 ... F7) in this file: nothing sent !";

// The file dialogs.
inline constexpr const char* kSysexFileFilter = "Sysex Files (*.syx)|*.syx";
inline constexpr const char* kSysexFileExtension = "syx";
inline constexpr const char* kSaveDialogTitle = "Save recorded Sysex";
inline constexpr const char* kLoadDialogTitle = "Load Sysex file";

// "Waiting for Sysex on 'NAME'...": the record window before the first block.
std::string WaitingText(const std::string& inDeviceName);

// Why a recording is known to be incomplete, as a question before it is
// saved: input lost while recording, messages cut off inside it, a last
// message without its F7. Empty when nothing is known to be missing.
std::string IncompleteRecordingQuestion(const std::vector<std::uint8_t>& bytes,
                                        std::uint64_t lostEvents);

// One of these texts in UTF-8 with the device's name as the service gave it:
// Windows-1252 holds '?' for every character of the name it lacks.
std::string TransferTextUtf8(const std::string& cp1252Text, const std::string& deviceName);

// "'NAME'": the send window's device label, which the progress texts use.
std::string OutDeviceLabel(const std::string& outDeviceName);
// "Sending Sysex on 'NAME'...": the send window when it opens.
std::string SendingText(const std::string& outDeviceName);
// "Sending Sysex on 'NAME' : 3 blocks (10000 bytes)".
std::string SendProgressText(const std::string& deviceLabel, int blocks, std::size_t bytes);
// "Sending Sysex on 'NAME' : completed (10000 bytes)".
std::string SendCompletedText(const std::string& deviceLabel, std::size_t bytes);
// "Sending Sysex on 'NAME' : 9000 bytes sent, 12 not sent": the output took
// whole messages only and could not send stray bytes or a message without F7.
std::string SendIncompleteText(const std::string& deviceLabel, std::size_t sent,
                               std::size_t unsent);

} // namespace velmora::sysex
