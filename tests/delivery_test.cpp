#include <sys/stat.h>
#include <unistd.h>

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "delivery/clip_routes.h"
#include "delivery/clip_server.h"
#include "delivery/download_name.h"
#include "delivery/qr_svg.h"
#include "delivery/reachable_address.h"
#include "delivery/serve_token.h"
#include "jobs/curl_handle.h"
#include "tests/test_support.h"

namespace quillon::delivery {
namespace {

const std::string kToken = "AbCdEfGhIjKlMnOpQrStUv-_";
const std::string kClipHeaders = "Content-Type: audio/mpeg\nContent-Length: %L\nContent-Disposition: attachment; "
                                 "filename=\"Song ringtone.mp3\"\nAccept-Ranges: bytes\n";

std::string joined(const ClipReply& reply)
{
    std::string text;
    for (const auto& [name, value] : reply.headers)
        text += name + ": " + value + "\n";
    return text;
}

std::string clipHeaders(const std::string& length, const std::string& range = "")
{
    std::string headers = kClipHeaders;
    headers.replace(headers.find("%L"), 2, length);
    return range.empty() ? headers : headers + "Content-Range: bytes " + range + "\n";
}

TEST(ClipRoutes, OnlyThePageAndTheClipUnderTheTokenAnswer)
{
    const ServedClip clip{kToken, {"Song", 38000, 30000}, 10};
    const std::string base = "/" + kToken + "/";
    struct Case {
        const char* method;
        std::string path;
        const char* range;
        unsigned status;
        std::string headers;
        std::string bytes;  // the clip's bytes sent, from "0123456789"
    } cases[] = {
        {"GET", "/", "", 404, "", ""},
        {"GET", "/favicon.ico", "", 404, "", ""},
        {"GET", base + "favicon.ico", "", 404, "", ""},
        {"GET", "/" + kToken.substr(1) + "x/ringtone.mp3", "", 404, "", ""},
        {"GET", "/" + kToken, "", 404, "", ""},
        {"GET", base + "../ringtone.mp3", "", 404, "", ""},
        {"GET", base + "ringtone.mp3/", "", 404, "", ""},
        {"POST", "/", "", 404, "", ""},
        {"POST", base + "ringtone.mp3", "", 405, "Allow: GET, HEAD\n", ""},
        {"GET", base + "ringtone.mp3", "", 200, clipHeaders("10"), "0123456789"},
        {"HEAD", base + "ringtone.mp3", "bytes=2-4", 206, clipHeaders("3", "2-4/10"), ""},
        {"GET", base + "ringtone.mp3", "bytes=2-4", 206, clipHeaders("3", "2-4/10"), "234"},
        {"GET", base + "ringtone.mp3", "bytes=7-", 206, clipHeaders("3", "7-9/10"), "789"},
        {"GET", base + "ringtone.mp3", "bytes=8-400", 206, clipHeaders("2", "8-9/10"), "89"},
        {"GET", base + "ringtone.mp3", "bytes=-4", 206, clipHeaders("4", "6-9/10"), "6789"},
        {"GET", base + "ringtone.mp3", "bytes=-40", 206, clipHeaders("10", "0-9/10"), "0123456789"},
        {"GET", base + "ringtone.mp3", "bytes=10-", 416, "Content-Range: bytes */10\n", ""},
        {"GET", base + "ringtone.mp3", "bytes=-0", 416, "Content-Range: bytes */10\n", ""},
        {"GET", base + "ringtone.mp3", "bytes=5-2", 200, clipHeaders("10"), "0123456789"},
        {"GET", base + "ringtone.mp3", "bytes=0-1,4-5", 200, clipHeaders("10"), "0123456789"},
        {"GET", base + "ringtone.mp3", "items=0-1", 200, clipHeaders("10"), "0123456789"},
        {"GET", base + "ringtone.mp3", "bytes=x-3", 200, clipHeaders("10"), "0123456789"},
    };
    const std::string digits = "0123456789";
    for (const auto& c : cases) {
        const ClipReply reply = answerRequest(clip, {c.method, c.path, c.range, ""});
        const std::string where = std::string(c.method) + " " + c.path + " " + c.range;
        EXPECT_EQ(reply.status, c.status) << where;
        EXPECT_EQ(joined(reply), c.headers) << where;
        EXPECT_EQ(digits.substr(reply.clipOffset, reply.clipLength), c.bytes) << where;
        EXPECT_EQ(reply.reachesEnd, !c.bytes.empty() && c.bytes.back() == '9') << where;
        EXPECT_EQ(reply.text, "") << where;
    }
    const ClipReply page = answerRequest(clip, {"GET", base, "bytes=0-1", ""});
    EXPECT_EQ(joined(page), "Content-Type: text/html; charset=utf-8\nContent-Length: " +
                                std::to_string(page.text.size()) + "\nCache-Control: no-store\n");
    EXPECT_EQ(answerRequest(clip, {"HEAD", base, "", ""}).text, "");
}

TEST(PhonePage, StepsFollowThePhoneThatAskedAndWarnOfLongPartsOnIphones)
{
    const std::string iphone = "Open the download in Files, tap Share, then Use as Ringtone (iOS 26 or later)";
    const std::string android = "Open Settings \xE2\x80\xBA Sound \xE2\x80\xBA Phone ringtone, tap + and choose the "
                                "download";
    const std::string tooLong = "This ringtone is 30 seconds or longer, too long for an iPhone: make a shorter part "
                                "in Quillon.";
    struct Case {
        const char* userAgent;
        std::int32_t lengthMs;
        std::vector<std::string> shown, hidden;
    } cases[] = {
        {"Mozilla/5.0 (iPhone; CPU iPhone OS 26_0 like Mac OS X) Safari", 29999, {iphone}, {android, tooLong}},
        {"Mozilla/5.0 (iPad; CPU OS 26_0 like Mac OS X)", 30000, {tooLong}, {android, iphone}},
        {"Mozilla/5.0 (Linux; Android 15; Pixel 9) Chrome/130", 60000, {android}, {iphone, tooLong}},
        {"Mozilla/5.0 (X11; Linux x86_64)", 12000, {iphone, android}, {tooLong}},
        {"", 45000, {tooLong, android}, {iphone}},
    };
    for (const auto& c : cases) {
        const std::string page = phonePage({"<Tom & \"Jerry\">", 38000, c.lengthMs}, c.userAgent);
        for (const auto& text : c.shown)
            EXPECT_NE(page.find(text), std::string::npos) << c.userAgent << ": " << text;
        for (const auto& text : c.hidden)
            EXPECT_EQ(page.find(text), std::string::npos) << c.userAgent << ": " << text;
        EXPECT_NE(page.find("<h1>&lt;Tom &amp; &quot;Jerry&quot;&gt; \xC2\xB7 0:38\xE2\x80\x93"), std::string::npos);
        EXPECT_NE(page.find("<a class=\"get\" href=\"ringtone.mp3\" download>Download the ringtone</a>"),
                  std::string::npos);
        EXPECT_NE(page.find("name=\"viewport\""), std::string::npos);
        EXPECT_EQ(page.find("<script"), std::string::npos);
        EXPECT_EQ(page.find("src="), std::string::npos);
    }
    EXPECT_EQ(partCaption({"My Song", 38000, 30000}), "My Song \xC2\xB7 0:38\xE2\x80\x93"
                                                      "1:08");
    EXPECT_EQ(partCaption({"", 0, 601400}), "Ringtone \xC2\xB7 0:00\xE2\x80\x93"
                                            "10:01");
}

TEST(DownloadName, AsciiFallbackAndExactUtf8Name)
{
    EXPECT_EQ(downloadDisposition(""), "attachment; filename=\"ringtone.mp3\"");
    EXPECT_EQ(downloadDisposition("Caf\xC3\xA9 \"x\"\\\t"),
              "attachment; filename=\"Caf_ _x___ ringtone.mp3\"; "
              "filename*=UTF-8''Caf%C3%A9%20%22x%22%5C%09%20ringtone.mp3");
}

TEST(ServeToken, LongUrlSafeAndFreshEachTime)
{
    const auto first = makeServeToken();
    const auto second = makeServeToken();
    ASSERT_TRUE(first && second);
    EXPECT_GE(first->size(), 22u);
    EXPECT_EQ(first->find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
              std::string::npos);
    EXPECT_NE(*first, *second);
    EXPECT_TRUE(sameToken(*first, *first));
    EXPECT_FALSE(sameToken(first->substr(1), *first));
    EXPECT_FALSE(sameToken(*second, *first));
}

TEST(ReachableAddress, DefaultRouteIpv4FirstAndNeverLoopbackOrLinkLocal)
{
    using List = std::vector<InterfaceAddress>;
    const InterfaceAddress wifi4{"wlan0", "192.168.1.23", true}, wifi6{"wlan0", "2001:db8::23", true},
        docker{"docker0", "172.17.0.1", false}, loop{"lo", "127.0.0.1", false}, local6{"wlan0", "fe80::1", true},
        apipa{"eth1", "169.254.3.4", true}, other6{"eth1", "2001:db8:1::5", false};
    const std::pair<List, std::string> cases[] = {
        {{loop, docker, wifi6, wifi4}, "192.168.1.23"},
        {{loop, docker, local6, wifi6}, "2001:db8::23"},
        {{loop, other6, docker}, "172.17.0.1"},
        {{loop, local6, apipa, other6}, "2001:db8:1::5"},
        {{loop, local6, apipa}, "169.254.3.4"},
        {{loop, local6, {"lo", "::1", true}, {"x", "0.0.0.0", true}}, ""},
        {{}, ""},
    };
    for (const auto& [list, expected] : cases)
        EXPECT_EQ(reachableAddress(list).value_or(InterfaceAddress{}).address, expected) << expected;
    EXPECT_EQ(pageUrl("2001:db8::23", 8080, "t"), "http://[2001:db8::23]:8080/t/");
    EXPECT_EQ(pageUrl("192.168.1.23", 41000, "t"), "http://192.168.1.23:41000/t/");

    const std::string v4 = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
                           "wlan0\t00000000\t0101A8C0\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
                           "wlan0\t0001A8C0\t00000000\t0001\t0\t0\t600\t00FFFFFF\t0\t0\t0\n"
                           "eth0\t00000000\t0100000A\t0003\t0\t0\t100\t000000FF\t0\t0\t0\n";
    EXPECT_EQ(defaultRouteInterfaces(v4, false), std::vector<std::string>{"wlan0"});
    const std::string zero(32, '0');
    const std::string v6 = zero + " 00 " + zero + " 00 fe800000000000000000000000000001 00000400 1 0 00000003 eth1\n" +
                           zero + " 00 " + zero + " 00 " + zero + " ffffffff 1 0 00200200 lo\n" +
                           "20010db8000000000000000000000000 40 " + zero + " 00 " + zero + " 100 1 0 01 wlan0\n";
    EXPECT_EQ(defaultRouteInterfaces(v6, true), std::vector<std::string>{"eth1"});
}

TEST(QrSvg, DecodesBackToTheUrl)
{
    g_autofree gchar* zbarimg = g_find_program_in_path("zbarimg");
    g_autofree gchar* rsvg = g_find_program_in_path("rsvg-convert");
    if (!zbarimg || !rsvg)
        GTEST_SKIP() << "zbarimg (zbar-tools) or rsvg-convert (librsvg2-bin) is not installed";
    test::TempDir dir;
    const std::string url = "http://192.168.1.23:41234/" + kToken + "/";
    const std::string svg = qrSvg(url);
    EXPECT_NE(svg.find("shape-rendering=\"crispEdges\""), std::string::npos);
    EXPECT_EQ(svg.substr(0, svg.find('>')).find("width"), std::string::npos);  // the page's CSS sizes it
    EXPECT_EQ(svg.find(":::"), std::string::npos);
    test::writeFile(dir / "qr.svg", svg);
    const std::string png = (dir / "qr.png").string();
    const std::string source = (dir / "qr.svg").string();
    const char* render[] = {"rsvg-convert", "-w", "400", "-b", "white", "-o", png.c_str(), source.c_str(), nullptr};
    const char* read[] = {"zbarimg", "--raw", "-q", png.c_str(), nullptr};
    gint status = -1;
    ASSERT_TRUE(g_spawn_sync(nullptr, const_cast<char**>(render), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                             nullptr, nullptr, &status, nullptr));
    ASSERT_TRUE(g_spawn_check_wait_status(status, nullptr));
    g_autofree gchar* decoded = nullptr;
    ASSERT_TRUE(g_spawn_sync(nullptr, const_cast<char**>(read), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                             &decoded, nullptr, &status, nullptr));
    EXPECT_EQ(std::string(decoded ? decoded : ""), url + "\n");
}

struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

struct Fetched {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
};

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

