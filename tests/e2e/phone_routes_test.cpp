// Step 4's routes that need no app on the phone, through the real pages, against
// firewalld, BlueZ and its OBEX service standing in on buses of the test's own.
#include <gtest/gtest.h>
#include <signal.h>

#include <gio/gio.h>

#include <algorithm>

#include "tests/e2e/pages_support.h"
#include "tests/phone_stand_ins.h"

using namespace quillon::test;

namespace {

class PhoneRoutesTest : public AppTest {
protected:
    ~PhoneRoutesTest() override
    {
        run.reset();
        services.reset();
        for (GTestDBus* bus : {systemBus, sessionBus}) {
            g_test_dbus_down(bus);
            g_object_unref(bus);
        }
    }

    // The app with the stand-ins, on step 4 with the clip of a short song.
    AppRun& toStepFour(const PhoneServicesSetup& setup = {})
    {
        const std::string display = std::getenv("DISPLAY");
        g_test_dbus_up(systemBus);
        g_test_dbus_up(sessionBus);
        setenv("DISPLAY", display.c_str(), 1);  // which starting a bus unset
        services = std::make_unique<PhoneServices>(g_test_dbus_get_bus_address(systemBus),
                                                   g_test_dbus_get_bus_address(sessionBus), setup);
        EXPECT_TRUE(services->owned());
        app.addToStartPage("phone_routes_probe.js");
        app.addToStartPage("element_probe.js", " data-buttons=\"#send button\"");
        writeFile(song, toneWav(4.0));
        run = std::make_unique<AppRun>(
            app, std::vector<std::string>{song.string()},
            std::map<std::string, std::string>{{"DBUS_SYSTEM_BUS_ADDRESS", g_test_dbus_get_bus_address(systemBus)},
                                               {"DBUS_SESSION_BUS_ADDRESS", g_test_dbus_get_bus_address(sessionBus)}});
        window = run->waitForWindow(kCaption);
        EXPECT_TRUE(window && waitForState(*run, "part")) << run->output();
        // Return makes the clip; a window just mapped may drop it.
        EXPECT_TRUE(run->pressUntil(
            kCaption, [this](const std::string& w) { run->keys(w, {"Return"}); },
            [this](const std::string&) { return waitForState(*run, "converting", 10s).has_value(); }));
        const auto ready = waitForState(*run, "clip-ready");
        EXPECT_TRUE(ready) << run->output();
        clip = clipOf(ready);
        return *run;
    }

    void clickButton(const std::string& text)
    {
        const auto [x, y] = probedCentre(*run, *window, text);
        run->click(*window, x, y);
    }

    GTestDBus* systemBus = g_test_dbus_new(G_TEST_DBUS_NONE);
    GTestDBus* sessionBus = g_test_dbus_new(G_TEST_DBUS_NONE);
    std::unique_ptr<PhoneServices> services;
    std::unique_ptr<AppRun> run;
    std::optional<std::string> window;
    std::filesystem::path song = app.path() / "my song.wav";
    std::string clip;
};

}  // namespace

TEST_F(PhoneRoutesTest, AllowingPhonesOpensTheServedPortForTheServingOnly)
{
    AppRun& app = toStepFour();
    ASSERT_EQ(waitForState(app, "firewall"), "firewall 2") << app.output();
    clickButton("Allow phones on this network");
    ASSERT_EQ(waitForState(app, "firewall", 30s, 1), "firewall 101") << app.output();
    const auto added = services->firewalld.calls("addPort");
    ASSERT_EQ(added.size(), 1U);
    char port[16] = {};
    int timeout = 0;
    ASSERT_EQ(std::sscanf(added[0].c_str(), "('public', '%15[0-9]', 'tcp', %d)", port, &timeout), 2) << added[0];
    // The port is the one the app serves on, for no longer than the 15 minutes it serves.
    EXPECT_TRUE(std::ranges::any_of(listeningSockets(app.pid()), [&](const std::string& s) {
        return s.find(":" + std::string(port) + " ") != std::string::npos;
    })) << port;
    EXPECT_TRUE(timeout > 800 && timeout <= 900) << timeout;
    EXPECT_TRUE(services->firewalld.calls("removePort").empty());
    kill(app.pid(), SIGTERM);
    ASSERT_TRUE(app.waitForExit());
    EXPECT_EQ(services->firewalld.calls("removePort"),
              std::vector<std::string>{"('public', '" + std::string(port) + "', 'tcp')"});
}

