#include "midi/midi_session.h"

namespace velmora::midi {

MidiSession::MidiSession(MidiService& service, Reporter& reporter, UiSignalReceiver& shown,
                         TickSource ticks)
    : midi_(service, reporter, std::move(ticks)), signal_(shown),
      callback_(midi_, path_, router_, signal_) {
    midi_.SetWaitHook([this] { ServeHandOffs(); });
    midi_.StartClock();
}

MidiSession::~MidiSession() {
    Shutdown();
}

void MidiSession::ServeHandOffs() {
    signal_.ServePending();
    if (recordSignal_ != nullptr) {
        recordSignal_->ServePending();
    }
}

void MidiSession::SetRecordSignal(UiSignal* signal) {
    recordSignal_ = signal;
    callback_.SetRecordSignal(signal);
}

bool MidiSession::OpenThru(int thruChannel) {
    if (!midi_.OpenMidiOut()) {
        return false;
    }
    path_.mainOutOpen.store(1);
    path_.thruOn.store(1);
    path_.thruChannel.store(thruChannel);
    return true;
}

void MidiSession::Shutdown() {
    midi_.CloseMidiIn();
    if (midi_.MidiOutHandle().IsOpen() && midi_.CloseMidiOut()) {
        path_.mainOutOpen.store(0);
    }
    for (int k = 1; k <= 4; ++k) {
        midi_.CloseRouterOut(k);
    }
    signal_.Shutdown();
    if (recordSignal_ != nullptr) {
        recordSignal_->Shutdown();
        SetRecordSignal(nullptr); // its owner may end before this session
    }
    // No hand-off can be served from here on: a reset left for the
    // destructor of MidiFunctions must not wait on one.
    midi_.SetWaitHook({});
}

} // namespace velmora::midi