    Fetched fetch(const std::string& path, const char* range = nullptr)
    {
        Fetched result;
        const jobs::CurlHandle handle = jobs::makeCurlHandle();
        const std::string url = "http://127.0.0.1:" + port() + path;
        curl_easy_setopt(handle.get(), CURLOPT_URL, url.c_str());
        curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, &Serving::collect);
        curl_easy_setopt(handle.get(), CURLOPT_WRITEDATA, &result.body);
        curl_easy_setopt(handle.get(), CURLOPT_RANGE, range);
        const std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
        curl_multi_add_handle(multi.get(), handle.get());
        for (int running = 1; running;) {
            curl_multi_perform(multi.get(), &running);
            while (g_main_context_iteration(context, FALSE)) {
            }
            curl_multi_poll(multi.get(), nullptr, 0, 5, nullptr);
        }
        int left = 0;
        result.code = curl_multi_info_read(multi.get(), &left)->data.result;
        curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &result.status);
        curl_multi_remove_handle(multi.get(), handle.get());
        return result;
    }

    // Runs the context until the condition holds, for at most two seconds.
    bool runUntil(const std::function<bool()>& condition)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!condition() && std::chrono::steady_clock::now() < end)
            g_main_context_iteration(context, FALSE);
        return condition();
    }

    std::string field(int index) const
    {
        g_auto(GStrv) parts = g_strsplit(server->response().c_str(), ":::", 3);
        return g_strv_length(parts) == 3 ? parts[index] : "";
    }
    std::string port() const { return field(1); }
    std::string path() const { return field(0).substr(field(0).find('/', 7)); }

    GMainContext* context = g_main_context_new();
    test::TempDir dir;
    std::vector<InterfaceAddress> addresses{{"lo", "127.0.0.1", false}, {"wlan0", "192.0.2.7", true}};
    std::unique_ptr<ClipServer> server = std::make_unique<ClipServer>(dir.path(), [this] { return addresses; });
    const std::string clip = std::string("ID3\0\xFF\xFB", 6) + std::string(5000, 'a') + "end";
};

