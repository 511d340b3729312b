#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

#include "base/unique_fd.h"
#include "delivery/clip_routes.h"
#include "delivery/clip_server.h"
#include "delivery/download_name.h"
#include "delivery/reachable_address.h"
#include "delivery/serve_token.h"
#include "network/curl_handle.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace quillon::delivery {
namespace {

const std::string kToken = "AbCdEfGhIjKlMnOpQrStUv-_";

std::string joined(const ClipReply& reply)
{
    std::string text;
    for (const auto& [name, value] : reply.headers)
        text += name + ": " + value + "\n";
    return text;
}

TEST(ClipRoutes, OnlyTheTokensPathsAnswer)
{
    const ServedClip clip{kToken, {"Song", 38000, 30000}, 10};
    const std::string base = "/" + kToken + "/", mp3 = base + "ringtone.mp3", digits = "0123456789";
    // For 200 and 206: the Content-Range sent ("" for none) and the clip's bytes sent.
    const std::tuple<const char*, std::string, const char*, unsigned, std::string, std::string> cases[] = {
        {"GET", "/", "", 404, "", ""},
        {"GET", base + "favicon.ico", "", 404, "", ""},
        {"GET", "/" + kToken.substr(1) + "x/ringtone.mp3", "", 404, "", ""},
        {"POST", "/", "", 404, "", ""},
        {"POST", mp3, "", 405, "", ""},
        {"GET", mp3, "", 200, "", digits},
        {"GET", mp3, "bytes=2-4", 206, "2-4/10", "234"},
        {"GET", mp3, "bytes=7-", 206, "7-9/10", "789"},
        {"GET", mp3, "bytes=8-400", 206, "8-9/10", "89"},
        {"GET", mp3, "bytes=-4", 206, "6-9/10", "6789"},
        {"GET", mp3, "bytes=-40", 206, "0-9/10", digits},
        {"GET", mp3, "bytes=10-", 416, "", ""},
        {"GET", mp3, "bytes=-0", 416, "", ""},
        {"GET", mp3, "bytes=5-2", 200, "", digits},
        {"GET", mp3, "bytes=0-1,4-5", 200, "", digits},
        {"GET", mp3, "bytes=x-3", 200, "", digits},
    };
    for (const auto& [method, path, range, status, contentRange, bytes] : cases) {
        const ClipReply reply = answerRequest(clip, {method, path, range, ""});
        std::string headers = status == 405 ? "Allow: GET, HEAD\n" : status == 416 ? "Content-Range: bytes */10\n" : "";
        if (status == 200 || status == 206) {
            headers = "Content-Type: audio/mpeg\nContent-Length: " + std::to_string(bytes.size()) +
                      "\nContent-Disposition: attachment; filename=\"Song ringtone.mp3\"\nAccept-Ranges: bytes\n";
            headers += contentRange.empty() ? "" : "Content-Range: bytes " + contentRange + "\n";
        }
        const std::string where = std::string(method) + " " + path + " " + range;
        EXPECT_EQ(reply.status, status) << where;
        EXPECT_EQ(joined(reply), headers) << where;
        EXPECT_EQ(digits.substr(reply.clipOffset, reply.clipLength) + reply.text, bytes) << where;
    }
    const ClipReply head = answerRequest(clip, {"HEAD", mp3, "bytes=2-4", ""});
    EXPECT_EQ(std::make_pair(head.status, head.clipLength), std::make_pair(206u, 0ul));
    EXPECT_NE(joined(head).find("Content-Length: 3\n"), std::string::npos);
    const ClipReply page = answerRequest(clip, {"GET", base, "bytes=0-1", ""});
    EXPECT_EQ(joined(page), "Content-Type: text/html; charset=utf-8\nContent-Length: " +
                                std::to_string(page.text.size()) + "\nCache-Control: no-store\n");
    EXPECT_EQ(answerRequest(clip, {"HEAD", base, "", ""}).text, "");
}

TEST(PhonePage, StepsSuitThePhoneThatAsked)
{
    const std::string texts[] = {
        "Open the download in Files, tap Share, then Use as Ringtone (iOS 26 or later)",
        "Open Settings \xE2\x80\xBA Sound \xE2\x80\xBA Phone ringtone, tap + and choose the download",
        "This ringtone is longer than 30 seconds, too long for an iPhone: make a shorter part in Quillon.",
        "Default notification sound, tap +",
        "Then choose it for texts in Settings",
        "Open the Clock app, tap an alarm",
        "Then choose it in the Clock app",
        "This alarm sound is longer than 30 seconds",
        "<h2>On iOS 18 or earlier</h2>\n<p>In GarageBand, start an Audio Recorder song"};
    // Which of the texts above the page shows, for each phone, part and kind.
    const std::tuple<const char*, std::int32_t, int, std::string> cases[] = {
        {"Mozilla/5.0 (iPad; CPU OS 26_0 like Mac OS X)", 30000, 0, "i-------g"},
        {"Mozilla/5.0 (iPad; CPU OS 26_0 like Mac OS X)", 30001, 0, "--w------"},
        {"Mozilla/5.0 (Linux; Android 15; Pixel 9) Chrome/130", 60000, 0, "-a-------"},
        {"Mozilla/5.0 (X11; Linux x86_64)", 12000, 0, "ia------g"},
        {"", 45000, 0, "-aw------"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 26_0 like Mac OS X)", 3000, 1, "i---t---g"},
        {"Mozilla/5.0 (Linux; Android 16)", 3000, 1, "---n-----"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 26_0 like Mac OS X)", 30000, 2, "i-----c-g"},
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 26_0 like Mac OS X)", 45000, 2, "-------w-"},
        {"Mozilla/5.0 (Linux; Android 16)", 45000, 2, "-----c---"},
    };
    for (const auto& [userAgent, lengthMs, kind, shown] : cases) {
        const quillon::base::ClipKind& clipKind = quillon::base::kClipKinds[kind];
        const std::string page = phonePage({"<Tom & \"Jerry\">", 38000, lengthMs, &clipKind}, userAgent);
        for (std::size_t i = 0; i < shown.size(); ++i)
            EXPECT_EQ(page.find(texts[i]) != std::string::npos, shown[i] != '-') << userAgent << ": " << texts[i];
        EXPECT_NE(page.find("<h1>&lt;Tom &amp; &quot;Jerry&quot;&gt; \xC2\xB7 0:38\xE2\x80\x93"), std::string::npos);
        EXPECT_NE(page.find("<a class=\"get\" href=\"ringtone.mp3\" download>Download the " +
                            std::string(clipKind.noun) + "</a>"),
                  std::string::npos);
        EXPECT_EQ(page.find("<script"), page.find("src="));  // neither
    }
    EXPECT_EQ(partCaption({"My Song", 38000, 30000}), "My Song \u00B7 0:38\u20131:08");
    EXPECT_EQ(partCaption({"", 0, 3000, &quillon::base::kClipKinds[1]}), "Notification \u00B7 0:00\u20130:03");
}

