#include "sysex/sysex_sender.h"

#include <span>

#include "sysex/transfer_texts.h"

namespace velmora::sysex {

SysexSender::SysexSender(midi::OutputSlot& out, std::vector<std::uint8_t> bytes,
                         const std::string& outDeviceName, SendOptions options)
    : out_(out), bytes_(std::move(bytes)), plan_(CutSysexFile(bytes_)), options_(options),
      label_(OutDeviceLabel(outDeviceName)), status_(SendingText(outDeviceName)),
      unsentBefore_(out_.UnsentBytes()) {
    if (plan_.messages == 0) {
        state_ = SendState::Failed; // never "completed" for nothing
        status_ = kNoSysexInFile;
    }
}

bool SysexSender::AtMessageBoundary() const {
    return next_ == 0 || plan_.blocks[next_ - 1].endsMessage;
}

SysexSender::Clock::time_point SysexSender::NextStepAt() const {
    if (cancel_.load() && AtMessageBoundary()) {
        return Clock::time_point{}; // a cancel cuts the pause short
    }
    return resumeAt_;
}

SendState SysexSender::Step() {
    if (state_ != SendState::Sending) {
        return state_;
    }
    if (next_ == plan_.blocks.size()) {
        // Every block went; ends after the pause that follows the last
        // message, which a cancel cuts short. A cancel that came during the
        // last message counts, as it does in the window; one after it, when
        // nothing is left to stop, does not.
        if (Clock::now() >= resumeAt_ || cancel_.load()) {
            Finish(cancelledInLastMessage_);
        }
        return state_;
    }
    if (AtMessageBoundary() && cancel_.load()) {
        Finish(true);
        return state_;
    }
    if (Clock::now() < resumeAt_) {
        return state_;
    }

    const SysexBlock& block = plan_.blocks[next_];
    blocks_ = block.number;
    progress_ = block.progress;
    status_ = SendProgressText(label_, blocks_, progress_);
    // A port whose device left may still take blocks without a word (a JACK
    // port queues them for no one): asked before each block, so that what
    // went out before is known.
    deviceGone_ = out_.Gone();
    if (deviceGone_ || !out_.SendLong(std::span(bytes_).subspan(block.offset, block.length))) {
        state_ = SendState::Failed;
        status_ = kSendError;
        return state_;
    }
    handedOver_ += block.length;
    ++next_;
    if (next_ == plan_.blocks.size()) {
        cancelledInLastMessage_ = cancel_.load();
    }
    if (block.endsMessage && options_.pauseAfterMessage.count() > 0) {
        resumeAt_ = Clock::now() + options_.pauseAfterMessage;
    }
    return state_;
}

void SysexSender::Finish(bool cancelled) {
    if (cancelled) {
        state_ = SendState::Cancelled;
        status_ = kSendCancelled;
        return;
    }
    if (out_.Gone()) { // before the last blocks could leave the port
        deviceGone_ = true;
        state_ = SendState::Failed;
        status_ = kSendError;
        return;
    }
    // A message still held for its F7 will never go: the file ended.
    out_.DropHeld();
    notSent_ = static_cast<std::size_t>(out_.UnsentBytes() - unsentBefore_);
    if (notSent_ > 0 && out_.Gone()) { // it went while the last blocks waited to leave
        deviceGone_ = true;
        state_ = SendState::Failed;
        status_ = kSendError;
        return;
    }
    if (notSent_ > 0) {
        state_ = SendState::Incomplete;
        status_ = SendIncompleteText(label_, handedOver_ - notSent_, notSent_);
    } else {
        state_ = SendState::Completed;
        status_ = SendCompletedText(label_, progress_);
    }
}

} // namespace velmora::sysex
