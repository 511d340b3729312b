// The network jobs: the HTTP request and the upload, against local servers, and the response's text.
#include <httplib.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <random>
#include <thread>
#include <vector>

#include "base/version.h"
#include "network/curl_response_text.h"
#include "network/http_request_job.h"
#include "network/upload_job.h"
#include "service_endpoint/service_codes.h"
#include "tests/process_probe.h"
#include "tests/test_support.h"

namespace quillon::network {
namespace {

TEST(ResponseText, BecomesUtf8FromItsDeclaredCharset)
{
    const std::string bad = "\xEF\xBF\xBD";  // U+FFFD
    const std::tuple<std::string, const char*, std::string> cases[] = {
        {"\x80 5", "text/plain; format=flowed; CharSet = windows-1252 ", "\xE2\x82\xAC 5"},
        {"caf\xE9", "text/plain;charset=\"ISO-8859-1\"", "caf\xC3\xA9"},
        {"caf\xE9", "text/plain; charsetx=latin1", "caf" + bad},
        {"a\xE2\x82", "", "a" + bad + bad},
        {"\xC0\xAF", "text/plain; charset=utf-8", bad + bad},  // overlong "/"
        {"caf\xC3\xA9", "text/plain; charset=x-no-such-set", "caf\xC3\xA9"},
        {"\xEF\xBB\xBFok", "text/plain; charset=ISO-8859-1", "ok"},
        {std::string("\xFF\xFEo\0k\0", 6), "text/plain", "ok"},
        {std::string("a\0b", 3), "text/plain", std::string("a\0b", 3)},
    };
    for (const auto& [body, contentType, text] : cases)
        EXPECT_EQ(responseTextToUtf8(body, contentType), text) << contentType;
}

// A server on 127.0.0.1 at a port picked at run time. /stall sends a first part,
// then holds the rest back until released.
class HttpServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = server.bind_to_any_port("127.0.0.1");
        server.Get("/abc", [](const httplib::Request&, httplib::Response& r) { r.set_content("abc", "text/plain"); });
        server.Get("/latin1", [](const httplib::Request&, httplib::Response& r) {
            r.set_content("Gr\xFC\xDF\x65", "text/plain; charset=ISO-8859-1");
        });
        server.Get("/echo/.*", [](const httplib::Request& q, httplib::Response& r) { r.set_content(q.target, ""); });
        server.Get("/moved", [](const httplib::Request&, httplib::Response& r) { r.set_redirect("/latin1"); });
        server.Get("/to-file",
                   [](const httplib::Request&, httplib::Response& r) { r.set_redirect("file:///etc/hostname"); });
        server.Get("/stall", [this](const httplib::Request&, httplib::Response& r) {
            r.set_chunked_content_provider("text/plain", [this](std::size_t, httplib::DataSink& sink) {
                sink.write("part", 4);
                ++stalled;
                (void)test::waitUntil([this] { return released.load(); });
                sink.write("rest", 4);
                sink.done();
                return true;
            });
        });
        thread = std::thread([this] { server.listen_after_bind(); });
        test::waitUntil([this] { return server.is_running(); });
    }
    void TearDown() override
    {
        released = true;
        server.stop();
        thread.join();
    }
    static bool never() { return false; }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }
    static std::string fetch(const std::string& uri) { return fetchResponseText(uri, never, makeCurlHandle, {}); }

    httplib::Server server;
    int port = 0;
    std::thread thread;
    std::atomic<int> stalled = 0;
    std::atomic<bool> released = false;
    jobs::SharedJobFields fields = std::make_shared<jobs::JobFields>();
};

TEST_F(HttpServer, RequestReturnsTheBodyOfAnHttpUrlOnly)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/moved", "Gr\xC3\xBC\xC3\x9F\x65"},
        // What a URL may not hold is escaped before the request.
        {"/echo/a%20b c", "/echo/a%20b%20c"},
        {"/echo/M\xC3\xBCsik?s=\xC3\xA4 x&t=1+2", "/echo/M%c3%bcsik?s=%c3%a4+x&t=1+2"},
        {"/echo/x y#frag ment", "/echo/x%20y"},
        {"/to-file", kSendError},  // a redirect may not lead out of http either
    };
    for (const auto& [path, text] : cases)
        EXPECT_EQ(fetch(url(path)), text) << path;
    for (const char* refused : {"file:///etc/hostname", "ftp://127.0.0.1/x", "127.0.0.1/abc", "", "http://",
                                "http://127.0.0.1/a\r\nX-Evil: 1", "javascript:alert(1)"})
        EXPECT_EQ(fetch(refused), kOpenError) << refused;
    EXPECT_EQ(fetch("HTTP://127.0.0.1:" + std::to_string(port) + "/abc"), "abc");
    EXPECT_EQ(fetch("http://127.0.0.1:1/abc"), kSendError);
    EXPECT_EQ(fetchResponseText(url("/abc"), never, [] { return CurlHandle(); }, {}), kNoClientError);
}

