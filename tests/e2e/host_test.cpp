// The real app as its pages see it, and against someone who wants in: the bridge and its rules,
// hostile values, browser keys, listeners, and foreign pages.
#include <gtest/gtest.h>
#include <httplib.h>

#include "base/version.h"
#include "bridge/member_table.h"
#include "tests/e2e/app_harness.h"

using namespace quillon::test;

namespace {

const std::string kVersionText(quillon::base::kVersionCode);

class HostTest : public AppTest {
protected:
    // Runs the start page with this program and waits for its last report.
    AppRun& start(const std::string& program, const std::string& prelude = "", const std::string& last = "",
                  const std::string& body = "")
    {
        app.addPage("selectSong.html", pageWith(program, prelude, body));
        run.emplace(app, std::vector<std::string>{"/tmp/My Music/first song.mp3"},
                    std::map<std::string, std::string>{{"QUILLON_SERVICE", "127.0.0.1:1"}});
        window = run->waitForWindow(kCaption);
        EXPECT_TRUE(window) << run->output();
        EXPECT_TRUE(last.empty() || run->waitForReport(last, 120s)) << run->output();
        return *run;
    }
    std::optional<AppRun> run;
    std::optional<std::string> window;
};

TEST_F(HostTest, PagesSeeTheBridgeMembersWithTheirRules)
{
    const AppRun& run = start("host_members.js", "", "size");
    EXPECT_EQ(run.reports(),
              (std::vector<std::string>{
                  "isdte true truthy " + kVersionText, "unknown undefined undefined undefined", "status 0 0 0 []",
                  "break true", "cl [/tmp/My Music/first song.mp3] [] dialog []", "retvalue [kept]", "retvalue []",
                  "retvalue [before]", "retvalue [Grüße 🎵]", "kept function " + kVersionText, "size 760x471"}));
}

TEST_F(HostTest, HostileValuesToEveryMemberThrowNothing)
{
    std::string members;
    for (const auto& member : quillon::bridge::memberTable())
        members += "'" + std::string(member.name) + "',";
    EXPECT_EQ(start("host_hostile.js", "var MEMBERS = [" + members + "];\n").waitForReport("hostile", 120s),
              "hostile calls threw 0 " + kVersionText);
}

TEST_F(HostTest, BrowserKeysReachOnlyThePage)
{
    AppRun& run = start("host_keys.js", "", "done", "<input id='field' autofocus>");
    ASSERT_TRUE(window) << run.output();
    run.keys(*window, {"F5", "ctrl+r", "ctrl+shift+r", "ctrl+n", "ctrl+o", "ctrl+p", "alt+Left", "F7", "ctrl+plus",
                       "Escape", "Return"});
    run.type(*window, "ab");
    ASSERT_TRUE(run.waitForReport("typed ab")) << run.output();
    run.keys(*window, {"ctrl+a", "ctrl+c", "End", "ctrl+v"});
    ASSERT_TRUE(run.waitForReport("typed abab")) << run.output();
    EXPECT_TRUE(run.running()) << "Escape or Return closed the window";
    EXPECT_EQ(run.reports("key "), (std::vector<std::string>{"key Escape", "key Enter", "key a", "key b", "key ctrl+a",
                                                             "key ctrl+c", "key End", "key ctrl+v"}));
    EXPECT_EQ(run.countReports("loaded"), 1u) << "a browser key reloaded the page";
}

// The bridge is a socket pair: neither the app nor its page processes listen anywhere.
TEST_F(HostTest, NeitherTheAppNorItsPageProcessesListen)
{
    const AppRun& run = start("host_keys.js", "", "done", "<input id='field'>");
    ASSERT_TRUE(waitUntil([&] { return !webProcesses(run.pid()).empty(); }));
    for (const pid_t process : webProcesses(run.pid()))
        EXPECT_EQ(listeningSockets(process), std::vector<std::string>{}) << "page process " << process;
    EXPECT_EQ(listeningSockets(run.pid()), std::vector<std::string>{});
}

// Framed or at the top (where parent is the page itself): no object, and the parent's out of reach.
TEST_F(HostTest, ForeignPagesGetNoBridge)
{
    const auto foreign = [](const std::string& label) {
        return pageWith("foreign.js", "var LABEL = '" + label + "';\n");
    };
    httplib::Server server;
    server.Get(R"(/(\w+)\.html)", [&foreign](const httplib::Request& request, httplib::Response& res) {
        res.set_content(foreign(request.matches[1]), "text/html");
    });
    server.Get(R"(/to-(\w+))", [](const httplib::Request& request, httplib::Response& res) {
        res.set_redirect("/" + std::string(request.matches[1]) + ".html");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread serving([&] { server.listen_after_bind(); });
    writeFile(app.path() / "outside.html", foreign("outside"));
    const AppRun& run =
        start("host_foreign.js", "var BASE = 'http://127.0.0.1:" + std::to_string(port) + "', OUTSIDE = 'file://" +
                                     app.path().string() + "/outside.html';\n");
    EXPECT_EQ(run.waitForReport("framed", 120s), "framed undefined blocked") << run.output();
    EXPECT_EQ(run.waitForReport("remote"), "remote undefined blocked") << run.output();
    EXPECT_EQ(run.countReports("outside function"), 0u) << "a file outside res/ got the bridge";
    server.stop();
    serving.join();
}

}  // namespace
