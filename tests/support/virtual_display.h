// An X server of a test's own (Xvfb) and a user's mouse on it (xdotool), for
// tests of real windows of the velmora program.
//
// The server picks a free display number itself and tells it when it takes
// clients; DISPLAY names it while it runs, so the programs a test starts use
// it. It never resets: by default an X server resets when its last client
// leaves and drops a client that connects meanwhile, and the short-lived
// xdotool clients that look for a window leave all the time while the
// program under test is connecting.
#pragma once

#include <memory>
#include <string>

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
    // there is none.
    std::string WaitForWindow(const std::string& size, ChildProcess& program);

    // A left click at (x, y) inside the window, as a user's mouse gives it.
    bool Click(const std::string& window, int x, int y);

  private:
    std::unique_ptr<ChildProcess> server_;
    std::string display_;
};

} // namespace velmora::testing
