// Compiled into every test, benchmark and screenshot program (the
// velmora_test_support target carries it): before main, HOME and the XDG
// folders point into a fresh folder of the program's own, removed at exit.
// So nothing a test does reads or writes the user's files (a Velmora.ini in
// ~/.config, help logs, caches), and nothing the user keeps there changes a
// result. The programs a test starts inherit the same folders.
//
// JACK is not affected: its server sockets live in /dev/shm, found by the
// server's name alone.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class ThrowawayHome {
  public:
    ThrowawayHome() : owner_(getpid()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp == '/' ? tmp : "/tmp") + "/velmora-home-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            // Better to stop than to run against the user's own files.
            std::perror("velmora tests: cannot make a throwaway HOME");
            std::_Exit(1);
        }
        root_ = pattern;
        setenv("HOME", root_.c_str(), 1);
        Point("XDG_CONFIG_HOME", ".config");
        Point("XDG_STATE_HOME", ".local/state");
        Point("XDG_DATA_HOME", ".local/share");
        Point("XDG_CACHE_HOME", ".cache");
        Point("XDG_RUNTIME_DIR", "runtime"); // Qt wants it private
    }
    ~ThrowawayHome() {
        if (getpid() == owner_) { // not in a forked child that returns through exit()
            std::error_code ignored;
            std::filesystem::remove_all(root_, ignored);
        }
    }
    ThrowawayHome(const ThrowawayHome&) = delete;
    ThrowawayHome& operator=(const ThrowawayHome&) = delete;

  private:
    void Point(const char* variable, const char* relative) {
        const std::filesystem::path folder = root_ / relative;
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        chmod(folder.c_str(), 0700);
        setenv(variable, folder.c_str(), 1);
    }

    pid_t owner_;
    std::filesystem::path root_;
};

const ThrowawayHome throwawayHome;

} // namespace
