// Runs a program of ours as a child process for end-to-end tests, collecting
// its standard output and error while it runs.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace velmora::testing {

class ChildProcess {
  public:
    explicit ChildProcess(std::vector<std::string> argv);
    ~ChildProcess(); // kills the child if it still runs

    // Polls until standard output contains `text`.
    bool WaitForOutput(const std::string& text,
                       std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::string Output();
    std::string Errors();

    void Signal(int signal);
    pid_t Pid() const { return pid_; }
    // False once the child has ended.
    bool Running();
    // The exit status, or -1 when it did not exit within the timeout (or was
    // killed by a signal).
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));

  private:
    void Pump(int fd, std::string& into);

    pid_t pid_ = -1;
    int status_ = -1;
    bool exited_ = false;
    std::mutex lock_;
    std::string out_, err_;
    std::thread outReader_, errReader_;
};

} // namespace velmora::testing
