// An X server of a test's own (Xvfb) and a user's mouse on it (xdotool), for
// tests of real windows of the velmora program.
//
// The screen is also kept in a file (Xvfb's -fbdir), so that a test can look
// at what a window shows without any tool of the desktop.
//
// The server picks a free display number itself and tells it when it takes
// clients; DISPLAY names it while it runs, so the programs a test starts use
// it. It never resets: by default an X server resets when its last client
// leaves and drops a client that connects meanwhile, and the short-lived
// xdotool clients that look for a window leave all the time while the
// program under test is connecting.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace velmora::testing {

class VirtualDisplay {
  public:
    // Whether Xvfb and xdotool were found when the tests were built.
    static bool Available();

    VirtualDisplay(); // starts the server; Running() tells whether it did
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool Running() const { return !display_.empty(); }
    const std::string& Name() const { return display_; } // ":N"
    // What the server said on its standard error.
    std::string Errors();

    // The id of a shown window called " Velmora" whose size is `size` ("WxH"),
    // waiting up to 20 s for it, or until `program` has ended; empty when
    // there is none. `title` is a regular expression for other windows.
    std::string WaitForWindow(const std::string& size, ChildProcess& program,
                              const std::string& title = "^ Velmora$");

    // A left click at (x, y) inside the window, as a user's mouse gives it.
    bool Click(const std::string& window, int x, int y);
    // Puts the mouse pointer in the screen's bottom left corner, where no
    // window or menu of a test lies: a menu that opens under the pointer
    // takes the item under it for the current one.
    bool PointerAway();
    // Gives the window the keyboard focus, then presses keys as a user's
    // keyboard does, one after the other (xdotool's names: "ctrl+p",
    // "Menu"). They are sent to the window itself, not to whatever holds the
    // keyboard as they come: a menu that has just closed would take them
    // from the X server then. The program gives a key to its open menu.
    bool Keys(const std::string& window, const std::vector<std::string>& keys);
    // How many windows of the program are shown now: its own and its menus
    // (the X class of Qt's windows is the program's name); -1 when unknown.
    int ShownWindows(const std::string& programName);
    // Types text into the window, as Keys presses keys.
    bool Type(const std::string& window, const std::string& text);
    // Resizes the window as a user's window manager would.
    bool Resize(const std::string& window, int width, int height);

    // The colours (0xRRGGBB) of a rectangle inside a window as the screen
    // shows it now; nothing when the screen can't be read.
    struct Picture {
        int width = 0, height = 0;
        std::vector<std::uint32_t> pixels; // row after row
        bool operator==(const Picture&) const = default;
        // How many pixels have a colour for which `test` holds.
        template <typename Test> std::size_t Count(Test test) const {
            std::size_t n = 0;
            for (std::uint32_t p : pixels) {
                n += test(p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF) ? 1 : 0;
            }
            return n;
        }
    };
    std::optional<Picture> Look(const std::string& window, int x, int y, int width, int height);

  private:
    std::unique_ptr<ChildProcess> server_;
    std::string display_;
    std::string screenFolder_; // where the server keeps its screen
};

} // namespace velmora::testing