// The response is stored before status 1; a break leaves it empty, and an older request never stores over a newer one.
TEST_F(HttpServer, RequestJobStoresOnlyTheNewestWholeResponse)
{
    fields->xhResponse.set("old");
    ASSERT_TRUE(startHttpRequest(fields, url("/stall"), {}));
    ASSERT_TRUE(test::waitUntil([this] { return stalled == 1; }));
    EXPECT_EQ(fields->xhStatus.value(), 0);
    EXPECT_EQ(fields->xhResponse.get(), "");
    fields->requestBreak();
    ASSERT_TRUE(test::waitUntil([this] { return fields->xhStatus.value() == 1; }));
    EXPECT_EQ(fields->xhResponse.get(), "");

    ASSERT_TRUE(startHttpRequest(fields, url("/stall"), {}));
    ASSERT_TRUE(test::waitUntil([this] { return stalled == 2; }));
    ASSERT_TRUE(startHttpRequest(fields, url("/abc"), {}));
    ASSERT_TRUE(test::waitUntil([this] { return fields->xhStatus.value() == 1; }));
    released = true;
    ASSERT_TRUE(test::waitUntil([this] { return fields.use_count() == 1; }));  // every job has ended
    EXPECT_EQ(fields->xhResponse.get(), "abc");
}

// Bytes that differ from block to block, so a lost or repeated block shows.
std::string patternBytes(std::size_t size)
{
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<char>(random()); });
    return bytes;
}

struct Upload : ::testing::Test {
    test::TempDir dir;
    test::StalledService server;
    std::vector<std::int32_t> progress;
    std::function<void(std::int32_t)> record = [this](std::int32_t p) { progress.push_back(p); };
};

TEST_F(Upload, SendsTheExactRequestBlockByBlock)
{
    // The id goes in as given but for what would break the request line.
    const UploadRequest request{{"127.0.0.1", server.port()},
                                (dir / "clip.mp3").string(),
                                std::string("a&b=c?d#e%41/f~ x\r\n\0\t\x7F\xC3\xBC", 24)};
    const std::vector<std::pair<std::size_t, std::vector<std::int32_t>>> cases = {
        {0, {}}, {2048, {}}, {2049, {99}}, {4096, {50}}, {10000, {20, 40, 61, 81}},
    };
    for (const auto& [size, expected] : cases) {
        const std::string bytes = patternBytes(size);
        test::writeFile(dir / "clip.mp3", bytes);
        progress.clear();
        auto outcome = std::async(std::launch::async, [&] { return runUpload(request, record, [] { return false; }); });
        const auto [head, body] = server.takeRequest();
        EXPECT_EQ(outcome.get(), kUploadDone);
        EXPECT_EQ(progress, expected) << size;
        EXPECT_EQ(head, "POST /cgi-bin/dte_upload2.cgi?sid=a&b=c?d#e%41/f~%20x%0D%0A%00%09%7F%C3%BC&ver=" +
                            std::string(quillon::base::kVersionCode) +
                            "&aff=" + std::string(service_endpoint::kAffiliateCode) + "&pid=" +
                            std::string(service_endpoint::kProductCode) + " HTTP/1.0\r\nHost: " + server.authority() +
                            "\r\nUser-Agent: QLN/1.0 (Vostrel)\r\nContent-Type: audio/mpeg\r\nPragma: no-cache\r\n"
                            "Content-Length: " +
                            std::to_string(size) + "\r\n\r\n");
        EXPECT_TRUE(body == bytes) << size;
    }
}

// Each fails with the progress it made. An empty file has no body to count: only the transfer's result tells that
// nothing went out. Opening a named pipe must not wait for a writer that never comes. A service that takes every
// byte but never replies ends the upload once its time-out has passed: that is not "sent" either.
TEST_F(Upload, WhatDoesNotReachTheServiceGives101)
{
    test::writeFile(dir / "clip.mp3", patternBytes(4096));
    test::writeFile(dir / "empty.mp3", "");
    ASSERT_EQ(::mkfifo((dir / "pipe.mp3").c_str(), 0600), 0);
    const service_endpoint::ServiceHost here{"127.0.0.1", server.port()}, nobody{"127.0.0.1", 1};
    struct Case {
        service_endpoint::ServiceHost host;
        const char* file;
        std::vector<std::int32_t> progress = {};
        CurlTimeouts timeouts = {};
        bool broken = false;  // by the page, once every byte is out
    };
    for (const Case& c : {Case{.host = here, .file = "none.mp3"}, Case{.host = here, .file = ""},
                          Case{.host = here, .file = "pipe.mp3"}, Case{.host = nobody, .file = "clip.mp3"},
                          Case{.host = nobody, .file = "empty.mp3"},
                          Case{.host = here, .file = "clip.mp3", .progress = {50}, .timeouts = {15, 1, 2}},
                          Case{.host = here, .file = "clip.mp3", .progress = {50}, .broken = true}}) {
        progress.clear();
        const auto started = std::chrono::steady_clock::now();
        const UploadRequest request{c.host, (dir / c.file).string(), ""};
        const auto breakRequested = [&] {
            return c.broken && std::chrono::steady_clock::now() - started > std::chrono::milliseconds(1500);
        };
        EXPECT_EQ(runUpload(request, record, breakRequested, c.timeouts), kUploadFailed) << c.file;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(12)) << c.file;
        EXPECT_EQ(progress, c.progress) << c.file;
    }
}

}  // namespace
}  // namespace quillon::network
