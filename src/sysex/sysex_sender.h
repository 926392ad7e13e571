// Sends the bytes of a .syx file on the main output, one block per Step, as
// cut by CutSysexFile (core/sysex_file.h), so that a window can run the send
// from its event loop and a command-line tool from a plain loop. It keeps the
// progress figures and the status text the send window shows, honours a
// cancel request at the next message boundary, and can leave a pause after
// each message for devices that need time to take one in.
//
//   SysexSender sender(midi.MidiOutHandle(), bytes, deviceName);
//   while (!sender.Finished()) {
//       sender.Step();
//       show(sender.StatusText(), sender.Progress(), sender.GaugeMaximum());
//       if (sender.AtMessageBoundary()) { let user input in; }
//   }
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "core/sysex_file.h"
#include "midi/midi_functions.h"

namespace velmora::sysex {

struct SendOptions {
    // Quiet time after each message, the last one included; 0 = none.
    std::chrono::milliseconds pauseAfterMessage{0};
};

// Incomplete: every block was handed over, but an output that takes whole
// messages only could not send some bytes (stray bytes outside F0 ... F7, a
// last message without F7). Failed also covers a file with no sysex message.
enum class SendState { Sending, Completed, Incomplete, Cancelled, Failed };

class SysexSender {
  public:
    using Clock = std::chrono::steady_clock;

    // `bytes`: the data to send (the send's own copy of SysexBuffer).
    // `outDeviceName`: the output's name, UTF-8, for the status texts.
    SysexSender(midi::OutputSlot& out, std::vector<std::uint8_t> bytes,
                const std::string& outDeviceName, SendOptions options = {});

    // Sends the next block; once every block has gone, or when a cancel
    // request meets a message boundary, ends the send. Does nothing during a
    // pause (before NextStepAt) or once the send has ended. A block the
    // output did not take, or an output whose device has left, ends the send
    // as Failed, with the blocks before it sent.
    SendState Step();

    // Asks the send to stop at the next message boundary (at once when no
    // message is half sent, also during a pause). Any thread.
    void RequestCancel() { cancel_.store(true); }

    SendState State() const { return state_; }
    bool Finished() const { return state_ != SendState::Sending; }
    // No message is half sent: where the window lets user input in.
    bool AtMessageBoundary() const;
    // When the next Step may send; later than now only during a pause.
    Clock::time_point NextStepAt() const;

    const SysexSendPlan& Plan() const { return plan_; }
    // The figures of the status text and the gauge: blocks begun, and the
    // bytes of those blocks, counted as each block is handed to the output.
    int Blocks() const { return blocks_; }
    std::size_t Progress() const { return progress_; }
    std::size_t GaugeMaximum() const { return plan_.gaugeMaximum; }
    // Bytes the output has taken, and of those the ones it could not send.
    std::size_t BytesHandedOver() const { return handedOver_; }
    std::size_t BytesNotSent() const { return notSent_; }
    // The send failed because the device left: BytesHandedOver() went before.
    bool DeviceGone() const { return deviceGone_; }
    // Windows-1252: "Sending Sysex on 'NAME'...", then the progress, then the
    // outcome ("... : completed (N bytes)", kSendCancelled or kSendError).
    const std::string& StatusText() const { return status_; }
    const std::string& DeviceLabel() const { return label_; }

  private:
    void Finish(bool cancelled);

    midi::OutputSlot& out_;
    std::vector<std::uint8_t> bytes_;
    SysexSendPlan plan_;
    SendOptions options_;
    std::string label_;
    std::string status_;
    SendState state_ = SendState::Sending;
    std::atomic<bool> cancel_{false};
    bool cancelledInLastMessage_ = false; // a cancel came before the last block went
    std::size_t next_ = 0;                // the next block to send
    int blocks_ = 0;
    std::size_t progress_ = 0;
    std::size_t handedOver_ = 0;
    std::size_t notSent_ = 0;
    bool deviceGone_ = false;
    std::uint64_t unsentBefore_ = 0; // the output's count when the send began
    Clock::time_point resumeAt_{};
};

} // namespace velmora::sysex
