#include "support/virtual_display.h"

#include <csignal>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "support/eventually.h"

namespace velmora::testing {
namespace {

using namespace std::chrono_literals;

const std::string kXvfb = VELMORA_XVFB;
const std::string kXdotool = VELMORA_XDOTOOL;

// Runs a tool to its end; its standard output, or nothing when it failed.
std::optional<std::string> RunTool(std::vector<std::string> argv) {
    ChildProcess tool(std::move(argv));
    if (tool.Wait(20s) != 0) {
        return std::nullopt;
    }
    return tool.Output();
}

} // namespace

bool VirtualDisplay::Available() {
    return !kXvfb.empty() && !kXdotool.empty();
}

VirtualDisplay::VirtualDisplay() {
    if (!Available()) {
        return;
    }
    // With -displayfd and no display number the server takes the first free
    // one, and writes it on standard output once it takes clients.
    server_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        kXvfb, "-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
    Eventually(
        [&] { return server_->Output().find('\n') != std::string::npos || !server_->Running(); },
        60s);
    const std::string said = server_->Output();
    const auto end = said.find('\n');
    if (end == std::string::npos || end == 0 || !server_->Running()) {
        return;
    }
    display_ = ":" + said.substr(0, end);
    setenv("DISPLAY", display_.c_str(), 1);
}

VirtualDisplay::~VirtualDisplay() {
    if (server_) {
        server_->Signal(SIGTERM);
        server_->Wait(10s);
    }
    if (Running()) {
        unsetenv("DISPLAY");
    }
}

std::string VirtualDisplay::Errors() {
    return (display_.empty() ? "Xvfb" : display_) + ": " + (server_ ? server_->Errors() : "");
}

std::string VirtualDisplay::WaitForWindow(const std::string& size, ChildProcess& program) {
    std::string found;
    Eventually(
        [&] {
            if (!program.Running()) {
                return true;
            }
            const auto ids = RunTool({kXdotool, "search", "--onlyvisible", "--name", "^ Velmora$"});
            std::istringstream lines(ids.value_or(""));
            std::string id;
            while (std::getline(lines, id)) {
                const auto geometry = RunTool({kXdotool, "getwindowgeometry", id});
                if (geometry && geometry->find("Geometry: " + size) != std::string::npos) {
                    found = id;
                    return true;
                }
            }
            return false;
        },
        20s, 100ms);
    return found;
}

bool VirtualDisplay::Click(const std::string& window, int x, int y) {
    return RunTool({kXdotool, "mousemove", "--window", window, "--sync", std::to_string(x),
                    std::to_string(y), "click", "1"})
        .has_value();
}

} // namespace velmora::testing
