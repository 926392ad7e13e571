// What the ALSA tests share: a check for the sequencer, a peer client that
// plays another program, and a receiver for an input port's deliveries.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "midi/alsa/seq_client.h"
#include "midi/midi_service.h"

namespace velmora::midi::testing {

inline bool HaveSequencer() {
    return access("/dev/snd/seq", R_OK | W_OK) == 0;
}

#define VELMORA_REQUIRE_SEQUENCER()                                                                \
    if (!::velmora::midi::testing::HaveSequencer())                                                \
    GTEST_SKIP() << "no ALSA sequencer here (/dev/snd/seq); these run in tests/alsa/vm"

// The first listed device whose name holds `part`; empty when none.
inline std::string DeviceNamed(MidiService& service, bool output, const std::string& part) {
    for (const std::string& name : output ? OutDeviceNames(service) : InDeviceNames(service)) {
        if (name.find(part) != std::string::npos) {
            return name;
        }
    }
    return {};
}

// Gathers what an input port delivers; its sysex buffers go back to the port
// as soon as they are read.
class Receiver {
  public:
    static constexpr std::size_t kBufferBytes = 16 * 1024;

    InputCallback Callback() {
        return [this](const InputEvent& e) {
            std::lock_guard lock(mutex_);
            if (e.code == InputMessage::Data) {
                shorts_.push_back(e.message);
                return;
            }
            sysex_.insert(sysex_.end(), e.header->lpData,
                          e.header->lpData + e.header->dwBytesRecorded);
            if (!stopping_ && port_ != nullptr) {
                port_->AddBuffer(*e.header);
            }
        };
    }
    void Attach(MidiInPort& port) {
        port_ = &port;
        for (auto& b : buffers_) {
            b.storage.resize(kBufferBytes);
            b.header.lpData = b.storage.data();
            b.header.dwBufferLength = kBufferBytes;
            port.PrepareHeader(b.header);
            port.AddBuffer(b.header);
        }
        port.Start();
    }
    bool Detach() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        port_->Reset({});
        for (auto& b : buffers_) {
            port_->UnprepareHeader(b.header);
        }
        return port_->Close({});
    }
    std::vector<std::uint8_t> Sysex() {
        std::lock_guard lock(mutex_);
        return sysex_;
    }
    std::size_t SysexBytes() {
        std::lock_guard lock(mutex_);
        return sysex_.size();
    }
    std::vector<ShortMessage> Shorts() {
        std::lock_guard lock(mutex_);
        return shorts_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        sysex_.clear();
        shorts_.clear();
    }

  private:
    struct Buffer {
        std::vector<std::uint8_t> storage;
        MidiHeader header;
    };
    std::mutex mutex_;
    MidiInPort* port_ = nullptr;
    bool stopping_ = false; // guarded by mutex_
    Buffer buffers_[4];
    std::vector<std::uint8_t> sysex_;
    std::vector<ShortMessage> shorts_;
};

} // namespace velmora::midi::testing
