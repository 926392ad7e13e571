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
    came_.assign(request_.count, false);
    sender_ = std::thread([this] { Send(); });
    return true;
}

void LoopbackRun::Send() {
    const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(1.0 / std::max(request_.rate, 0.001)));
    auto next = std::chrono::steady_clock::now();
    std::unique_lock lock(lock_);
    for (std::size_t n = 0; n < request_.count && !cancelled_; ++n) {
        if (wake_.wait_until(lock, next, [this] { return cancelled_; })) {
            break;
        }
        const std::vector<std::uint8_t> probe =
            LoopbackSysexProbe(static_cast<std::uint32_t>(n), request_.sysexBytes);
        sentMicros_.push_back(Now());
        lock.unlock();
        for (std::size_t at = 0; at < probe.size(); at += kBlockBytes) {
            out_->SendLong(std::span(probe).subspan(at, std::min(kBlockBytes, probe.size() - at)));
        }
        sentCount_.store(n + 1);
        next += period;
        lock.lock();
    }
    // Settles: done once nothing came back for the settling time.
    const auto settle = std::chrono::duration_cast<std::chrono::microseconds>(request_.settle);
    while (!cancelled_ && distinctBack_ < sentMicros_.size()) {
        const std::int64_t quietSince =
            std::max(lastArrival_, sentMicros_.empty() ? std::int64_t{0} : sentMicros_.back());
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::microseconds(
                               std::max<std::int64_t>(quietSince + settle.count() - Now(), 0));
        if (std::chrono::steady_clock::now() >= until) {
            break;
        }
        wake_.wait_until(lock, until,
                         [this] { return cancelled_ || distinctBack_ >= sentMicros_.size(); });
    }
    done_.store(true);
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
        Count(from, now);
    }
    in_->UnprepareHeader(h);
    in_->PrepareHeader(h);
    in_->AddBuffer(h);
}

void LoopbackRun::Count(std::size_t from, std::int64_t now) {
    for (std::size_t i = from; i < back_.Arrivals().size(); ++i) {
        lastArrival_ = now;
        const auto number = back_.Arrivals()[i].number;
        if (number && *number < came_.size() && !came_[*number]) {
            came_[*number] = true;
            ++distinctBack_;
            wake_.notify_all();
        }
    }
}

std::size_t LoopbackRun::Back() const {
    std::lock_guard lock(lock_);
    return back_.Arrivals().size();
}

void LoopbackRun::Cancel() {
    {
        std::lock_guard lock(lock_);
        cancelled_ = true;
    }
    wake_.notify_all();
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