TEST(DownloadName, NamesTheFileForItsKind)
{
    EXPECT_EQ(downloadDisposition("", quillon::base::kClipKinds[0]), "attachment; filename=\"ringtone.mp3\"");
    EXPECT_EQ(downloadDisposition("Caf\xC3\xA9 \"x\"\\\t", quillon::base::kClipKinds[1]),
              "attachment; filename=\"Caf_ _x__ notification.mp3\"; "
              "filename*=UTF-8''Caf%C3%A9%20%22x%22%5C%20notification.mp3");
    // Control characters (C0, DEL, C1), newlines and bidirectional overrides and isolates are dropped.
    EXPECT_EQ(downloadDisposition("A\r\nB\x7F\xC2\x85G\xE2\x80\xAEH\xE2\x81\xA6I\xE2\x80\xAAJ\xE2\x81\xA9",
                                  quillon::base::kClipKinds[0]),
              "attachment; filename=\"ABGHIJ ringtone.mp3\"");
}

TEST(ServeToken, IsAFreshUrlSafeSecret)
{
    const auto first = makeServeToken(), second = makeServeToken();
    ASSERT_TRUE(first && second);
    EXPECT_GE(first->size(), 22u);
    EXPECT_EQ(first->find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
              std::string::npos);
    EXPECT_NE(*first, *second);
    EXPECT_FALSE(sameToken(first->substr(1), *first) || sameToken(*second, *first));
}

