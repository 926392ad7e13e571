#include "core/midi_lint.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace velmora {
namespace {

std::string Format(const char* format, double a, double b = 0, double c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

} // namespace

bool LintFaultLasts(LintKind kind) {
    return kind == LintKind::StuckNotes || kind == LintKind::ClockWanders ||
           kind == LintKind::ActiveSensingStopped;
}

void MidiLint::ReportStuck(const char* why, std::vector<LintWarning>& out) {
    const int on = notes_.NotesOn();
    if (on == 0 || stuckReported_) {
        return;
    }
    std::string which;
    for (int c = 0; c < 16; ++c) {
        for (int n = 0; n < 128; ++n) {
            if (notes_.IsOn(c, n)) {
                which += (which.empty() ? "" : ", ") + std::to_string(n) + " on channel " +
                         std::to_string(c + 1);
            }
        }
    }
    out.push_back({LintKind::StuckNotes, std::to_string(on) + (on == 1 ? " note" : " notes") +
                                             " still on " + why + ": " + which});
    stuckReported_ = true;
    stuckOutstanding_ = true;
}

void MidiLint::Feed(std::uint64_t micros, std::span<const std::uint8_t> bytes,
                    std::vector<LintWarning>& out) {
    if (bytes.empty()) {
        return;
    }
    const std::uint8_t status = bytes[0];
    const bool realTime = status >= 0xF8;
    if (!realTime || status == 0xFE) {
        // Real-time messages don't count as playing: a clock that runs on
        // under a note left on still leaves it stuck.
        last_ = micros;
        any_ = true;
    }
    if (lastSensing_ && status != 0xFE) {
        lastSensing_ = micros; // any message counts as sensing
    }
    if (status == 0xFE) {
        lastSensing_ = micros;
        if (sensingReported_) {
            out.push_back({LintKind::ActiveSensingStopped, "active sensing resumed", true});
        }
        sensingReported_ = false;
        return;
    }
    if (status == 0xF8) {
        CheckClock(micros, out);
        return;
    }
    if (status == 0xFA || status == 0xFB || status == 0xFC) {
        lastClock_.reset(); // the clock may stop and start again
        intervals_.clear();
        return;
    }
    if (realTime) {
        return;
    }

    // Sysex, in blocks.
    const bool startsSysex = status == 0xF0;
    if (sysexOpen_ && (startsSysex || status >= 0x80)) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", status);
        out.push_back(
            {LintKind::SysexCut, "a sysex message was cut after " + std::to_string(sysexBytes_) +
                                     " bytes by a status byte (" + hex + ") before its F7"});
        sysexOpen_ = false;
    }
    if (startsSysex || (status < 0x80 && sysexOpen_)) {
        if (startsSysex) {
            sysexOpen_ = true;
            sysexStart_ = micros;
            sysexBytes_ = 0;
        }
        sysexBytes_ += bytes.size();
        if (bytes.back() == 0xF7) {
            sysexOpen_ = false;
        }
        return;
    }
    if (status < 0x80 || status >= 0xF0) {
        return;
    }

    notes_.Feed(bytes);
    const int kind = status & 0xF0;
    if (kind == 0x90 || kind == 0x80) {
        stuckReported_ = false;
    }
    if (stuckOutstanding_ && notes_.NotesOn() == 0) {
        out.push_back({LintKind::StuckNotes, "the notes left on were released", true});
        stuckOutstanding_ = false;
    }
    const int channel = status & 0x0F;
    if (kind != 0xB0 || bytes.size() < 3) {
        return;
    }
    const std::uint8_t controller = bytes[1];
    const std::uint8_t value = bytes[2];
    if (controller == 101 || controller == 99) {
        msb_[channel] = value;
    } else if (controller == 100 || controller == 98) {
        lsb_[channel] = value;
    }
    if (controller >= 98 && controller <= 101) {
        // 127/127 is the null parameter: data entry goes nowhere after it.
        parameter_[channel] = !(msb_[channel] == 127 && lsb_[channel] == 127);
        if (parameter_[channel]) {
            entryReported_[channel] = false;
        }
        return;
    }
    const bool dataEntry =
        controller == 6 || controller == 38 || controller == 96 || controller == 97;
    if (dataEntry && !parameter_[channel] && !entryReported_[channel]) {
        out.push_back({LintKind::DataEntryWithoutParameter,
                       "data entry (controller " + std::to_string(controller) + ") on channel " +
                           std::to_string(channel + 1) + " without an RPN or NRPN selected"});
        entryReported_[channel] = true;
    }
}

