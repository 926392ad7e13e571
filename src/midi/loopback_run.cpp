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

std::uint64_t LoopbackRun::Now() const {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - start_)
                                          .count());
}

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
    back_.assign(request_.count, false);
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
        const std::vector<std::uint8_t> probe = ProbeMessage(static_cast<std::uint32_t>(n));
        sentMicros_.push_back(Now());
        lock.unlock();
        out_->SendLong(probe);
        sentCount_.store(n + 1);
        next += period;
        lock.lock();
    }
    // Settles: done once nothing came back for the settling time.
    const auto settle = std::chrono::duration_cast<std::chrono::microseconds>(request_.settle);
    while (!cancelled_ && distinctBack_ < sentMicros_.size()) {
        const std::uint64_t quietSince =
            std::max(lastArrival_, sentMicros_.empty() ? std::uint64_t{0} : sentMicros_.back());
        const auto until = start_ + std::chrono::microseconds(quietSince) + settle;
        if (std::chrono::steady_clock::now() >= until) {
            break;
        }
        wake_.wait_until(lock, until,
                         [this] { return cancelled_ || distinctBack_ >= sentMicros_.size(); });
    }
    done_.store(true);
}

void LoopbackRun::Deliver(const InputEvent& event) {
    const std::uint64_t now = Now();
    if (event.code != InputMessage::LongData || event.header == nullptr) {
        return;
    }
    MidiHeader& h = *event.header;
    if (h.dwBytesRecorded > 0) {
        const std::span<const std::uint8_t> block(h.lpData, h.dwBytesRecorded);
        if (block.front() == 0xF0) {
            pending_.clear();
        }
        pending_.insert(pending_.end(), block.begin(), block.end());
        if (block.back() == 0xF7 || pending_.size() > kProbeBytes) {
            if (const auto number = ProbeNumber(pending_)) {
                std::lock_guard lock(lock_);
                arrivals_.push_back({*number, now});
                lastArrival_ = now;
                if (*number < back_.size() && !back_[*number]) {
                    back_[*number] = true;
                    ++distinctBack_;
                    wake_.notify_all();
                }
            }
            pending_.clear();
        }
    } else {
        return; // handed back empty at a reset
    }
    in_->UnprepareHeader(h);
    in_->PrepareHeader(h);
    in_->AddBuffer(h);
}

std::size_t LoopbackRun::Back() const {
    std::lock_guard lock(lock_);
    return arrivals_.size();
}

void LoopbackRun::Cancel() {
    {
        std::lock_guard lock(lock_);
        cancelled_ = true;
    }
    wake_.notify_all();
}

LoopbackFigures LoopbackRun::Finish() {
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
    return LoopbackResult(sentMicros_, arrivals_);
}

} // namespace velmora::midi
