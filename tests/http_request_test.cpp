#include "jobs/http_request_job.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "jobs/curl_response_text.h"
#include "tests/process_probe.h"

namespace quillon::jobs {
namespace {

using namespace std::chrono_literals;

TEST(ResponseText, CharsetIsReadFromTheContentType)
{
    const struct {
        const char* contentType;
        const char* charset;
    } cases[] = {
        {"text/html; charset=ISO-8859-1", "iso-8859-1"},
        {"text/plain;charset=\"UTF-8\"", "utf-8"},
        {"text/plain; format=flowed; CharSet = windows-1252 ", "windows-1252"},
        {"text/plain", ""},
        {"text/plain; charsetx=utf-8", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(charsetOf(c.contentType), c.charset) << c.contentType;
}

TEST(ResponseText, DecodesToUtf8AndReplacesWhatIsNotText)
{
    const struct {
        std::string body;
        const char* contentType;
        std::string text;
    } cases[] = {
        {"caf\xE9", "text/plain; charset=ISO-8859-1", "caf\xC3\xA9"},
        {"\x80 5", "text/plain; charset=windows-1252", "\xE2\x82\xAC 5"},
        {"caf\xC3\xA9", "text/plain; charset=utf-8", "caf\xC3\xA9"},
        {"caf\xC3\xA9", "text/plain", "caf\xC3\xA9"},
        {"a\xFF" "b", "text/plain", "a\xEF\xBF\xBD" "b"},
        {"a\xE2\x82", "", "a\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xC0\xAF", "text/plain; charset=utf-8", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // overlong "/"
        {"caf\xC3\xA9", "text/plain; charset=x-no-such-set", "caf\xC3\xA9"},
        {"\xEF\xBB\xBFok", "text/plain; charset=ISO-8859-1", "ok"},
        {std::string("\xFF\xFEo\0k\0", 6), "text/plain", "ok"},
        {std::string("a\0b", 3), "text/plain", std::string("a\0b", 3)},
        {"", "text/plain; charset=utf-16", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(responseTextToUtf8(c.body, c.contentType), c.text) << c.contentType;
}

// An HTTP server on 127.0.0.1 at a port picked at run time, serving on its own thread.
class LocalServer {
public:
    LocalServer()
    {
        port_ = server_.bind_to_any_port("127.0.0.1");
        if (port_ <= 0)
            throw std::runtime_error("cannot listen");
        server_.Get("/abc", [](const httplib::Request&, httplib::Response& r) { r.set_content("abc", "text/plain"); });
        server_.Get("/missing", [](const httplib::Request&, httplib::Response& r) {
            r.status = 404;
            r.set_content("<h1>not here</h1>", "text/html");
        });
        // Answers with the request target exactly as it arrived.
        server_.Get("/echo/.*", [](const httplib::Request& q, httplib::Response& r) {
            r.set_content(q.target, "text/plain");
        });
        server_.Get("/moved", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/abc"); });
        server_.Get("/to-file", [](const httplib::Request&, httplib::Response& r) {
            r.set_redirect("file:///etc/hostname");
        });
        server_.Get("/latin1", [](const httplib::Request&, httplib::Response& r) {
            r.set_content("Gr\xFC\xDF" "e", "text/plain; charset=ISO-8859-1");
        });
        server_.Get("/large", [](const httplib::Request&, httplib::Response& r) {
            r.set_content(std::string(1 << 20, 'x') + "end", "text/plain");
        });
        // Sends a first part, then holds the rest back until release().
        server_.Get("/stall", [this](const httplib::Request&, httplib::Response& r) {
            r.set_chunked_content_provider("text/plain", [this](std::size_t, httplib::DataSink& sink) {
                sink.write("part", 4);
                firstPartSent_ = true;
                std::unique_lock lock(mutex_);
                released_.wait_for(lock, 30s, [this] { return release_; });
                sink.write("rest", 4);
                sink.done();
                return true;
            });
        });
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() is only heard once the server runs.
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!server_.is_running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
    }
    ~LocalServer()
    {
        release();
        server_.stop();
        thread_.join();
    }

    [[nodiscard]] std::string url(const std::string& path) const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    [[nodiscard]] bool firstPartSent() const { return firstPartSent_; }
    void release()
    {
        std::lock_guard lock(mutex_);
        release_ = true;
        released_.notify_all();
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> firstPartSent_{false};
    std::mutex mutex_;
    std::condition_variable released_;
    bool release_ = false;
};

std::string fetch(const std::string& url, const std::function<bool()>& breakRequested = [] { return false; })
{
    return fetchResponseText(url, breakRequested, makeCurlHandle, {});
}

TEST(HttpRequest, ReturnsTheBodyOfAnyStatusAndFollowsRedirects)
{
    LocalServer server;
    EXPECT_EQ(fetch(server.url("/abc")), "abc");
    EXPECT_EQ(fetch(server.url("/missing")), "<h1>not here</h1>");
    EXPECT_EQ(fetch(server.url("/moved")), "abc");
    EXPECT_EQ(fetch(server.url("/latin1")), "Gr\xC3\xBC\xC3\x9F" "e");
    const std::string large = fetch(server.url("/large"));
    EXPECT_EQ(large.size(), (1u << 20) + 3);
    EXPECT_TRUE(large.ends_with("xend"));
}

TEST(HttpRequest, WhatAUrlMayNotHoldIsEscapedBeforeTheRequest)
{
    LocalServer server;
    const std::pair<std::string, std::string> cases[] = {
        {"/echo/a b", "/echo/a%20b"},
        {"/echo/a%20b c", "/echo/a%20b%20c"},
        {"/echo/M\xC3\xBCsik?s=\xC3\xA4 x&t=1+2", "/echo/M%c3%bcsik?s=%c3%a4+x&t=1+2"},
        {"/echo/x y#frag ment", "/echo/x%20y"},
    };
    for (const auto& [path, target] : cases)
        EXPECT_EQ(fetch(server.url(path)), target) << path;
}

TEST(HttpRequest, UrlsOutsideHttpAreRefusedBeforeAnyRequest)
{
    LocalServer server;
    for (const std::string url : {"file:///etc/hostname", "ftp://127.0.0.1/x", "gopher://127.0.0.1/", "127.0.0.1/abc",
                                  "not a url", "", "http://", "http://127.0.0.1/a\r\nX-Evil: 1",
                                  "javascript:alert(1)"})
        EXPECT_EQ(fetch(url), kOpenError) << url;
    EXPECT_EQ(fetch("HTTP://127.0.0.1:" + server.url("/abc").substr(17)), "abc");
}

TEST(HttpRequest, FailedRequestsGiveTheSendError)
{
    LocalServer server;
    // A redirect may not lead out of http either.
    EXPECT_EQ(fetch(server.url("/to-file")), kSendError);
    // A port nobody listens on: the server's own port once it is gone.
    std::string refused;
    {
        LocalServer gone;
        refused = gone.url("/abc");
    }
    EXPECT_EQ(fetch(refused), kSendError);
}

TEST(HttpRequest, BreakWhileTheResponseArrivesLeavesItEmpty)
{
    LocalServer server;
    EXPECT_EQ(fetch(server.url("/stall"), [&server] { return server.firstPartSent(); }), "");
}

TEST(HttpRequest, NoClientCallsTheHookOnceAndGivesItsError)
{
    int hookCalls = 0;
    EXPECT_EQ(fetchResponseText(
                  "http://127.0.0.1/", [] { return false; }, [] { return CurlHandle(); }, [&] { ++hookCalls; }),
              kNoClientError);
    EXPECT_EQ(hookCalls, 1);
}

class HttpRequestJob : public ::testing::Test {
protected:
    [[nodiscard]] bool ended() { return test::waitUntil([this] { return fields->xhStatus.value() == 1; }); }
    [[nodiscard]] bool allJobsGone() { return test::waitUntil([this] { return fields.use_count() == 1; }); }

    LocalServer server;
    SharedJobFields fields = std::make_shared<JobFields>();
};

TEST_F(HttpRequestJob, StoresTheResponseThenStatusOne)
{
    EXPECT_EQ(fields->xhStatus.value(), 0);
    EXPECT_EQ(fields->xhResponse.get(), "");
    fields->xhResponse.set("old");
    ASSERT_TRUE(startHttpRequest(fields, server.url("/abc"), {}));
    ASSERT_TRUE(ended());
    EXPECT_EQ(fields->xhResponse.get(), "abc");
    EXPECT_EQ(fields->xhResponse.get(), "abc");  // reading leaves it in place
    EXPECT_EQ(fields->xhStatus.value(), 1);

    ASSERT_TRUE(startHttpRequest(fields, "file:///etc/hostname", {}));
    ASSERT_TRUE(ended());
    EXPECT_EQ(fields->xhResponse.get(), kOpenError);
}

TEST_F(HttpRequestJob, ResponseIsEmptyUntilTheEnd)
{
    ASSERT_TRUE(startHttpRequest(fields, server.url("/stall"), {}));
    ASSERT_TRUE(test::waitUntil([this] { return server.firstPartSent(); }));
    EXPECT_EQ(fields->xhStatus.value(), 0);
    EXPECT_EQ(fields->xhResponse.get(), "");
    server.release();
    ASSERT_TRUE(ended());
    EXPECT_EQ(fields->xhResponse.get(), "partrest");
}

TEST_F(HttpRequestJob, BreakFlagEndsAStalledResponse)
{
    ASSERT_TRUE(startHttpRequest(fields, server.url("/stall"), {}));
    ASSERT_TRUE(test::waitUntil([this] { return server.firstPartSent(); }));
    fields->breakFlag = true;
    ASSERT_TRUE(ended());
    EXPECT_EQ(fields->xhResponse.get(), "");
}

TEST_F(HttpRequestJob, NoClientStillEndsWithStatusOne)
{
    std::atomic<int> hookCalls{0};
    ASSERT_TRUE(startHttpRequest(
        fields, server.url("/abc"), [&] { ++hookCalls; }, [] { return CurlHandle(); }));
    ASSERT_TRUE(ended());
    EXPECT_EQ(fields->xhResponse.get(), kNoClientError);
    EXPECT_EQ(hookCalls.load(), 1);
}

TEST_F(HttpRequestJob, AnOlderRequestNeverStoresOverANewerOne)
{
    ASSERT_TRUE(startHttpRequest(fields, server.url("/stall"), {}));
    ASSERT_TRUE(test::waitUntil([this] { return server.firstPartSent(); }));
    ASSERT_TRUE(startHttpRequest(fields, server.url("/abc"), {}));
    ASSERT_TRUE(ended());
    server.release();
    ASSERT_TRUE(allJobsGone());
    EXPECT_EQ(fields->xhResponse.get(), "abc");
    EXPECT_EQ(fields->xhStatus.value(), 1);
}

}  // namespace
}  // namespace quillon::jobs