TEST_F(Serving, ServesTheClipUnderItsTokenUntilStopped)
{
    test::writeFile(dir / "clip.mp3", clip);
    ASSERT_TRUE(server->serve(dir / "clip.mp3", {"Song", 0, 20000}));
    EXPECT_EQ(server->status(), kServing);
    EXPECT_TRUE(field(0).starts_with("http://192.0.2.7:" + port() + "/")) << field(0);
    EXPECT_TRUE(field(2).starts_with("<svg")) << field(2);
    // Changing the file afterwards changes nothing served.
    test::writeFile(dir / "clip.mp3", "other");

    const Fetched part = fetch(path() + "ringtone.mp3", "0-1");
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.body, clip.substr(0, 2));
    EXPECT_EQ(fetch("/" + std::string(24, 'A') + "/ringtone.mp3").status, 404);
    EXPECT_EQ(fetch("/favicon.ico").status, 404);
    EXPECT_EQ(server->status(), kServing);
    const Fetched whole = fetch(path() + "ringtone.mp3");
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body, clip);
    EXPECT_TRUE(runUntil([&] { return server->status() == kServeFetched; }));
    EXPECT_NE(fetch(path()).body.find("Song \xC2\xB7 0:00\xE2\x80\x93"
                                      "0:20"),
              std::string::npos);

    const std::string oldPort = port();
    server->stop();
    EXPECT_EQ(server->status(), kServeIdle);
    EXPECT_EQ(server->response(), "");
    const jobs::CurlHandle handle = jobs::makeCurlHandle();
    const std::string address = "http://127.0.0.1:" + oldPort + "/";
    curl_easy_setopt(handle.get(), CURLOPT_URL, address.c_str());
    EXPECT_EQ(curl_easy_perform(handle.get()), CURLE_COULDNT_CONNECT);
}

