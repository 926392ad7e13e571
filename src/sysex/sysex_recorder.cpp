#include "sysex/sysex_recorder.h"

#include <mutex>

namespace velmora::sysex {

SysexRecorder::SysexRecorder(midi::MidiFunctions& midi, std::chrono::milliseconds idle)
    : midi_(midi), idle_(idle) {}

void SysexRecorder::Begin() {
    {
        std::lock_guard lock(midi_.sysex.lock);
        midi_.sysex.RecordBlockCount = 0;
        midi_.sysex.SysexBuffer.clear();
        midi_.sysex.statusText.clear();
    }
    ResetWatch();
    midi_.InputMode.store(midi::kRecord);
}

void SysexRecorder::End() {
    midi_.InputMode.store(midi::kMonitor);
}

void SysexRecorder::ResetWatch() {
    lastBlockLength_ = 0;
    lastBlockTime_ = 0;
    transferEnded_ = false;
}

void SysexRecorder::NoteBlock() {
    lastBlockLength_ = Length();
    lastBlockTime_ = midi_.ElapsedMs();
}

bool SysexRecorder::TransferEnded() {
    const std::int64_t now = midi_.ElapsedMs();
    if (now < lastBlockTime_) {
        lastBlockTime_ = now; // the clock took a new base when the counter wrapped
    }
    if (lastBlockLength_ > 0 && Length() == lastBlockLength_ &&
        now > lastBlockTime_ + idle_.count()) {
        transferEnded_ = true;
    }
    return transferEnded_;
}

std::vector<std::uint8_t> SysexRecorder::Bytes() const {
    std::lock_guard lock(midi_.sysex.lock);
    return midi_.sysex.SysexBuffer;
}

std::size_t SysexRecorder::Length() const {
    std::lock_guard lock(midi_.sysex.lock);
    return midi_.sysex.SysexBuffer.size();
}

int SysexRecorder::BlockCount() const {
    std::lock_guard lock(midi_.sysex.lock);
    return midi_.sysex.RecordBlockCount;
}

std::string SysexRecorder::StatusText() const {
    std::lock_guard lock(midi_.sysex.lock);
    return midi_.sysex.statusText;
}

} // namespace velmora::sysex