TEST(ReachableAddress, PicksTheAddressAPhoneCanReach)
{
    const InterfaceAddress wifi4{"wlan0", "192.168.1.23", true}, wifi6{"wlan0", "2001:db8::23", true},
        docker{"docker0", "172.17.0.1", false}, loop{"lo", "127.0.0.1", false}, local6{"wlan0", "fe80::1", true},
        apipa{"eth1", "169.254.3.4", true}, other6{"eth1", "2001:db8:1::5", false};
    const std::pair<std::vector<InterfaceAddress>, std::string> cases[] = {
        {{loop, docker, wifi6, wifi4}, "192.168.1.23"}, {{loop, docker, local6, wifi6}, "2001:db8::23"},
        {{loop, other6, docker}, "172.17.0.1"},         {{loop, local6, apipa, other6}, "2001:db8:1::5"},
        {{loop, local6, apipa}, "169.254.3.4"},         {{loop, local6, {"lo", "::1", true}}, ""},
    };
    for (const auto& [list, expected] : cases)
        EXPECT_EQ(reachableAddress(list).value_or(InterfaceAddress{}).address, expected) << expected;
    EXPECT_EQ(pageUrl("2001:db8::23", 8080, "t"), "http://[2001:db8::23]:8080/t/");

    const std::string v4 = "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\tMTU\tWindow\tIRTT\n"
                           "wlan0\t0001A8C0\t00000000\t0001\t0\t0\t600\t00FFFFFF\t0\t0\t0\n"
                           "eth0\t00000000\t0100000A\t0003\t0\t0\t100\t000000FF\t0\t0\t0\n"
                           "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n";
    EXPECT_EQ(defaultRouteInterfaces(v4, false), std::vector<std::string>{"wlan0"});
    const std::string zero(32, '0'), zeros = zero + " 00 " + zero + " 00 " + zero;
    const std::string v6 = zeros + " 00000400 1 0 00000003 eth1\n" + zeros + " ffffffff 1 0 00200200 lo\n" +
                           "20010db8" + zero.substr(8) + " 40 " + zero + " 00 " + zero + " 100 1 0 01 wlan0\n";
    EXPECT_EQ(defaultRouteInterfaces(v6, true), std::vector<std::string>{"eth1"});
}

// A real server on a main context of the test's own, driven while libcurl fetches
// from it on the same thread.
struct Serving : ::testing::Test {
    Serving() { g_main_context_push_thread_default(context); }
    ~Serving() override
    {
        server.reset();
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    static size_t collect(char* data, size_t size, size_t count, void* body)
    {
        static_cast<std::string*>(body)->append(data, size * count);
        return size * count;
    }

    // The status and body of a GET on 127.0.0.1 from the address from (status 0 when nothing answers).
    std::pair<long, std::string> fetch(const std::string& path, const std::string& port, const char* range = nullptr,
                                       const char* from = "127.0.0.1")
    {
        std::pair<long, std::string> result;
        const network::CurlHandle handle = network::makeCurlHandle();
        curl_easy_setopt(handle.get(), CURLOPT_URL, ("http://127.0.0.1:" + port + path).c_str());
        curl_easy_setopt(handle.get(), CURLOPT_INTERFACE, ("host!" + std::string(from)).c_str());
        curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, &Serving::collect);
        curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &result.second);
        curl_easy_setopt(handle.get(), CURLOPT_RANGE, range);
        auto done = std::async(std::launch::async, [&] { return curl_easy_perform(handle.get()); });
        while (done.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            g_main_context_iteration(context, FALSE);
        curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &result.first);
        return result;
    }

    bool reaches(std::int32_t status)
    {
        return test::waitUntil([&] { return g_main_context_iteration(context, FALSE), server->status() == status; });
    }
    // Serves the clip; the page's path and the port.
    std::pair<std::string, std::string> serveClip()
    {
        test::writeFile(dir / "clip.mp3", clip);
        EXPECT_TRUE(server->serve(dir / "clip.mp3", {"Song", 0, 20000}));
        const std::string response = server->response(), url = response.substr(0, response.find(":::"));
        return {url.substr(url.find('/', 7)), response.substr(response.find(":::") + 3)};
    }
    GMainContext* context = g_main_context_new();
    test::TempDir dir;
    std::vector<InterfaceAddress> addresses{{"lo", "127.0.0.1", false}, {"wlan0", "192.0.2.7", true}};
    std::unique_ptr<ClipServer> server = std::make_unique<ClipServer>(
        dir.path(), [this] { return addresses; }, ClipServer::kLifetime,
        ConnectionLimits{4, 8, std::chrono::seconds(1)});
    const std::string clip = std::string("ID3\0\xFF\xFB", 6) + std::string(5000, 'a') + "end";
};

TEST_F(Serving, ServesTheClipUnderItsTokenUntilStopped)
{
    const auto [page, port] = serveClip();
    EXPECT_EQ(server->response(), "http://192.0.2.7:" + port + page + ":::" + port);
    test::writeFile(dir / "clip.mp3", "other");  // what is served was read at the start
    EXPECT_EQ(fetch(page + "ringtone.mp3", port), std::make_pair(200L, clip));
    EXPECT_TRUE(reaches(kServeFetched));

    server->stop();
    EXPECT_EQ(std::make_pair(server->status(), server->response()), std::make_pair(kServeIdle, std::string()));
    EXPECT_EQ(fetch(page, port).first, 0);  // nothing listens
}

