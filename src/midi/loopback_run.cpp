#include "midi/loopback_run.h"

#include <algorithm>

namespace velmora::midi {

LoopbackRun::LoopbackRun(MidiService& service, LoopbackRequest request)
    : service_(service), request_(std::move(request)) {}

LoopbackRun::~LoopbackRun() {
    Cancel();
    if (sender_.joinable()) {
        sender_.join();
    }
    if (!finished_ && (in_ || out_)) {
        Finish();
    }
}

namespace {

std::int64_t Now() {
    return static_cast<std::int64_t>(InputClockMicros());
}

// Probes are sent in blocks no longer than an input buffer, as a device
// would pass a long dump on.
constexpr std::size_t kBlockBytes = kInputBufferSize;

} // namespace

bool LoopbackRun::Start(std::string& error) {
    out_ = service_.OpenOut(request_.out);
    if (!out_) {
        error = "can't open the MIDI output '" + request_.out + "'";
        return false;
    }
    in_ = service_.OpenIn(request_.in, [this](const InputEvent& e) { Deliver(e); });
    if (!in_) {
        out_->Close();
        out_.reset();
        error = "can't open the MIDI input '" + request_.in + "'";
        return false;
    }
    headers_.resize(kBuffers);
    buffers_.assign(kBuffers, std::vector<std::uint8_t>(kInputBufferSize));
    for (std::size_t b = 0; b < headers_.size(); ++b) {
        headers_[b].lpData = buffers_[b].data();
        headers_[b].dwBufferLength = kInputBufferSize;
        in_->PrepareHeader(headers_[b]);
        in_->AddBuffer(headers_[b]);
    }
    in_->Start();
    sentMicros_.reserve(request_.count);
    sender_ = std::thread([this] { Send(); });
    return true;
}

void LoopbackRun::Send() {
    loop_.Run([this](std::uint32_t n) { return SendProbe(n); });
    done_.store(true);
}

bool LoopbackRun::SendProbe(std::uint32_t n) {
    const std::vector<std::uint8_t> probe = LoopbackSysexProbe(n, request_.sysexBytes);
    {
        std::lock_guard lock(lock_);
        sentMicros_.push_back(Now());
    }
    for (std::size_t at = 0; at < probe.size(); at += kBlockBytes) {
        out_->SendLong(std::span(probe).subspan(at, std::min(kBlockBytes, probe.size() - at)));
    }
    sentCount_.store(n + 1);
    return true;
}

void LoopbackRun::Deliver(const InputEvent& event) {
    const std::int64_t now = Now();
    if (event.code != InputMessage::LongData || event.header == nullptr) {
        return;
    }
    MidiHeader& h = *event.header;
    if (h.dwBytesRecorded == 0) {
        return; // handed back empty at a reset
    }
    const std::span<const std::uint8_t> block(h.lpData,
                                              std::min(h.dwBytesRecorded, h.dwBufferLength));
    {
        std::lock_guard lock(lock_);
        const std::size_t from = back_.Arrivals().size();
        back_.Block(block, static_cast<std::uint32_t>(sentMicros_.size()), now);
        for (std::size_t i = from; i < back_.Arrivals().size(); ++i) {
            loop_.Arrived(back_.Arrivals()[i].number);
        }
    }
    in_->UnprepareHeader(h);
    in_->PrepareHeader(h);
    in_->AddBuffer(h);
}

std::size_t LoopbackRun::Back() const {
    std::lock_guard lock(lock_);
    return back_.Arrivals().size();
}

void LoopbackRun::Cancel() {
    loop_.Cancel();
}

LoopbackReport LoopbackRun::Finish() {
    if (sender_.joinable()) {
        sender_.join();
    }
    finished_ = true;
    if (in_) {
        in_->Reset({});
        in_->Close({});
        in_.reset();
    }
    if (out_) {
        out_->Close();
        out_.reset();
    }
    std::lock_guard lock(lock_);
    back_.End(static_cast<std::uint32_t>(sentMicros_.size()), Now());
    return SummarizeLoopback(sentMicros_, back_.Arrivals());
}

} // namespace velmora::midi
