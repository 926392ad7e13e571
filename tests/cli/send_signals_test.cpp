// velmora-cli send reading standard input, ended by signals: with the input
// idle, at an endless line, and at /dev/zero, each stop signal ends it at
// once with the status that says it was interrupted (128 + the signal).
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "support/child_process.h"
#include "support/eventually.h"

using velmora::testing::ChildProcess;
using velmora::testing::Eventually;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VELMORA_CLI;

// Whether velmora-cli runs as `pid` with its handler for `signal` in place
// (the kernel's SigCgt mask): from then on the signal asks it to stop instead
// of killing it. (The shell before it catches SIGINT for itself.)
bool Catches(pid_t pid, int signal) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    if (!(comm >> name) || name != "velmora-cli") {
        return false;
    }
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) == 0) {
            const unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
            return (mask >> (signal - 1) & 1) != 0;
        }
    }
    return false;
}

class SendFromStandardInput : public ::testing::Test {
  protected:
    void SetUp() override {
        ::setenv("LC_ALL", "C", 1);
        std::string folder = ::testing::TempDir() + "velmora-signals-XXXXXX";
        ASSERT_NE(::mkdtemp(folder.data()), nullptr);
        dir_ = folder;
        // Read and written by the shell that starts the command: never
        // written to, never at its end, an input that stays idle.
        idle_ = dir_ / "idle";
        ASSERT_EQ(::mkfifo(idle_.c_str(), 0600), 0);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // `send` on the demo synth with its standard input set up by `redirect`.
    std::unique_ptr<ChildProcess> Start(const std::string& args, const std::string& redirect) {
        return std::make_unique<ChildProcess>(std::vector<std::string>{
            "/bin/sh", "-c",
            "exec \"$0\" send -a demo -o 'Velmora Demo Synth' " + args + " " + redirect, kCli,
            idle_.string()});
    }

    fs::path dir_, idle_;
};

} // namespace

TEST_F(SendFromStandardInput, EachStopSignalEndsItAtOnceWhateverTheInput) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        // Idle input: nothing comes, nothing ends; the signal does.
        for (const std::string args : {"--hex -", "-"}) {
            SCOPED_TRACE(args);
            auto send = Start(args, "<>\"$1\"");
            ASSERT_TRUE(Eventually([&] { return Catches(send->Pid(), signal); }, 20s));
            send->Signal(signal);
            EXPECT_EQ(send->Wait(2s), 128 + signal) << send->Errors();
            EXPECT_NE(send->Errors().find("interrupted"), std::string::npos) << send->Errors();
        }
        // An endless line: read at full speed, kept to 1 MiB, ended by the
        // signal; the shell then says its status.
        ChildProcess endless({"/bin/sh", "-c",
                              "tr '\\000' z < /dev/zero | \"$0\" send -a demo -o 0 --hex -; "
                              "echo \"status $?\"",
                              kCli});
        pid_t sender = -1;
        ASSERT_TRUE(Eventually(
            [&] {
                std::ifstream children("/proc/" + std::to_string(endless.Pid()) + "/task/" +
                                       std::to_string(endless.Pid()) + "/children");
                pid_t child = -1;
                while (children >> child) {
                    if (Catches(child, signal)) {
                        sender = child;
                        return true;
                    }
                }
                return false;
            },
            20s));
        ::kill(sender, signal);
        ASSERT_TRUE(endless.WaitForOutput("status", 2s)) << endless.Errors();
        EXPECT_NE(endless.Output().find("status " + std::to_string(128 + signal)),
                  std::string::npos)
            << endless.Output();
        EXPECT_EQ(endless.Errors(), "velmora-cli send: interrupted; 0 messages (0 bytes) were "
                                    "sent\n");
    }

    // /dev/zero is no text: the first NUL ends the read, no signal needed.
    auto zeros = Start("--hex -", "< /dev/zero");
    EXPECT_EQ(zeros->Wait(2s), 2);
    EXPECT_EQ(zeros->Errors(), "velmora-cli send: line 1: a NUL byte: the input is not text, "
                               "sending stops\nSent 0 messages (0 bytes) on 'Velmora Demo "
                               "Synth'\n");

    // A line over 1 MiB is reported and skipped; the next ones go.
    ChildProcess longLine(
        {"/bin/sh", "-c",
         "{ head -c 2000000 /dev/zero | tr '\\000' z; printf '\\n90 3C 64\\n'; } | "
         "\"$0\" send -a demo -o 0 --hex -",
         kCli});
    EXPECT_EQ(longLine.Wait(20s), 2);
    EXPECT_EQ(longLine.Errors(), "velmora-cli send: line 1: longer than 1 MiB: \"" +
                                     std::string(32, 'z') +
                                     "...\"\nSent 1 messages (3 bytes) on 'Velmora Demo Synth'\n");
}