// A phone has the clip once one answer, or ranges that together cover it, brought it every byte.
TEST_F(Serving, ADownloadIsEveryByteAtOneClient)
{
    const auto [page, port] = serveClip();
    const std::string mp3 = page + "ringtone.mp3";
    EXPECT_EQ(fetch(mp3, port, "-1").first, 206);
    EXPECT_EQ(fetch(mp3, port, "0-99", "127.0.0.2").first, 206);  // another phone's part
    EXPECT_EQ(fetch(mp3, port, "50-").first, 206);
    while (g_main_context_iteration(context, FALSE)) {
    }
    EXPECT_EQ(server->status(), kServing);
    EXPECT_EQ(fetch(mp3, port, "0-49").first, 206);
    EXPECT_TRUE(reaches(kServeFetched));
}

// Connections past a peer's share are closed as they come, silent ones after the idle time: a flood leaves the
// phone room. Should the process run out of descriptors anyway, the serving ends and says so.
TEST_F(Serving, AFloodOfSilentConnectionsLeavesRoomForThePhone)
{
    const auto [page, port] = serveClip();
    std::vector<base::UniqueFd> flood = test::silentConnections(std::stoi(port), 200);
    EXPECT_TRUE(
        test::waitUntil([&] { return g_main_context_iteration(context, FALSE), test::closedByPeer(flood) == 200; }));
    EXPECT_EQ(fetch(page + "ringtone.mp3", port), std::make_pair(200L, clip));

    flood.clear();
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit saved = limit;
    limit.rlim_cur = base::UniqueFd(::dup(0)).get() + 1;  // a connection takes the last descriptor
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &limit), 0);
    flood = test::silentConnections(std::stoi(port), 1);
    EXPECT_TRUE(reaches(kServeLost));
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_EQ(fetch(page, port).first, 0);  // nothing listens
}

// Silence allowed for a minute: only the peer's share closes the rest of a flood.
TEST_F(Serving, APeerHoldsNoMoreThanItsShareOfConnections)
{
    server = std::make_unique<ClipServer>(
        dir.path(), [this] { return addresses; }, ClipServer::kLifetime,
        ConnectionLimits{4, 8, std::chrono::minutes(1)});
    const auto [page, port] = serveClip();
    const std::vector<base::UniqueFd> flood = test::silentConnections(std::stoi(port), 200);
    EXPECT_TRUE(
        test::waitUntil([&] { return g_main_context_iteration(context, FALSE), test::closedByPeer(flood) == 196; }));
    EXPECT_EQ(fetch(page, port, nullptr, "127.0.0.2").first, 200);
    EXPECT_EQ(test::closedByPeer(flood), 196);
}

TEST_F(Serving, RefusesWhatItMayNotServe)
{
    const test::TempDir outside;
    test::writeFile(outside / "clip.mp3", clip);
    std::filesystem::create_directories(dir / "sub");
    test::writeFile(dir / "sub" / "clip.mp3", clip);
    std::filesystem::create_symlink(outside / "clip.mp3", dir / "link.mp3");
    std::filesystem::create_directory_symlink(outside.path(), dir / "away");
    ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);
    const std::filesystem::path refused[] = {
        outside / "clip.mp3", dir / "sub" / ".." / ".." / outside.path().filename() / "clip.mp3",
        dir / "link.mp3",     dir / "away" / "clip.mp3",
        dir / "sub",          dir / "pipe.mp3",
        "/dev/null",          "sub/clip.mp3"};
    for (const auto& path : refused) {
        EXPECT_FALSE(server->serve(path, {"Song", 0, 1000})) << path;
        EXPECT_EQ(std::make_pair(server->status(), server->response()), std::make_pair(kServeRefused, std::string()));
    }
    addresses = {{"lo", "127.0.0.1", true}};
    EXPECT_FALSE(server->serve(dir / "sub" / "clip.mp3", {"Song", 0, 1000}));
    EXPECT_EQ(server->status(), kServeNoNetwork);

    addresses = {{"wlan0", "192.0.2.7", true}};
    server = std::make_unique<ClipServer>(
        dir.path(), [this] { return addresses; }, std::chrono::milliseconds(50));
    ASSERT_TRUE(server->serve(dir / "sub" / "clip.mp3", {"Song", 0, 1000}));
    EXPECT_TRUE(reaches(kServeExpired));
    EXPECT_EQ(server->response(), "");
}

}  // namespace
}  // namespace quillon::delivery