TEST_F(PhoneRoutesTest, ARefusedOpeningIsSaidInPlainWords)
{
    AppRun& app = toStepFour({.addPort = "error org.fedoraproject.FirewallD1.NotAuthorizedException"});
    clickButton("Allow phones on this network");
    ASSERT_EQ(waitForState(app, "firewall", 30s, 1), "firewall 201") << app.output();
    EXPECT_TRUE(app.waitForReport("firewall The firewall was not opened: permission was refused.", 10s));
    EXPECT_EQ(milestones(app, {"wifi-"}), std::vector<std::string>{"wifi-"}) << "serving ended";
    EXPECT_TRUE(services->firewalld.calls("removePort").empty());
}

TEST_F(PhoneRoutesTest, AZoneThatLetsHighPortsInGetsNoFirewallOffer)
{
    AppRun& app = toStepFour({.zonePorts = "[['22', 'tcp'], ['1025-65535', 'tcp']]"});
    ASSERT_EQ(waitForState(app, "firewall"), "firewall 100") << app.output();
    ASSERT_TRUE(waitForState(app, "bluetooth")) << app.output();  // step 4 drawn in full meanwhile
    EXPECT_EQ(app.countReports("at Allow phones"), 0U) << app.output();
}

TEST_F(PhoneRoutesTest, OnlyThePhoneThatTakesFilesGetsABluetoothButton)
{
    AppRun& app = toStepFour();
    ASSERT_EQ(waitForState(app, "bluetooth"), "bluetooth 1") << app.output();
    ASSERT_TRUE(app.waitForReport("at Send by Bluetooth to Ann's phone ")) << app.output();
    EXPECT_EQ(app.countReports("at Send by Bluetooth to Headset"), 0U);
}

TEST_F(PhoneRoutesTest, SendingByBluetoothPushesTheClipUnderItsMp3NameToThePhone)
{
    AppRun& app = toStepFour();
    clickButton("Send by Bluetooth to Ann's phone");
    ASSERT_EQ(waitForState(app, "bt-sent"), "bt-sent 100") << app.output();
    EXPECT_EQ(services->obex.calls("CreateSession"),
              std::vector<std::string>{"('" + std::string(kPhoneAddress) + "', {'Target': <'opp'>})"});
    const auto [name, bytes] = services->pushed();
    EXPECT_EQ(name, "my song ringtone.mp3");
    EXPECT_TRUE(bytes == readFile(clip)) << "the phone got other bytes than the clip";
    EXPECT_TRUE(waitUntil([&] { return services->obex.calls("RemoveSession").size() == 1; }, 10s));
    const auto said = app.waitForReport("note Sent to ", 10s);
    EXPECT_TRUE(said && said->starts_with("note Sent to Ann's phone,")) << app.output();
}

TEST_F(PhoneRoutesTest, ATransferThatEndsInErrorNeverSaysSent)
{
    AppRun& app = toStepFour({.transferEnd = "error"});
    clickButton("Send by Bluetooth to Ann's phone");
    ASSERT_EQ(waitForState(app, "bt-sent"), "bt-sent 204") << app.output();
    EXPECT_TRUE(app.waitForReport("note Ann's phone did not take the file.", 10s)) << app.output();
    EXPECT_EQ(app.countReports("note Sent to"), 0U) << app.output();
}

TEST_F(PhoneRoutesTest, CancelStopsTheTransferOnThePhonesSide)
{
    AppRun& app = toStepFour({.transferMs = 120'000});
    clickButton("Send by Bluetooth to Ann's phone");
    ASSERT_TRUE(waitForState(app, "bt-sending")) << app.output();
    clickButton("Cancel");
    ASSERT_EQ(waitForState(app, "bt-sent"), "bt-sent 205") << app.output();
    EXPECT_TRUE(waitUntil([&] { return services->obex.calls("RemoveSession").size() == 1; }, 10s));
    EXPECT_EQ(services->obex.calls("Cancel"), std::vector<std::string>{"()"});
    EXPECT_EQ(app.countReports("note Sent to"), 0U) << app.output();
}
