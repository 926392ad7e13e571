#include "support/child_process.h"

#include "support/eventually.h"

#include <csignal>
#include <unistd.h>

#include <sys/wait.h>

namespace velmora::testing {

ChildProcess::ChildProcess(std::vector<std::string> argv) {
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) {
        return;
    }
    pid_ = fork();
    if (pid_ == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(out[0]);
        close(err[0]);
        close(out[1]);
        close(err[1]);
        std::vector<char*> args;
        for (auto& a : argv) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    outReader_ = std::thread([this, fd = out[0]] { Pump(fd, out_); });
    errReader_ = std::thread([this, fd = err[0]] { Pump(fd, err_); });
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !exited_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
    if (outReader_.joinable()) {
        outReader_.join();
    }
    if (errReader_.joinable()) {
        errReader_.join();
    }
}

void ChildProcess::Pump(int fd, std::string& into) {
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) {
        std::lock_guard lock(lock_);
        into.append(buf, static_cast<std::size_t>(n));
    }
    close(fd);
}

bool ChildProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    return Eventually([&] { return Output().find(text) != std::string::npos; }, timeout);
}

std::string ChildProcess::Output() {
    std::lock_guard lock(lock_);
    return out_;
}

std::string ChildProcess::Errors() {
    std::lock_guard lock(lock_);
    return err_;
}

void ChildProcess::Signal(int signal) {
    if (pid_ > 0 && !exited_) {
        kill(pid_, signal);
    }
}

bool ChildProcess::Running() {
    if (pid_ > 0 && !exited_ && waitpid(pid_, &status_, WNOHANG) == pid_) {
        exited_ = true;
    }
    return pid_ > 0 && !exited_;
}

int ChildProcess::Wait(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!exited_ && std::chrono::steady_clock::now() < until) {
        if (waitpid(pid_, &status_, WNOHANG) == pid_) {
            exited_ = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!exited_) {
        return -1;
    }
    if (outReader_.joinable()) {
        outReader_.join();
    }
    if (errReader_.joinable()) {
        errReader_.join();
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

} // namespace velmora::testing