TEST_F(Serving, RefusesWhatIsNotARegularFileInTheTemporaryFolderAndNeedsANetwork)
{
    test::TempDir outside;
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
        "/dev/null",          "sub/clip.mp3",
        dir / "missing.mp3"};
    for (const auto& path : refused) {
        EXPECT_FALSE(server->serve(path, {"Song", 0, 1000})) << path;
        EXPECT_EQ(server->status(), kServeRefused) << path;
        EXPECT_EQ(server->response(), "");
    }
    EXPECT_TRUE(server->serve(dir / "sub" / "clip.mp3", {"Song", 0, 1000}));
    addresses = {{"lo", "127.0.0.1", true}};
    EXPECT_FALSE(server->serve(dir / "sub" / "clip.mp3", {"Song", 0, 1000}));
    EXPECT_EQ(server->status(), kServeNoNetwork);

    addresses = {{"wlan0", "192.0.2.7", true}};
    server = std::make_unique<ClipServer>(
        dir.path(), [this] { return addresses; }, std::chrono::milliseconds(50));
    ASSERT_TRUE(server->serve(dir / "sub" / "clip.mp3", {"Song", 0, 1000}));
    EXPECT_TRUE(runUntil([&] { return server->status() == kServeExpired; }));
    EXPECT_EQ(server->response(), "");
}

}  // namespace
}  // namespace quillon::delivery
