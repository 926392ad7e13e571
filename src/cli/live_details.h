// The details `velmora-cli monitor --details` adds to what it prints, with
// the monitor's milliseconds as the times of the messages.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/message_details.h"

namespace velmora::cli {

class LiveDetails {
  public:
    // "  " and the details of a short message, or "".
    std::string Short(ShortMessage message, std::int32_t ms);
    // "  " and the details of a sysex block in the monitor's hex text, or ""
    // (blocks that continue a long message say nothing).
    std::string SysexBlock(const std::string& hexText);
    // Counts a timing clock, which never gets a line.
    void Clock(std::int32_t ms);
    // A line for the clock and active sensing rates when they have moved by
    // half a unit or more, at most once a second.
    std::optional<std::string> RatesLine(std::int32_t ms);

  private:
    MessageDetails details_;
    std::int32_t lastRatesMs_ = -1000;
    std::optional<double> shownClock_, shownSensing_;
};

} // namespace velmora::cli
