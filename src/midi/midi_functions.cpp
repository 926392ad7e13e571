#include "midi/midi_functions.h"

namespace velmora::midi {

TMidiHeader::TMidiHeader(std::uint16_t size) : data_(size, 0) {
    if (size > 0) {
        Header.lpData = data_.data();
        Header.dwBufferLength = size;
    }
}

bool OutputSlot::IsOpen() const {
    std::lock_guard lock(lock_);
    return port_ != nullptr;
}

bool OutputSlot::Gone() const {
    std::lock_guard lock(lock_);
    return port_ != nullptr && port_->Gone();
}

bool OutputSlot::SendShort(ShortMessage message) {
    std::lock_guard lock(lock_);
    return port_ && port_->SendShort(message);
}

bool OutputSlot::SendLong(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(lock_);
    return port_ && port_->SendLong(bytes);
}

std::uint64_t OutputSlot::UnsentBytes() const {
    std::lock_guard lock(lock_);
    return port_ ? port_->UnsentBytes() : 0;
}

std::size_t OutputSlot::HeldBytes() const {
    std::lock_guard lock(lock_);
    return port_ ? port_->HeldBytes() : 0;
}

void OutputSlot::DropHeld() {
    std::lock_guard lock(lock_);
    if (port_) {
        port_->DropHeld();
    }
}

std::string OutputSlot::DeviceName() const {
    std::lock_guard lock(lock_);
    return deviceName_;
}

MidiFunctions::MidiFunctions(MidiService& service, Reporter& reporter, TickSource ticks)
    : service_(&service), reporter_(reporter), clock_(std::move(ticks)) {}

MidiFunctions::~MidiFunctions() {
    // Stop the input first: its callback may still send on the outputs.
    if (inPort_) {
        inPort_->Reset(waitHook_);
        inPortForCallback_.store(nullptr);
        inPort_.reset();
    }
}

bool MidiFunctions::ListDevices(std::vector<std::string>& list, bool output) {
    const int n = output ? service_->OutDeviceCount() : service_->InDeviceCount();
    if (n <= 0) {
        reporter_.Report(output ? text::kNoOutDevice : text::kNoInDevice);
        return false;
    }
    for (int device = 0; device < n; ++device) {
        auto name = output ? service_->OutDeviceName(device) : service_->InDeviceName(device);
        if (!name) {
            reporter_.Report(output ? text::kOutCaps : text::kInCaps);
            break;
        }
        list.push_back(std::move(*name));
    }
    return true;
}

bool MidiFunctions::ListMidiOutDevices(std::vector<std::string>& list) {
    return ListDevices(list, true);
}

bool MidiFunctions::ListMidiInDevices(std::vector<std::string>& list) {
    return ListDevices(list, false);
}

std::vector<std::string> MidiFunctions::InputEntries() {
    std::vector<std::string> entries = InDeviceNames(*service_);
    if (OwnInputOffered()) {
        entries.push_back(OwnInputName);
    }
    return entries;
}

bool MidiFunctions::ChooseMidiOut(int device) {
    const std::optional<std::string> name = service_->OutDeviceName(device);
    if (name) {
        MidiOutDeviceName = *name;
    }
    return name.has_value();
}

bool MidiFunctions::ChooseMidiIn(int device) {
    const std::optional<std::string> name = service_->InDeviceName(device);
    if (name) {
        MidiInDeviceName = *name;
    }
    return name.has_value();
}

bool MidiFunctions::OpenOutput(OutputSlot& slot, const std::string& deviceName) {
    std::unique_ptr<MidiOutPort> port = service_->OpenOut(deviceName);
    if (!port) {
        reporter_.Report(text::kOpenOut);
        return false;
    }
    std::unique_ptr<MidiOutPort> previous;
    {
        std::lock_guard lock(slot.lock_);
        previous = std::move(slot.port_);
        slot.port_ = std::move(port);
        slot.deviceName_ = deviceName;
    }
    if (previous) {
        // Opening over an open port: the old one would leak its device.
        previous->Reset();
        previous->Close();
    }
    return true;
}

bool MidiFunctions::CloseOutput(OutputSlot& slot) {
    std::lock_guard lock(slot.lock_);
    if (!slot.port_) {
        return true; // nothing is open: there is nothing to close through
    }
    slot.port_->Reset();
    if (!slot.port_->Close()) {
        reporter_.Report(text::kCloseOut);
        return false;
    }
    slot.port_.reset();
    slot.deviceName_.clear();
    return true;
}

bool MidiFunctions::OpenMidiOut() {
    if (!OpenOutput(mainOut_, MidiOutDeviceName)) {
        return false;
    }
    LinkThru();
    return true;
}

void MidiFunctions::SetThruSwitches(const InputPathState* path) {
    thruSwitches_ = ThruSwitches{path, &InputActive, &InputMode};
    LinkThru();
}

// Either port closing cuts the link itself; switches without a path cut it
// too.
void MidiFunctions::LinkThru() {
    if (!inPort_) {
        return;
    }
    std::lock_guard lock(mainOut_.lock_);
    if (mainOut_.port_) {
        mainOut_.port_->PassThruInCycle(*inPort_, thruSwitches_);
    }
}
bool MidiFunctions::CloseMidiOut() {
    return CloseOutput(mainOut_);
}

bool MidiFunctions::OpenRouterOut(int k, const std::string& deviceName) {
    if (k < 1 || k > 4) {
        return false;
    }
    return OpenOutput(RouterOutHandle(k), deviceName);
}

bool MidiFunctions::OpenRouterOut(int k, int device) {
    return OpenRouterOut(k, service_->OutDeviceName(device).value_or(""));
}

bool MidiFunctions::CloseRouterOut(int k) {
    if (k < 1 || k > 4) {
        return false;
    }
    return CloseOutput(RouterOutHandle(k));
}

bool MidiFunctions::OpenMidiIn(InputCallback callback) {
    if (inPort_) {
        // Already open: close first so the old port's buffers are not lost.
        if (!CloseMidiIn()) {
            return false;
        }
    }
    const bool own = OwnInputOffered() && MidiInDeviceName == OwnInputName;
    {
        std::lock_guard lock(openInLock_);
        openInName_ = own ? OwnInputName : MidiInDeviceName;
    }
    std::unique_ptr<MidiInPort> port =
        own ? service_->OpenVirtualIn(OwnInputName, std::move(callback))
            : service_->OpenIn(MidiInDeviceName, std::move(callback));
    if (!port) {
        reporter_.Report(text::kOpenIn);
        return false;
    }
    inPort_ = std::move(port);
    inPortForCallback_.store(inPort_.get());
    PrepareInputBuffers();
    AddInputBuffers();
    LinkThru();
    inPort_->Start();
    InputActive.store(true);
    return true;
}

void MidiFunctions::PrepareInputBuffers() {
    InputBufferList_.clear();
    haveBufferList_ = true;
    for (int i = 0; i < kInputBufferCount; ++i) {
        auto buffer = std::make_unique<TMidiHeader>(kInputBufferSize);
        if (!inPort_->PrepareHeader(buffer->Header)) {
            reporter_.Report(text::kPrepare);
            break;
        }
        InputBufferList_.push_back(std::move(buffer));
    }
}

void MidiFunctions::AddInputBuffers() {
    for (auto& buffer : InputBufferList_) {
        if (!inPort_->AddBuffer(buffer->Header)) {
            reporter_.Report(text::kAdd);
            break;
        }
    }
}

void MidiFunctions::ReleaseInputBuffers() {
    if (!haveBufferList_) {
        return;
    }
    for (auto& buffer : InputBufferList_) {
        if (!inPort_->UnprepareHeader(buffer->Header)) {
            reporter_.Report(text::kUnprepare);
        }
    }
    InputBufferList_.clear();
    haveBufferList_ = false;
}

bool MidiFunctions::CloseMidiIn() {
    if (!inPort_) {
        return true;
    }
    inPort_->Reset(waitHook_);
    ReleaseInputBuffers();
    if (!inPort_->Close(waitHook_)) {
        reporter_.Report(text::kCloseIn);
        return false;
    }
    inPortForCallback_.store(nullptr);
    lostByClosedInputs_ += inPort_->LostEvents();
    malformedByClosedInputs_ += inPort_->MalformedEvents();
    inPort_.reset();
    InputActive.store(false);
    return true;
}

MidiService::WayBack MidiFunctions::WayBackFrom(const OutputSlot& slot) {
    std::string in;
    {
        std::lock_guard lock(openInLock_);
        in = openInName_;
    }
    const std::string out = slot.DeviceName();
    if (in.empty() || out.empty()) {
        return MidiService::WayBack::None; // nothing goes out, or nothing comes in
    }
    try {
        return service_->WayBackBetween(out, in);
    } catch (...) {
        return MidiService::WayBack::Unknown;
    }
}

} // namespace velmora::midi
