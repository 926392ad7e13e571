// velmora-cli record and send against real JACK ports: a peer client plays
// dumps into the recorder and takes in what the sender sends, byte for byte.
#include <gtest/gtest.h>

#include <jack/jack.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "jack_peer.h"
#include "late_cycles.h"
#include "support/child_process.h"
#include "support/eventually.h"
#include "support/sysex_dump.h"

using namespace velmora::jacktest;
using velmora::testing::ChildProcess;
using velmora::testing::SysexDump;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

const std::string kCli = VELMORA_CLI;
using Bytes = std::vector<std::uint8_t>;

// A bank dump: F0 43 00 09 20 00, 4096 data bytes, checksum, F7.
Bytes BankDump() {
    Bytes bank = {0xF0, 0x43, 0x00, 0x09, 0x20, 0x00};
    std::uint8_t sum = 0;
    for (int i = 0; i < 4096; ++i) {
        bank.push_back(static_cast<std::uint8_t>((i * 13 + 5) % 128));
        sum = static_cast<std::uint8_t>(sum + bank.back());
    }
    bank.push_back(static_cast<std::uint8_t>((128 - sum % 128) % 128));
    bank.push_back(0xF7);
    return bank;
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Polls until standard error holds `text` (progress and status go there).
// The deadline only guards against a hang: a busy machine starts slowly.
bool WaitForErrors(ChildProcess& child, const std::string& text) {
    return velmora::testing::Eventually(
        [&] { return child.Errors().find(text) != std::string::npos; }, 30s);
}

// The command line's English texts, whatever the machine's locale.
void SpeakEnglish() {
    ::setenv("LC_ALL", "C", 1);
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A transfer that came up short while the server ran late is repeated (three
// tries in all), from a clean slate.
template <typename Attempt> void Transfer(JackPeer& peer, Attempt attempt) {
    EXPECT_TRUE(velmora::jacktest::RepeatedOnLateCycles(
        peer,
        [&](std::uint64_t) {
            peer.ClearReceived();
            return attempt();
        },
        3));
}

class TransferOnJack : public ::testing::Test {
  protected:
    void SetUp() override {
        SpeakEnglish();
        std::string error;
        peer_ = JackPeer::Open("dumps", &error);
        ASSERT_TRUE(peer_) << error;
        jack_status_t status{};
        probe_ = jack_client_open("dumps probe", JackNoStartServer, &status);
        ASSERT_NE(probe_, nullptr);
        // The CLI is given the peer's ports by name: other tests' clients
        // may come and go meanwhile, which renumbers JACK's ports.
        in_ = peer_->OutPort();
        out_ = peer_->InPort();

        std::string folder = ::testing::TempDir() + "velmora-transfer-XXXXXX";
        ASSERT_NE(::mkdtemp(folder.data()), nullptr);
        dir_ = folder;
    }

    void TearDown() override {
        if (probe_ != nullptr) {
            jack_client_close(probe_);
        }
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    // Waits until the recorder has connected its input to the peer's output
    // and the server's cycles use the connection.
    bool WaitForListener() {
        jack_port_t* out = jack_port_by_name(probe_, peer_->OutPort().c_str());
        if (out == nullptr) {
            return false;
        }
        // Connected: then the server's cycles have to take it in.
        return velmora::testing::Eventually([&] {
                   const char** ports = jack_port_get_all_connections(probe_, out);
                   const bool connected = ports != nullptr;
                   jack_free(ports);
                   return connected;
               }) &&
               peer_->WaitCycles(3);
    }

    // Records while the peer plays `dump`: the exit status, output and errors
    // of `velmora-cli record`.
    struct Recording {
        int status = -1;
        std::string output, errors;
    };
    // (An earlier attempt's file is simply replaced.)
    Recording Record(const fs::path& file, const Bytes& dump) {
        ChildProcess record(
            {kCli, "record", "--api", "jack", "--in", in_, file.string(), "--idle-ms", "1000"});
        Recording r;
        if (WaitForErrors(record, WaitingLine()) && WaitForListener()) {
            peer_->Send({0x90, 0x3C, 0x40}); // short messages are not recorded
            peer_->Send(dump);
            peer_->Send({0xF8});
            r.status = record.Wait(20s);
        }
        if (r.status == -1) { // nothing came, or not all: stop and see
            record.Signal(SIGINT);
            r.status = record.Wait();
        }
        r.output = record.Output();
        r.errors = record.Errors();
        return r;
    }

    std::string WaitingLine() const { return "Waiting for Sysex on '" + in_ + "'...\n"; }

    std::unique_ptr<JackPeer> peer_;
    jack_client_t* probe_ = nullptr;
    std::string in_, out_;
    fs::path dir_;
};

// A dump recorded to `file` made it whole: status 0, the count on standard
// error, nothing on standard output, the bytes.
::testing::AssertionResult RecordedWhole(const fs::path& file, const Bytes& dump,
                                         const std::string& count, int status,
                                         const std::string& output, const std::string& errors) {
    if (status != 0) {
        return ::testing::AssertionFailure() << "exit status " << status << "; " << errors;
    }
    if (errors.find(count + "\n") == std::string::npos || !output.empty()) {
        return ::testing::AssertionFailure() << "no '" << count << "' in: " << errors;
    }
    if (ReadFile(file) != dump) {
        return ::testing::AssertionFailure() << "the file differs from the dump";
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST_F(TransferOnJack, RecordsA10000ByteMessageByteIdentical) {
    const fs::path file = dir_ / "long.syx";
    const Bytes dump = SysexDump(10000);
    Transfer(*peer_, [&] {
        const Recording r = Record(file, dump);
        return RecordedWhole(file, dump, "3 blocks received - 10000 Bytes received", r.status,
                             r.output, r.errors);
    });
    EXPECT_EQ(fs::directory_iterator(dir_)->path(), file); // nothing else was written
}

TEST_F(TransferOnJack, RecordsABankDumpIgnoringNotesAndClock) {
    const fs::path file = dir_ / "bank.syx";
    const Bytes bank = BankDump();
    ASSERT_EQ(bank.size(), 4104u);
    Transfer(*peer_, [&] {
        const Recording r = Record(file, bank);
        return RecordedWhole(file, bank, "2 blocks received - 4104 Bytes received", r.status,
                             r.output, r.errors);
    });
}

TEST_F(TransferOnJack, RecordingNothingWritesNoFile) {
    const fs::path file = dir_ / "nothing.syx";
    ChildProcess record({kCli, "record", "--api", "jack", "--in", in_, file.string()});
    ASSERT_TRUE(WaitForErrors(record, WaitingLine())) << record.Errors();
    record.Signal(SIGINT);
    EXPECT_EQ(record.Wait(), 1);
    EXPECT_NE(record.Errors().find("Nothing to save !"), std::string::npos) << record.Errors();
    EXPECT_FALSE(fs::exists(file));
}

// SIGINT, SIGTERM or SIGHUP while the first sysex message is still arriving,
// after one, four or eight of its 1000-byte pieces: what arrived is saved,
// said cut (and after how many bytes), and the exit status is 1. A service
// that passes on a sysex message only whole (RtMidi's) never shows a piece
// of one: then nothing is there to save, and the test can't tell.
TEST_F(TransferOnJack, AnInterruptMidMessageSavesWhatArrivedAndSaysItWasCut) {
    const Bytes dump = SysexDump(20000);
    int saved = 0;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        for (const std::size_t pieces : {1u, 4u, 8u}) {
            SCOPED_TRACE("signal " + std::to_string(signal) + " after " + std::to_string(pieces) +
                         " pieces");
            const fs::path file =
                dir_ / ("cut-" + std::to_string(signal) + "-" + std::to_string(pieces) + ".syx");
            ChildProcess record({kCli, "record", "--api", "jack", "--in", in_, file.string(),
                                 "--idle-ms", "600000"});
            ASSERT_TRUE(WaitForErrors(record, WaitingLine()) && WaitForListener())
                << record.Errors();
            for (std::size_t i = 0; i < pieces; ++i) {
                ASSERT_TRUE(peer_->Send(std::span(dump).subspan(i * 1000, 1000)));
            }
            ASSERT_TRUE(peer_->WaitSent());
            ASSERT_TRUE(peer_->WaitCycles(3));
            record.Signal(signal);
            EXPECT_EQ(record.Wait(), 1) << record.Errors();
            const std::string errors = record.Errors();
            if (!fs::exists(file)) {
                EXPECT_NE(errors.find("No sysex arrived"), std::string::npos) << errors;
                continue;
            }
            ++saved;
            const Bytes got = ReadFile(file);
            ASSERT_FALSE(got.empty());
            ASSERT_LE(got.size(), pieces * 1000);
            EXPECT_TRUE(std::equal(got.begin(), got.end(), dump.begin())); // what came, as it came
            EXPECT_NE(errors.find("interrupted by SIG"), std::string::npos) << errors;
            EXPECT_NE(errors.find("cut after " + std::to_string(got.size()) + " bytes (no F7)"),
                      std::string::npos)
                << errors;
        }
    }
    if (saved == 0) {
        GTEST_SKIP() << "this JACK service passes a sysex message on only when it is whole";
    }
}

TEST_F(TransferOnJack, ARecordingThatCantBeSavedSaysWhy) {
    if (!fs::is_character_file("/dev/full")) {
        GTEST_SKIP() << "no /dev/full device here";
    }
    Transfer(*peer_, [&]() -> ::testing::AssertionResult {
        const Recording r = Record("/dev/full", SysexDump(100));
        if (r.status != 1 || r.errors.find("/dev/full: disk full") == std::string::npos) {
            return ::testing::AssertionFailure() << "status " << r.status << "; " << r.errors;
        }
        return ::testing::AssertionSuccess();
    });
}

TEST_F(TransferOnJack, SendsTwoMessagesAsTwoLongMessages) {
    const fs::path file = dir_ / "two.syx";
    const Bytes first = SysexDump(20, 1), second = SysexDump(30, 2);
    Bytes bytes = first;
    bytes.insert(bytes.end(), second.begin(), second.end());
    WriteFile(file, bytes);

    const std::string on = "Sending Sysex on '" + out_ + "'";
    Transfer(*peer_, [&]() -> ::testing::AssertionResult {
        ChildProcess send(
            {kCli, "send", "--api", "jack", "--out", out_, file.string(), "--pause-ms", "20"});
        if (send.Wait(30s) != 0) {
            return ::testing::AssertionFailure() << send.Errors();
        }
        if (send.Errors().find(on + "...\n" + on + " : 1 blocks (20 bytes)\n" + on +
                               " : 2 blocks (50 bytes)\n" + on + " : completed (50 bytes)\n") ==
                std::string::npos ||
            !send.Output().empty()) {
            return ::testing::AssertionFailure() << send.Errors();
        }
        peer_->WaitForEvents(2, 5s);
        peer_->WaitCycles(3); // anything more would have arrived by now
        if (peer_->Received() != std::vector<JackPeer::Event>{first, second}) {
            return ::testing::AssertionFailure()
                   << peer_->ReceivedCount() << " events arrived, not the two messages";
        }
        return ::testing::AssertionSuccess();
    });
}

// Each message of the file goes as one JACK event, whatever blocks the file
// is sent in, as long as the port takes an event that long.
TEST_F(TransferOnJack, SendsA300KilobyteFileAsOneEventAMessage) {
    Bytes file;
    std::vector<JackPeer::Event> expected;
    const std::size_t sizes[] = {4104, 10000, 4096, 4097, 127, 2, 8192};
    for (std::size_t i = 0; file.size() < 300 * 1024; ++i) {
        const Bytes m = SysexDump(sizes[i % std::size(sizes)], static_cast<std::uint8_t>(i));
        expected.push_back(m);
        file.insert(file.end(), m.begin(), m.end());
    }
    const std::size_t sentBytes = file.size();
    WriteFile(dir_ / "big.syx", file);

    Transfer(*peer_, [&]() -> ::testing::AssertionResult {
        ChildProcess send(
            {kCli, "send", "--api", "jack", "--out", out_, (dir_ / "big.syx").string()});
        if (send.Wait(60s) != 0) {
            return ::testing::AssertionFailure() << send.Errors();
        }
        if (send.Errors().find(" : completed (" + std::to_string(sentBytes) + " bytes)\n") ==
            std::string::npos) {
            return ::testing::AssertionFailure() << send.Errors();
        }
        peer_->WaitForBytes(sentBytes, 10s);
        peer_->WaitCycles(3);
        const auto received = peer_->Received();
        if (received != expected) {
            return ::testing::AssertionFailure()
                   << received.size() << " events arrived, " << expected.size() << " expected";
        }
        return ::testing::AssertionSuccess();
    });
    EXPECT_EQ(peer_->LostEvents(), 0u);
}

// A megabyte from send, through a loopback, into record: the file is the
// message byte for byte, or send or record says what was lost and fails. A
// recorder that exits 0 with a file it knows is damaged would be silent loss.
TEST_F(TransferOnJack, AMegabyteThroughALoopbackArrivesWholeOrIsReportedLost) {
    const Bytes message = velmora::testing::UnevenSysexDump(std::size_t{1} << 20);
    WriteFile(dir_ / "mega.syx", message);
    const fs::path file = dir_ / "back.syx";
    peer_->SetEcho(true); // what comes in at "in" goes out of "out", as Midi Through
    // Whole; or, only while the server ran late, damaged with that said; a
    // transfer that came up short while the server ran late is tried again,
    // three times in all.
    bool whole = false;
    bool saidWhileLate = false;
    for (int attempt = 0; attempt < 3 && !whole; ++attempt) {
        const std::uint64_t late = peer_->XRuns();
        ChildProcess record(
            {kCli, "record", "--api", "jack", "--in", in_, file.string(), "--idle-ms", "2000"});
        ASSERT_TRUE(WaitForErrors(record, WaitingLine()) && WaitForListener()) << record.Errors();
        ChildProcess send(
            {kCli, "send", "--api", "jack", "--out", out_, (dir_ / "mega.syx").string()});
        const int sent = send.Wait(120s);
        int recorded = record.Wait(60s);
        if (recorded == -1) {
            record.Signal(SIGINT);
            recorded = record.Wait();
        }
        whole = sent == 0 && recorded == 0 && ReadFile(file) == message;
        // Never silent damage, whatever the machine's load.
        ASSERT_TRUE(whole || recorded != 0 || sent != 0 ||
                    record.Errors().find("ran late") != std::string::npos)
            << "record exited 0 with a damaged file, saying nothing: " << record.Errors();
        saidWhileLate = !whole && peer_->XRuns() != late &&
                        (recorded != 0 || record.Errors().find("ran late") != std::string::npos);
        if (!whole && !saidWhileLate) {
            break; // short without a late cycle: a real loss
        }
    }
    EXPECT_TRUE(whole || saidWhileLate);
    EXPECT_EQ(peer_->LostEvents(), 0u);
}

TEST_F(TransferOnJack, DashRecordsToStandardOutputAndSendsFromStandardInput) {
    const Bytes dump = BankDump();
    // record - : the .syx bytes on standard output, the status on standard error.
    Transfer(*peer_, [&]() -> ::testing::AssertionResult {
        ChildProcess record({kCli, "record", "-a", "jack", "-i", in_, "-", "--idle-ms", "1000"});
        if (!WaitForErrors(record, WaitingLine()) || !WaitForListener()) {
            return ::testing::AssertionFailure() << record.Errors();
        }
        peer_->Send(dump);
        int status = record.Wait(20s);
        if (status == -1) {
            record.Signal(SIGINT);
            status = record.Wait();
        }
        const std::string out = record.Output();
        if (status != 0 || Bytes(out.begin(), out.end()) != dump ||
            record.Errors().find("Saved 4104 bytes to standard output\n") == std::string::npos) {
            return ::testing::AssertionFailure()
                   << "status " << status << ", " << out.size() << " bytes; " << record.Errors();
        }
        return ::testing::AssertionSuccess();
    });
    EXPECT_TRUE(fs::is_empty(dir_)); // no file named "-"

    // send - : the bytes from standard input; quiet, nothing is printed.
    WriteFile(dir_ / "in.syx", dump);
    Transfer(*peer_, [&]() -> ::testing::AssertionResult {
        ChildProcess send({"/bin/sh", "-c", "exec \"$0\" send -a jack -o \"$1\" -q - < \"$2\"",
                           kCli, out_, (dir_ / "in.syx").string()});
        if (send.Wait(30s) != 0 || !send.Output().empty() || !send.Errors().empty()) {
            return ::testing::AssertionFailure() << send.Output() << send.Errors();
        }
        peer_->WaitForBytes(dump.size(), 5s);
        peer_->WaitCycles(3);
        if (peer_->ReceivedBytes() != dump || peer_->ReceivedCount() != 1) { // one whole event
            return ::testing::AssertionFailure() << peer_->ReceivedByteCount() << " bytes arrived";
        }
        return ::testing::AssertionSuccess();
    });
}

TEST_F(TransferOnJack, SendRefusesWhatItCantDo) {
    ChildProcess missing({kCli, "send", "--api", "jack", "--out", out_, (dir_ / "x.syx").string()});
    EXPECT_EQ(missing.Wait(), 1);
    EXPECT_NE(missing.Errors().find("x.syx: file not found"), std::string::npos)
        << missing.Errors();
    // Under a French locale, the runtime's French texts.
    ChildProcess manquant({"/bin/sh", "-c",
                           "LC_ALL=fr_FR.UTF-8 exec \"$0\" send -a jack -o \"$1\" \"$2\"", kCli,
                           out_, (dir_ / "x.syx").string()});
    EXPECT_EQ(manquant.Wait(), 1);
    EXPECT_NE(manquant.Errors().find("x.syx: Fichier introuvable"), std::string::npos)
        << manquant.Errors();

    WriteFile(dir_ / "ok.syx", SysexDump(10));
    ChildProcess noDevice(
        {kCli, "send", "--api", "jack", "--out", "999", (dir_ / "ok.syx").string()});
    EXPECT_EQ(noDevice.Wait(), 2);
    EXPECT_NE(noDevice.Errors().find("there is no MIDI output 999"), std::string::npos);

    ChildProcess noFile({kCli, "send", "--api", "jack", "--out", out_});
    EXPECT_EQ(noFile.Wait(), 2);
    ChildProcess noInput({kCli, "record", "--api", "jack", "--in", "nobody:out", "x.syx"});
    EXPECT_EQ(noInput.Wait(), 2);
    EXPECT_NE(noInput.Errors().find("there is no MIDI input named 'nobody:out'"),
              std::string::npos);
    EXPECT_TRUE(peer_->Received().empty());
}

TEST(TransferByNumber, DevicesAreAlsoChosenByTheirNumber) {
    // The demo service's devices never change, so their numbers can be used.
    std::string folder = ::testing::TempDir() + "velmora-transfer-XXXXXX";
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    const fs::path file = fs::path(folder) / "one.syx";
    WriteFile(file, SysexDump(10));
    ChildProcess send({kCli, "send", "--api", "demo", "--out", "1", file.string()});
    EXPECT_EQ(send.Wait(), 0) << send.Errors();
    EXPECT_NE(send.Errors().find("Sending Sysex on 'Velmora Demo Synth 2' : completed (10 bytes)"),
              std::string::npos)
        << send.Errors();
    ChildProcess noOutput({kCli, "send", "--api", "demo", "--out", "2", file.string()});
    EXPECT_EQ(noOutput.Wait(), 2);
    EXPECT_NE(noOutput.Errors().find("there is no MIDI output 2 (2 outputs)"), std::string::npos);
    fs::remove_all(folder);
}

TEST(TransferFiles, WhatCantBeReadOrSavedIsRefusedBeforeAnyTransfer) {
    SpeakEnglish();
    std::string folder = ::testing::TempDir() + "velmora-transfer-XXXXXX";
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    const fs::path file = fs::path(folder) / "one.syx";
    WriteFile(file, SysexDump(10));
    // A pipe ("<(cat f.syx)") or a device is not sent from, and no send is
    // reported.
    for (const std::string& source : {"<(cat '" + file.string() + "')", std::string("/dev/zero")}) {
        ChildProcess send(
            {"/bin/bash", "-c", "exec '" + kCli + "' send --api demo --out 0 " + source});
        EXPECT_EQ(send.Wait(), 1) << source;
        EXPECT_NE(send.Errors().find(": not a regular file"), std::string::npos) << send.Errors();
        EXPECT_EQ(send.Errors().find("completed"), std::string::npos) << send.Errors();
    }
    // A file that could not be saved stops record before it waits for a dump.
    ChildProcess record(
        {kCli, "record", "--api", "demo", "--in", "0", folder + "/no-folder/x.syx"});
    EXPECT_EQ(record.Wait(), 1);
    EXPECT_NE(record.Errors().find("x.syx: file not found"), std::string::npos) << record.Errors();
    EXPECT_EQ(record.Output(), "");
    fs::remove_all(folder);
}

// Names with UTF-8, a backslash and a right-to-left override: list shows
// them escaped so that they can't be mistaken or turn the line around, the
// progress lines show the UTF-8 as it is, and the name as list shows it
// chooses the device.
TEST(TransferNames, UnusualNamesAreShownSafelyAndChosenAsShown) {
    SpeakEnglish();
    std::string error;
    const std::string name = "Synth\xC3\xA9 \\x1B \xE2\x80\xAE\xE9\x9F\xB3";
    auto peer = JackPeer::Open(name, &error);
    ASSERT_TRUE(peer) << error;
    const std::string client = peer->ClientName(); // "-01" added when taken
    ASSERT_EQ(client.rfind(name, 0), 0u) << client;
    const std::string shown =
        "Synth\xC3\xA9 \\\\x1B \\u202E\xE9\x9F\xB3" + client.substr(name.size());

    ChildProcess list({kCli, "list", "--api", "jack"});
    ASSERT_EQ(list.Wait(), 0) << list.Errors();
    EXPECT_NE(list.Output().find("  " + shown + ":in\n"), std::string::npos) << list.Output();
    EXPECT_NE(list.Output().find("  " + shown + ":out\n"), std::string::npos) << list.Output();
    EXPECT_EQ(list.Output().find("\xE2\x80\xAE"), std::string::npos) << list.Output();

    std::string folder = ::testing::TempDir() + "velmora-names-XXXXXX";
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    const fs::path file = fs::path(folder) / "one.syx";
    WriteFile(file, SysexDump(10));
    ChildProcess send({kCli, "send", "--api", "jack", "--out", shown + ":in", file.string()});
    EXPECT_EQ(send.Wait(30s), 0) << send.Errors();
    EXPECT_NE(send.Errors().find("Sending Sysex on '" + shown + ":in' : completed (10 bytes)\n"),
              std::string::npos)
        << send.Errors();

    ChildProcess record({kCli, "record", "--api", "jack", "--in", shown + ":out", "-"});
    EXPECT_TRUE(WaitForErrors(record, "Waiting for Sysex on '" + shown + ":out'...\n"))
        << record.Errors();
    record.Signal(SIGINT);
    EXPECT_EQ(record.Wait(), 1) << record.Errors();
    fs::remove_all(folder);
}
