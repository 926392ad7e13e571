// Failure texts of MIDI operations, printed on standard error.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "core/terminal_text.h"
#include "midi/reporter.h"

namespace velmora::cli {

class StderrReporter : public midi::Reporter {
  public:
    explicit StderrReporter(std::string prefix) : prefix_(std::move(prefix)) {}
    void Report(const std::string& text) override {
        std::lock_guard lock(lock_);
        // The texts may name devices, whose names are not ours to trust.
        std::fprintf(stderr, "%s: %s\n", prefix_.c_str(), TerminalSafe(text).c_str());
        std::fflush(stderr);
    }

  private:
    std::mutex lock_;
    std::string prefix_;
};

} // namespace velmora::cli