void MidiLint::CheckClock(std::uint64_t micros, std::vector<LintWarning>& out) {
    if (lastClock_ && micros >= *lastClock_) {
        const std::uint64_t interval = micros - *lastClock_;
        const std::size_t window = static_cast<std::size_t>(std::max(settings_.clockWindow, 2));
        if (intervals_.size() >= window) {
            const double mean = static_cast<double>(std::accumulate(
                                    intervals_.begin(), intervals_.end(), std::uint64_t{0})) /
                                static_cast<double>(intervals_.size());
            // A mean of zero (clocks all at one instant) has no share to be off by.
            const double off =
                mean > 0 ? std::abs(static_cast<double>(interval) - mean) / mean : 0.0;
            ++clocksSinceWarning_;
            // Steady again once a whole window of intervals kept to the mean.
            steadyClocks_ = off > settings_.clockWanderShare ? 0 : steadyClocks_ + 1;
            if (clockOutstanding_ && steadyClocks_ >= static_cast<int>(window)) {
                out.push_back({LintKind::ClockWanders, "the clock is steady again", true});
                clockOutstanding_ = false;
            }
            // At most one warning per window, so that a wandering clock is
            // told, not flooded.
            if (off > settings_.clockWanderShare &&
                clocksSinceWarning_ >= static_cast<int>(window)) {
                out.push_back(
                    {LintKind::ClockWanders,
                     Format("a clock interval of %.2f ms is %.0f%% off the mean of "
                            "%.2f ms",
                            static_cast<double>(interval) / 1000.0, off * 100.0, mean / 1000.0)});
                clocksSinceWarning_ = 0;
                clockOutstanding_ = true;
            }
            intervals_.erase(intervals_.begin());
        }
        intervals_.push_back(interval);
    } else {
        clocksSinceWarning_ = static_cast<int>(settings_.clockWindow);
    }
    lastClock_ = micros;
}

void MidiLint::Tick(std::uint64_t micros, std::vector<LintWarning>& out) {
    if (any_ && micros >= last_ && micros - last_ >= settings_.quietMicros) {
        ReportStuck("after the input went quiet", out);
    }
    if (lastSensing_ && !sensingReported_ && micros >= *lastSensing_ &&
        micros - *lastSensing_ > settings_.activeSensingMicros) {
        out.push_back({LintKind::ActiveSensingStopped,
                       Format("active sensing stopped: nothing came for %.0f ms",
                              static_cast<double>(micros - *lastSensing_) / 1000.0)});
        sensingReported_ = true;
    }
    if (sysexOpen_ && micros >= sysexStart_ && micros - sysexStart_ >= settings_.sysexEndMicros) {
        out.push_back(
            {LintKind::SysexNeverEnded,
             "a sysex message of " + std::to_string(sysexBytes_) + " bytes never ended (no F7)"});
        sysexOpen_ = false;
    }
}

void MidiLint::Close(std::vector<LintWarning>& out) {
    ReportStuck("when the input closed", out);
    if (sysexOpen_) {
        out.push_back(
            {LintKind::SysexNeverEnded,
             "a sysex message of " + std::to_string(sysexBytes_) + " bytes never ended (no F7)"});
        sysexOpen_ = false;
    }
}

} // namespace velmora
