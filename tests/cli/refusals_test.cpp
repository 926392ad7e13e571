// What velmora-cli refuses, as the real program on the demo service: links
// that another user planted in a shared sticky folder (a second user made
// for the test), and standard output on a full disk.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/child_process.h"

using velmora::testing::ChildProcess;
namespace fs = std::filesystem;

namespace {

constexpr const char* kPlanter = "velmora-test";
constexpr uid_t kNobody = 65534;

struct Ended {
    int status = -1;
    std::string errors;
};

Ended RunChild(std::vector<std::string> argv) {
    ChildProcess child(std::move(argv));
    Ended ended;
    ended.status = child.Wait(std::chrono::seconds(20));
    ended.errors = child.Errors();
    return ended;
}

// velmora-cli ARGS with standard output at `out`, through the shell.
Ended RunTo(const std::string& args, const std::string& out) {
    return RunChild({"/bin/sh", "-c", std::string(VELMORA_CLI) + " " + args + " > " + out});
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The test's second user, made once on this machine (root only).
const passwd* SecondUser() {
    if (::getpwnam(kPlanter) == nullptr) {
        RunChild({"/usr/sbin/useradd", "--system", "--no-create-home", "--shell",
                  "/usr/sbin/nologin", kPlanter});
    }
    return ::getpwnam(kPlanter);
}

std::vector<std::string> As(const passwd& user, std::vector<std::string> argv) {
    std::vector<std::string> as = {"/usr/bin/setpriv", "--reuid=" + std::to_string(user.pw_uid),
                                   "--regid=" + std::to_string(user.pw_gid), "--clear-groups"};
    as.insert(as.end(), argv.begin(), argv.end());
    return as;
}

} // namespace

// As root and as a user: a link another user planted, as the file or as a
// folder on the way, is neither read (its bytes would go out of a MIDI port)
// nor written through, and the command says so and fails at once.
TEST(Refusals, LinksPlantedByAnotherUserAreNeverFollowed) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "making a second user and acting as it needs root";
    }
    const passwd* found = SecondUser();
    ASSERT_NE(found, nullptr) << "useradd " << kPlanter << " failed";
    const passwd user = *found;
    std::string pattern = ::testing::TempDir() + "velmora-links-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    ASSERT_EQ(::chmod(dir.c_str(), 0755), 0);
    // A shared sticky folder, like /tmp, that belongs to neither of them.
    const fs::path shared = dir / "shared";
    fs::create_directory(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    ASSERT_EQ(::chown(shared.c_str(), kNobody, kNobody), 0);

    // Each case's planter plants with a plain `ln -s`.
    // The second user must be able to run the program where it was built.
    const bool userCanRun = RunChild(As(user, {VELMORA_CLI, "--version"})).status == 0;
    for (const bool rootIsVictim : {true, false}) {
        if (!rootIsVictim && !userCanRun) {
            continue; // skipped below, with the reason
        }
        SCOPED_TRACE(rootIsVictim ? "root's files, the second user's links"
                                  : "the second user's files, root's links");
        const uid_t victim = rootIsVictim ? 0 : user.pw_uid;
        const fs::path home = dir / (rootIsVictim ? "root" : "user");
        fs::create_directory(home);
        const std::string secret = "\xF0\x7D\x01\xF7";
        std::ofstream(home / "secret.syx", std::ios::binary) << secret;
        ASSERT_EQ(::chmod((home / "secret.syx").c_str(), 0600), 0);
        ASSERT_EQ(::chmod(home.c_str(), 0700), 0);
        ASSERT_EQ(::chown((home / "secret.syx").c_str(), victim, victim), 0);
        ASSERT_EQ(::chown(home.c_str(), victim, victim), 0);
        const auto plant = [&](const fs::path& to, const std::string& name) {
            std::vector<std::string> ln = {"/bin/ln", "-s", to.string(), (shared / name).string()};
            EXPECT_EQ(RunChild(rootIsVictim ? As(user, ln) : ln).status, 0) << name;
        };
        plant(home / "secret.syx", "x.syx");
        plant(home, "evil");

        const auto cli = [&](std::vector<std::string> args) {
            args.insert(args.begin(), VELMORA_CLI);
            return RunChild(rootIsVictim ? args : As(user, args));
        };
        const std::vector<std::vector<std::string>> commands = {
            {"send", "-a", "demo", "-o", "0", (shared / "x.syx").string()},
            {"send", "-a", "demo", "-o", "0", (shared / "evil" / "secret.syx").string()},
            {"record", "-a", "demo", "-i", "0", (shared / "evil" / "out.syx").string()},
            {"record", "-a", "demo", "-i", "0", (shared / "x.syx").string()},
        };
        for (const auto& command : commands) {
            const Ended ended = cli(command);
            EXPECT_EQ(ended.status, 1) << command.back();
            EXPECT_NE(ended.errors.find("a link of another user in a shared folder"),
                      std::string::npos)
                << ended.errors;
        }
        EXPECT_EQ(Read(home / "secret.syx"), secret);
        EXPECT_FALSE(fs::exists(home / "out.syx"));
        fs::remove(shared / "x.syx");
        fs::remove(shared / "evil");
    }
    fs::remove_all(dir);
    if (!userCanRun) {
        GTEST_SKIP() << "the case of a user's files: " << kPlanter << " can't run " << VELMORA_CLI
                     << " (a build folder only root can reach)";
    }
}

// A full disk on standard output is a failure with a message, for every
// command that writes there; monitoring stops at the first failed write.
TEST(Refusals, AFullDiskOnStandardOutputIsAFailure) {
    for (const std::string args : {"--version", "--help", "list --help", "list -a demo",
                                   "monitor --help", "monitor -a demo -i 0"}) {
        const Ended full = RunTo(args, "/dev/full");
        EXPECT_EQ(full.status, 1) << args;
        EXPECT_NE(full.errors.find("cannot write standard output: No space left on device"),
                  std::string::npos)
            << args << ": " << full.errors;
    }
    EXPECT_EQ(RunTo("--version", "/dev/null").status, 0);
    EXPECT_EQ(RunTo("list -a demo", "/dev/null").status, 0);
}
