#include "cli/decode_command.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

using velmora::cli::RunDecode;

namespace {

struct Run {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(std::FILE* f) {
    std::rewind(f);
    std::string s;
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) {
        s.append(buf.data(), n);
    }
    return s;
}

Run Decode(std::vector<std::string_view> args, const std::string& input = {}) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), in);
    std::rewind(in);
    Run r;
    r.status = RunDecode(args, in, out, err);
    std::fflush(out);
    std::fflush(err);
    r.out = ReadAll(out);
    r.err = ReadAll(err);
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    return r;
}

// Runs the real program through a shell, so argument handling and exit
// status are those a script sees.
Run Shell(const std::string& command) {
    Run r;
    std::FILE* p = popen(command.c_str(), "r");
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) {
        r.out.append(buf.data(), n);
    }
    const int raw = pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

const std::string kNoteOn = "90 3C 64    Note On          C3 (do3)    Velocity: 100 Channel 1 ";

} // namespace

TEST(Decode, BytesOnTheCommandLine) {
    const auto r = Decode({"90", "3C", "64"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, kNoteOn + "\n");

    const auto utf8 = Decode({"90", "3E", "64"});
    EXPECT_NE(utf8.out.find("D3 (r\xC3\xA9"
                            "3)"),
              std::string::npos);

    const auto missing = Decode({"C0", "05"});
    EXPECT_EQ(missing.out.substr(0, 8), "C0 05 00");

    const auto bad = Decode({"90", "3C", "64", "01"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "velmora-cli decode: more than three bytes\n");
}

TEST(Decode, StandardInputKeepsGoodLinesAndNamesBadOnes) {
    const auto r = Decode({}, "90 3C 64\nzz\n\nF8\r\n90 3C 64 00\n100\nFA");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, kNoteOn + "\n" +
                         "F8 00 00    Clock            Unused      Unused        Unused    \n" +
                         "FA 00 00    Start            Unused      Unused        Unused    \n");
    EXPECT_EQ(r.err, "velmora-cli decode: line 2: \"zz\" is not a hexadecimal byte\n"
                     "velmora-cli decode: line 3: empty line, expected 1 to 3 hexadecimal bytes\n"
                     "velmora-cli decode: line 5: more than three bytes\n"
                     "velmora-cli decode: line 6: \"100\" is above FF\n");

    const auto good = Decode({}, "90 3C 64\n");
    EXPECT_EQ(good.status, 0);
    EXPECT_EQ(good.out, kNoteOn + "\n");
    EXPECT_EQ(Decode({}, "").status, 0);
}

TEST(Decode, LinesLongerThanOneReadChunk) {
    std::string input;
    for (int i = 0; i < 20000; ++i) {
        input += "B0 07 7F\n";
    }
    input += std::string(100000, ' ') + "90 3C 64\n"; // one line across many reads
    const auto r = Decode({}, input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.size(), 20001u * 66u);
    EXPECT_TRUE(r.out.ends_with(kNoteOn + "\n"));
}

TEST(VelmoraCli, RealProgram) {
    const std::string cli = VELMORA_CLI;
    const auto one = Shell(cli + " decode 90 3C 64");
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out, kNoteOn + "\n");

    const auto piped = Shell("printf 'B9 54 7F\\nxx\\n' | " + cli + " decode 2>/dev/null");
    EXPECT_EQ(piped.status, 2);
    EXPECT_EQ(piped.out, "B9 54 7F    Control Change   Portamento C127           Channel 10\n");

    const auto help = Shell(cli + " decode --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: velmora-cli decode"), std::string::npos);
    EXPECT_EQ(Shell(cli + " --help").status, 0);
    EXPECT_EQ(Shell(cli + " frobnicate 2>/dev/null").status, 2);
}
