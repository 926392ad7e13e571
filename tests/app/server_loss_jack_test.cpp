// The main window on Velmora's own JACK service, on a JACK server of the
// test's own that stops and comes back, as a user's server does.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "app/main_form.h"
#include "jack_peer.h"
#include "midi/service_factory.h"
#include "own_jack_server.h"
#include "support/eventually.h"
#include "support/recording_reporter.h"
#include "support/stand_in_help.h"
#include "ui/kit_windows.h"

namespace {

using namespace std::chrono_literals;
using velmora::jacktest::JackPeer;

// Lets the window run until `done`, or `timeout` has passed.
template <typename Done> bool WindowRunsUntil(Done done, std::chrono::milliseconds timeout) {
    return velmora::testing::Eventually(
        [&] {
            QApplication::processEvents();
            return done();
        },
        timeout, 1ms);
}

// A stopped server is said in the window within 2 s, its devices are closed;
// when the server runs again the window takes up a new service and opens its
// devices again; and it closes cleanly afterwards.
TEST(WindowOnJack, AStoppedServerIsShownAndTheDevicesReopenWhenItReturns) {
    velmora::jacktest::OwnJackServer server("window-gone");
    ASSERT_TRUE(server.Started());
    int argc = 1;
    char name[] = "server_loss_jack_test";
    char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    std::string error;
    auto keys = JackPeer::Open("keys", &error);
    ASSERT_TRUE(keys) << error;
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("Velmora.ini"));
    std::ofstream(settings.toStdString(), std::ios::binary)
        << "[Devices]\r\nMidiInName=" << keys->OutPort() << "\r\nMidiOutName=" << keys->InPort()
        << "\r\n";
    std::unique_ptr<velmora::midi::MidiService> service =
        velmora::midi::CreateMidiService("jack", &error);
    ASSERT_TRUE(service) << error;
    velmora::testing::RecordingReporter reporter;
    velmora::testing::StandInHelp help;
    velmora::app::MainFormEnvironment env{*service, reporter, help, settings, settings};
    env.closeWaitMs = 0;
    env.restartService = [&service]() -> velmora::midi::MidiService* {
        service.reset();
        std::string ignored;
        service = velmora::midi::CreateMidiService("jack", &ignored);
        return service.get();
    };
    {
        velmora::app::TmainForm form(env);
        form.show();
        const auto opened = [&] {
            return form.ImgInOpen->tag() == 1 && form.ImgOutOpen->tag() == 1;
        };
        ASSERT_TRUE(WindowRunsUntil([&] { return !form.FirstActivation() && opened(); }, 30s))
            << form.DeviceStatus().toStdString();

        keys.reset();
        ASSERT_TRUE(server.Kill());
        EXPECT_TRUE(WindowRunsUntil(
            [&] { return form.DeviceStatus().contains(QStringLiteral("(jack) stopped")); }, 2s))
            << form.DeviceStatus().toStdString();
        EXPECT_FALSE(form.ImgInOpen->tag() == 1 || form.ImgOutOpen->tag() == 1);

        ASSERT_TRUE(server.Start());
        keys = JackPeer::Open("keys", &error);
        ASSERT_TRUE(keys) << error;
        EXPECT_TRUE(WindowRunsUntil(opened, 30s)) << form.DeviceStatus().toStdString();
        EXPECT_FALSE(form.DeviceStatus().contains(QStringLiteral("stopped")));
        EXPECT_TRUE(keys->WaitConnected(keys->OutPort(), "Velmora:in"));
        form.close();
        QApplication::processEvents();
    }
    service.reset();
    velmora::ui::DestroyKitWindows();
}

} // namespace
