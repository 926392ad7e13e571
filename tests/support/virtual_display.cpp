#include "support/virtual_display.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

#include <unistd.h>

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

// A big-endian 32-bit field of an XWD header.
std::uint32_t HeaderField(const std::string& file, std::size_t index) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = value << 8 | static_cast<std::uint8_t>(file[index * 4 + i]);
    }
    return value;
}

} // namespace

bool VirtualDisplay::Available() {
    return !kXvfb.empty() && !kXdotool.empty();
}

VirtualDisplay::VirtualDisplay() {
    if (!Available()) {
        return;
    }
    std::string folder =
        (std::filesystem::temp_directory_path() / "velmora-screen-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        return;
    }
    screenFolder_ = folder;
    // With -displayfd and no display number the server takes the first free
    // one, and writes it on standard output once it takes clients.
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{kXvfb, "-displayfd", "1", "-noreset", "-nolisten", "tcp",
                                 "-screen", "0", "1024x768x24", "-fbdir", screenFolder_});
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
    if (!screenFolder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(screenFolder_, ignored);
    }
}

std::string VirtualDisplay::Errors() {
    return (display_.empty() ? "Xvfb" : display_) + ": " + (server_ ? server_->Errors() : "");
}

std::string VirtualDisplay::WaitForWindow(const std::string& size, ChildProcess& program,
                                          const std::string& title) {
    std::string found;
    Eventually(
        [&] {
            if (!program.Running()) {
                return true;
            }
            const auto ids = RunTool({kXdotool, "search", "--onlyvisible", "--name", title});
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

namespace velmora::testing {

bool VirtualDisplay::PointerAway() {
    return RunTool({kXdotool, "mousemove", "--sync", "0", "767"}).has_value();
}

bool VirtualDisplay::Keys(const std::string& window, const std::vector<std::string>& keys) {
    // The focus makes the window the active one, for its shortcuts; a window
    // with an open popup of its own (a completion list) may keep it, which
    // is no fault: the keys go to the window anyway.
    RunTool({kXdotool, "windowfocus", "--sync", window});
    std::vector<std::string> argv{kXdotool, "key", "--clearmodifiers", "--window", window};
    argv.insert(argv.end(), keys.begin(), keys.end());
    return RunTool(std::move(argv)).has_value();
}

int VirtualDisplay::ShownWindows(const std::string& programName) {
    ChildProcess search({kXdotool, "search", "--onlyvisible", "--class", "^" + programName + "$"});
    const int status = search.Wait(20s);
    if (status != 0 && status != 1) { // 1: none found
        return -1;
    }
    const std::string ids = search.Output();
    return static_cast<int>(std::count(ids.begin(), ids.end(), '\n'));
}

bool VirtualDisplay::Type(const std::string& window, const std::string& text) {
    RunTool({kXdotool, "windowfocus", "--sync", window});
    return RunTool({kXdotool, "type", "--clearmodifiers", "--window", window, text}).has_value();
}

bool VirtualDisplay::Resize(const std::string& window, int width, int height) {
    return RunTool({kXdotool, "windowsize", "--sync", window, std::to_string(width),
                    std::to_string(height)})
        .has_value();
}

std::optional<VirtualDisplay::Picture> VirtualDisplay::Look(const std::string& window, int x, int y,
                                                            int width, int height) {
    // Where the window is on the screen.
    const auto geometry = RunTool({kXdotool, "getwindowgeometry", window});
    const auto at = geometry ? geometry->find("Position: ") : std::string::npos;
    int left = 0, top = 0;
    if (at == std::string::npos ||
        std::sscanf(geometry->c_str() + at, "Position: %d,%d", &left, &top) != 2) {
        return std::nullopt;
    }
    // The screen as an XWD file: a header of 32-bit fields, the colour map,
    // then the pixels, row after row.
    std::ifstream in(screenFolder_ + "/Xvfb_screen0", std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (file.size() < 100) {
        return std::nullopt;
    }
    const std::uint32_t headerBytes = HeaderField(file, 0);
    const std::uint32_t screenWidth = HeaderField(file, 4), screenHeight = HeaderField(file, 5);
    const bool littleEndian = HeaderField(file, 7) == 0;
    const std::uint32_t bitsPerPixel = HeaderField(file, 11), bytesPerLine = HeaderField(file, 12);
    const std::uint32_t colours = HeaderField(file, 19);
    const std::size_t first = std::size_t{headerBytes} + std::size_t{colours} * 12;
    if (bitsPerPixel != 32 || left + x < 0 || top + y < 0 || width <= 0 || height <= 0 ||
        static_cast<std::uint32_t>(left + x + width) > screenWidth ||
        static_cast<std::uint32_t>(top + y + height) > screenHeight ||
        file.size() < first + std::size_t{bytesPerLine} * screenHeight) {
        return std::nullopt;
    }
    Picture picture{width, height, {}};
    picture.pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            const std::size_t offset =
                first + std::size_t{bytesPerLine} * static_cast<std::size_t>(top + y + row) +
                4 * static_cast<std::size_t>(left + x + column);
            std::uint32_t pixel = 0;
            for (int i = 0; i < 4; ++i) {
                const auto byte =
                    static_cast<std::uint8_t>(file[offset + static_cast<std::size_t>(i)]);
                pixel = littleEndian ? pixel | std::uint32_t{byte} << (8 * i) : pixel << 8 | byte;
            }
            picture.pixels.push_back(pixel & 0xFFFFFF);
        }
    }
    return picture;
}

} // namespace velmora::testing
