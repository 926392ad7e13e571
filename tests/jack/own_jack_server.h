// A JACK server of one test's own, for tests that stop it while Velmora
// runs: started with the suite's scripts, named after the suite's server (so
// a run that dies midway leaves one that the next run's start-jack stops),
// made the default server of this process and its children while it lives.
// Under PipeWire's JACK it is a PipeWire of its own (start-pipewire), found
// through its own runtime folder (PIPEWIRE_RUNTIME_DIR) while it lives.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include <sys/types.h>

#include "support/eventually.h"

namespace velmora::jacktest {

// True under PipeWire's JACK (scripts/test-pipewire): there the suite's
// server is PipeWire, shared by every test.
inline bool OnPipeWire() {
    const char* stack = std::getenv("VELMORA_JACK_STACK");
    return stack != nullptr && std::string(stack) == "pipewire";
}

// Skips the test that needs jackd itself where PipeWire serves JACK.
#define VELMORA_NEEDS_JACKD(why)                                                                   \
    if (::velmora::jacktest::OnPipeWire()) {                                                       \
        GTEST_SKIP() << "needs jackd: " why;                                                       \
    }

class OwnJackServer {
  public:
    explicit OwnJackServer(const std::string& suffix) {
        const char* suite = std::getenv("JACK_DEFAULT_SERVER");
        if (suite != nullptr) {
            previous_ = suite;
        }
        name_ = std::string(suite ? suite : "velmora-test") + "-" + suffix;
        state_ = ::testing::TempDir() + name_;
        if (OnPipeWire()) {
            if (const char* runtime = std::getenv("PIPEWIRE_RUNTIME_DIR")) {
                previousRuntime_ = runtime;
            }
            setenv("PIPEWIRE_RUNTIME_DIR", (state_ + "/runtime").c_str(), 1);
        }
        Start();
        setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    }
    ~OwnJackServer() {
        if (OnPipeWire()) {
            Run("stop-pipewire");
            previousRuntime_ ? setenv("PIPEWIRE_RUNTIME_DIR", previousRuntime_->c_str(), 1)
                             : unsetenv("PIPEWIRE_RUNTIME_DIR");
            previous_ ? setenv("JACK_DEFAULT_SERVER", previous_->c_str(), 1)
                      : unsetenv("JACK_DEFAULT_SERVER");
            return;
        }
        Run("stop-jack");
        // A server killed in the middle of its clients' requests may not
        // have left JACK's registry of servers, which holds 8: starting and
        // stopping one under its name takes the entry back, once the killed
        // process has been reaped (until then its name counts as taken).
        if (killed_ &&
            velmora::testing::Eventually([this] { return Start(); }, std::chrono::seconds(5),
                                         std::chrono::milliseconds(250))) {
            Run("stop-jack");
        }
        previous_ ? setenv("JACK_DEFAULT_SERVER", previous_->c_str(), 1)
                  : unsetenv("JACK_DEFAULT_SERVER");
    }
    OwnJackServer(const OwnJackServer&) = delete;
    OwnJackServer& operator=(const OwnJackServer&) = delete;

    bool Started() const { return started_; }
    // Starts it (again, after Kill: under the same name, as a user restarts
    // a server).
    bool Start() {
        started_ = Run(OnPipeWire() ? "start-pipewire" : "start-jack") == 0;
        return started_;
    }
    // Stops the server as a user or a crash would, behind its clients' backs.
    bool Kill() {
        killed_ = true;
        const pid_t pid = Pid();
        return pid > 0 && kill(pid, SIGTERM) == 0;
    }

    // The server frozen (SIGSTOP) while it lives: it answers nobody and
    // tells nobody, as a hung server. Continued when it goes, so that the
    // clients of this process can close before the server does.
    class Frozen {
      public:
        explicit Frozen(pid_t pid) : pid_(pid > 0 && kill(pid, SIGSTOP) == 0 ? pid : 0) {}
        ~Frozen() {
            if (pid_ > 0) {
                kill(pid_, SIGCONT);
            }
        }
        Frozen(const Frozen&) = delete;
        Frozen& operator=(const Frozen&) = delete;
        explicit operator bool() const { return pid_ > 0; }

      private:
        pid_t pid_;
    };
    std::unique_ptr<Frozen> Freeze() const { return std::make_unique<Frozen>(Pid()); }

  private:
    pid_t Pid() const {
        std::ifstream pidFile(state_ + (OnPipeWire() ? "/pipewire.pid" : "/jackd.pid"));
        pid_t pid = 0;
        return pidFile >> pid ? pid : 0;
    }
    int Run(const char* script) const {
        const std::string command = std::string(VELMORA_JACK_SCRIPTS_DIR) + "/" + script + " " +
                                    (OnPipeWire() ? "" : name_ + " ") + state_ + " >/dev/null";
        return std::system(command.c_str());
    }

    std::optional<std::string> previous_, previousRuntime_;
    std::string name_, state_;
    bool started_ = false;
    bool killed_ = false;
};

} // namespace velmora::jacktest
