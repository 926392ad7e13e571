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

    // A data byte of 80 or more is no value: an error, never "Velocity: 128".
    const auto high = Decode({"90", "3C", "80"});
    EXPECT_EQ(high.status, 2);
    EXPECT_EQ(high.out, "");
    EXPECT_EQ(high.err, "velmora-cli decode: data byte 80 is above 7F\n");
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

TEST(Decode, DetailsAssembleAcrossLinesAndDescribeSysex) {
    const std::string input = "B0 65 00\nB0 64 00\nB0 06 02\n90 3C 64\nzz\n"
                              "F0 7E 7F 06 01 F7\nF0 41 10 42\nF0 41 90 F7\nF0 43 10\n";
    const auto r = Decode({"--details"}, input);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(
        r.out,
        "B0 65 00    Control Change   RPN MSB     0             Channel 1   RPN parameter MSB "
        "0, LSB to follow\n"
        "B0 64 00    Control Change   RPN LSB     0             Channel 1   RPN 0/0 selected: "
        "pitch bend sensitivity\n"
        "B0 06 02    Control Change   Data Entry M2             Channel 1   RPN 0/0 pitch "
        "bend sensitivity = 2 semitones 0 cents\n" +
            kNoteOn +
            "\n"
            "F0 7E 7F 06 01 F7    Sysex (6 bytes)  universal non-real-time to all devices: "
            "identity request\n"
            "F0 43 10    Unknow           Unknow      Unknow        Channel 1 \n");
    EXPECT_EQ(r.err, "velmora-cli decode: line 5: \"zz\" is not a hexadecimal byte\n"
                     "velmora-cli decode: line 7: a sysex message on one line must end with F7\n"
                     "velmora-cli decode: line 8: status byte 90 inside a sysex message\n");

    // Without --details the output stays as it was: a sysex line is refused.
    const auto plain = Decode({}, "B0 65 00\nF0 7E 7F 06 01 F7\n");
    EXPECT_EQ(plain.out, "B0 65 00    Control Change   RPN MSB     0             Channel 1 \n");
    EXPECT_EQ(plain.err, "velmora-cli decode: line 2: more than three bytes\n");

    const auto args = Decode({"--details", "E0", "00", "00"});
    EXPECT_EQ(args.out, "E0 00 00    Pitch Bend       0           0             Channel 1   "
                        "pitch bend -8192\n");
}

// Hostile input and output: binary data, endless lines, a full disk, an
// unreadable input. Memory stays bounded and a failure is never success.
TEST(Decode, HostileInputAndOutputFailLoudly) {
    const auto binary = Decode({}, "90 3C 64\n" + std::string(1000, '\0') + "\n90 3C 64\n");
    EXPECT_EQ(binary.status, 2);
    EXPECT_EQ(binary.out, kNoteOn + "\n");
    EXPECT_EQ(binary.err,
              "velmora-cli decode: line 2: a NUL byte: the input is not text, decoding stops\n");

    const auto endless =
        Decode({}, std::string(3'000'000, 'z') + "\n90 3C 64\n" + std::string(2'000'000, ' '));
    EXPECT_EQ(endless.status, 2);
    EXPECT_EQ(endless.out, kNoteOn + "\n");
    EXPECT_EQ(endless.err, "velmora-cli decode: line 1: longer than 1048576 characters: \"" +
                               std::string(32, 'z') +
                               "...\"\n"
                               "velmora-cli decode: line 3: longer than 1048576 characters: \"" +
                               std::string(32, ' ') + "...\"\n");

    std::FILE* full = std::fopen("/dev/full", "w");
    std::FILE* err = std::tmpfile();
    std::FILE* in = std::tmpfile();
    std::fputs("90 3C 64\n", in);
    std::rewind(in);
    EXPECT_EQ(RunDecode({}, in, full, err), 1);
    const std::array<std::string_view, 3> bytes{"90", "3C", "64"};
    EXPECT_EQ(RunDecode(bytes, in, full, err), 1);
    std::FILE* directory = std::fopen("/", "r");
    ASSERT_NE(directory, nullptr);
    EXPECT_EQ(RunDecode({}, directory, full, err), 1);
    std::fflush(err);
    EXPECT_EQ(ReadAll(err), "velmora-cli decode: cannot write standard output: No space left on "
                            "device\n"
                            "velmora-cli decode: cannot write standard output: No space left on "
                            "device\n"
                            "velmora-cli decode: cannot read standard input: Is a directory\n");
    for (std::FILE* f : {full, err, in, directory}) {
        std::fclose(f);
    }

    const std::string cli = VELMORA_CLI;
    EXPECT_EQ(Shell(cli + " decode < /dev/zero 2>/dev/null").status, 2);
    EXPECT_EQ(Shell("echo 90 3C 64 | " + cli + " decode 2>/dev/null >/dev/full; echo $?").out,
              "1\n");
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
