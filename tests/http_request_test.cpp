#include "jobs/http_request_job.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>

#include "jobs/curl_response_text.h"
#include "tests/process_probe.h"

namespace quillon::jobs {
namespace {

using namespace std::chrono_literals;

TEST(ResponseText, DecodesTheDeclaredCharsetToUtf8AndReplacesWhatIsNotText)
{
    const struct {
        std::string body;
        const char* contentType;
        std::string text;
    } cases[] = {
        {"caf\xE9", "text/plain; charset=ISO-8859-1", "caf\xC3\xA9"},
        {"\x80 5", "text/plain; format=flowed; CharSet = windows-1252 ", "\xE2\x82\xAC 5"},
        {"caf\xE9", "text/plain;charset=\"ISO-8859-1\"", "caf\xC3\xA9"},
        {"caf\xE9", "text/plain; charsetx=latin1", "caf\xEF\xBF\xBD"},
        {"a\xFF"
         "b",
         "text/plain",
         "a\xEF\xBF\xBD"
         "b"},
        {"a\xE2\x82", "", "a\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"\xC0\xAF", "text/plain; charset=utf-8", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // overlong "/"
        {"caf\xC3\xA9", "text/plain; charset=x-no-such-set", "caf\xC3\xA9"},
        {"\xEF\xBB\xBFok", "text/plain; charset=ISO-8859-1", "ok"},
        {std::string("\xFF\xFEo\0k\0", 6), "text/plain", "ok"},
        {std::string("a\0b", 3), "text/plain", std::string("a\0b", 3)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(responseTextToUtf8(c.body, c.contentType), c.text) << c.contentType;
}

// An HTTP server on 127.0.0.1 at a port picked at run time. /stall sends a first
// part, then holds the rest back until release().
class LocalServer {
public:
    LocalServer()
    {
        port_ = server_.bind_to_any_port("127.0.0.1");
        server_.Get("/abc", [](const httplib::Request&, httplib::Response& r) { r.set_content("abc", "text/plain"); });
        server_.Get("/missing", [](const httplib::Request&, httplib::Response& r) {
            r.status = 404;
            r.set_content("<h1>not here</h1>", "text/html");
        });
        // Answers with the request target exactly as it arrived.
        server_.Get("/echo/.*",
                    [](const httplib::Request& q, httplib::Response& r) { r.set_content(q.target, "text/plain"); });
        server_.Get("/moved", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/latin1"); });
        server_.Get("/to-file",
                    [](const httplib::Request&, httplib::Response& r) { r.set_redirect("file:///etc/hostname"); });
        server_.Get("/latin1", [](const httplib::Request&, httplib::Response& r) {
            r.set_content("Gr\xFC\xDF"
                          "e",
                          "text/plain; charset=ISO-8859-1");
        });
        server_.Get("/stall", [this](const httplib::Request&, httplib::Response& r) {
            r.set_chunked_content_provider("text/plain", [this](std::size_t, httplib::DataSink& sink) {
                sink.write("part", 4);
                firstPartSent_.set_value();
                released_.wait_for(30s);
                sink.write("rest", 4);
                sink.done();
                return true;
            });
        });
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        test::waitUntil([this] { return server_.is_running(); });
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
    void waitForFirstPart() { EXPECT_EQ(firstPart_.wait_for(30s), std::future_status::ready); }
    void release()
    {
        std::call_once(once_, [this] { release_.set_value(); });
    }

private:
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::promise<void> firstPartSent_;
    std::future<void> firstPart_ = firstPartSent_.get_future();
    std::once_flag once_;
    std::promise<void> release_;
    std::shared_future<void> released_ = release_.get_future().share();
};

std::string fetch(const std::string& url)
{
    return fetchResponseText(url, [] { return false; }, makeCurlHandle, {});
}

TEST(HttpRequest, ReturnsTheBodyOfAnyStatusEscapesTheUrlAndRefusesEverythingButHttp)
{
    LocalServer server;
    const std::string port = server.url("").substr(17);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {server.url("/abc"), "abc"},
        {"HTTP://127.0.0.1:" + port + "/abc", "abc"},
        {server.url("/missing"), "<h1>not here</h1>"},
        {server.url("/moved"), "Gr\xC3\xBC\xC3\x9F"
                               "e"},
        // What a URL may not hold is escaped before the request.
        {server.url("/echo/a b"), "/echo/a%20b"},
        {server.url("/echo/a%20b c"), "/echo/a%20b%20c"},
        {server.url("/echo/M\xC3\xBCsik?s=\xC3\xA4 x&t=1+2"), "/echo/M%c3%bcsik?s=%c3%a4+x&t=1+2"},
        {server.url("/echo/x y#frag ment"), "/echo/x%20y"},
        {server.url("/to-file"), kSendError},  // a redirect may not lead out of http either
        {"http://127.0.0.1:1/abc", kSendError},
        {"file:///etc/hostname", kOpenError},
        {"ftp://127.0.0.1/x", kOpenError},
        {"127.0.0.1/abc", kOpenError},
        {"", kOpenError},
        {"http://", kOpenError},
        {"http://127.0.0.1/a\r\nX-Evil: 1", kOpenError},
        {"javascript:alert(1)", kOpenError},
    };
    for (const auto& [url, text] : cases)
        EXPECT_EQ(fetch(url), text) << url;
    EXPECT_EQ(fetchResponseText(
                  server.url("/abc"), [] { return false; }, [] { return CurlHandle(); }, {}),
              kNoClientError);
}

class HttpRequestJob : public ::testing::Test {
protected:
    [[nodiscard]] bool ended()
    {
        return test::waitUntil([this] { return fields->xhStatus.value() == 1; });
    }

    LocalServer server;
    SharedJobFields fields = std::make_shared<JobFields>();
};

TEST_F(HttpRequestJob, ResponseIsStoredBeforeStatusOneAndABreakLeavesItEmpty)
{
    fields->xhResponse.set("old");
    ASSERT_TRUE(startHttpRequest(fields, server.url("/stall"), {}));
    server.waitForFirstPart();
    EXPECT_EQ(fields->xhStatus.value(), 0);
    EXPECT_EQ(fields->xhResponse.get(), "");
    fields->breakFlag = true;
    ASSERT_TRUE(ended());
    EXPECT_EQ(fields->xhResponse.get(), "");

    ASSERT_TRUE(startHttpRequest(fields, server.url("/abc"), {}));
    ASSERT_TRUE(ended());
    EXPECT_EQ(fields->xhResponse.get(), "abc");
}

TEST_F(HttpRequestJob, AnOlderRequestNeverStoresOverANewerOne)
{
    ASSERT_TRUE(startHttpRequest(fields, server.url("/stall"), {}));
    server.waitForFirstPart();
    ASSERT_TRUE(startHttpRequest(fields, server.url("/abc"), {}));
    ASSERT_TRUE(ended());
    server.release();
    ASSERT_TRUE(test::waitUntil([this] { return fields.use_count() == 1; }));  // every job has ended
    EXPECT_EQ(fields->xhResponse.get(), "abc");
}

}  // namespace
}  // namespace quillon::jobs
