// The channel between a page's web process and the UI process: message encoding,
// framing, and a real socket pair served from a GLib main loop.
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <thread>

#include "bridge/app_page.h"
#include "bridge/channel_client.h"
#include "bridge/channel_message.h"
#include "bridge/channel_server.h"
#include "bridge/status_cache.h"
#include "tests/fake_bridge_target.h"

using namespace quillon::bridge;

TEST(ChannelMessages, RoundTripEveryValueKind)
{
    const InvokeRequest invoke{3,
                               kDispatchMethod,
                               true,
                               {BridgeValue::text("Título \"x\"\n"), BridgeValue::integer(-2147483647 - 1),
                                BridgeValue::boolean(true), BridgeValue(), BridgeValue::text("")}};
    EXPECT_EQ(decodeRequest(encodeRequest(invoke)), Request(invoke));
    EXPECT_EQ(decodeRequest(encodeRequest(LookupRequest{"DTE_GetVersion"})), Request(LookupRequest{"DTE_GetVersion"}));
    EXPECT_EQ(decodeRequest(encodeRequest(StatusRequest{})), Request(StatusRequest{}));
    const StatusReply statuses{{1, 2, 55, 201, -7, 202}};
    EXPECT_EQ(decodeStatusReply(encodeStatusReply(statuses)), statuses);
    EXPECT_EQ(decodeLookupReply(encodeLookupReply({31, MemberKind::Property})),
              (LookupReply{31, MemberKind::Property}));
    for (const auto& value :
         {BridgeValue::text("a\xF0\x9F\x8E\xB5"), BridgeValue::integer(7), BridgeValue::boolean(false), BridgeValue()})
        EXPECT_EQ(decodeInvokeReply(encodeInvokeReply({value})), InvokeReply{value});
}

TEST(FrameReader, SplitsAndJoinsFramesAtAnyBoundary)
{
    const std::string stream = frameMessage("first") + frameMessage("") + frameMessage(std::string(70000, 'x'));
    for (std::size_t chunk : {std::size_t(1), std::size_t(3), std::size_t(4096), stream.size()}) {
        FrameReader reader;
        std::vector<std::string> frames;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            reader.append(std::string_view(stream).substr(at, chunk));
            while (auto frame = reader.next())
                frames.push_back(*frame);
        }
        ASSERT_EQ(frames.size(), 3u) << chunk;
        EXPECT_EQ(frames[0], "first");
        EXPECT_EQ(frames[1], "");
        EXPECT_EQ(frames[2].size(), 70000u);
    }
}

TEST(AppPage, OnlyFilesInsideTheResFolderAreAppPages)
{
    const std::string res = "/opt/quillon/res";
    EXPECT_TRUE(isAppPage("file:///opt/quillon/res/selectSong.html", res));
    EXPECT_TRUE(isAppPage("file:///opt/quillon/res/help/page.html?x=1#top", res));
    EXPECT_TRUE(isAppPage("file:///opt/quillon/res/My%20Page.html", res));
    EXPECT_FALSE(isAppPage("file:///opt/quillon/res", res));
    EXPECT_FALSE(isAppPage("file:///opt/quillon/resources/x.html", res));
    EXPECT_FALSE(isAppPage("file:///opt/quillon/res/../secret.html", res));
    EXPECT_FALSE(isAppPage("file:///opt/quillon/res/%2E%2E/secret.html", res));
    EXPECT_FALSE(isAppPage("http://example.com/opt/quillon/res/selectSong.html", res));
    EXPECT_FALSE(isAppPage("https://127.0.0.1/res/selectSong.html", res));
    EXPECT_FALSE(isAppPage("file://otherhost/opt/quillon/res/a.html", res));
    EXPECT_FALSE(isAppPage("about:blank", res));
    EXPECT_FALSE(isAppPage("", res));
    EXPECT_FALSE(isAppPage("file:///opt/quillon/res/a.html", ""));
}

namespace {

struct ServedChannel : ::testing::Test {
    quillon::test::FakeBridgeTarget window;
    ScriptBridge bridge{[this] { return &window; }};
    bool trusted = true;
    std::shared_ptr<ChannelServer> server;
    std::unique_ptr<ChannelClient> client;

    void SetUp() override
    {
        int ends[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        server = ChannelServer::serve(quillon::UniqueFd(ends[0]), bridge, nullptr, [this] { return trusted; });
        client = std::make_unique<ChannelClient>(quillon::UniqueFd(ends[1]));
    }

    // Runs the client's blocking call on a thread while this thread serves it.
    std::optional<std::string> roundTrip(const Request& request)
    {
        auto reply = std::async(std::launch::async, [&] { return client->call(encodeRequest(request)); });
        while (reply.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
            g_main_context_iteration(nullptr, FALSE);
        return reply.get();
    }

    LookupReply lookup(const std::string& name)
    {
        auto bytes = roundTrip(LookupRequest{name});
        return bytes ? decodeLookupReply(*bytes).value_or(LookupReply{}) : LookupReply{};
    }

    BridgeValue invoke(DispId member, std::uint16_t flags, std::vector<BridgeValue> args = {})
    {
        auto bytes = roundTrip(InvokeRequest{member, flags, true, std::move(args)});
        return bytes ? decodeInvokeReply(*bytes)->value : BridgeValue::text("no reply");
    }
};

}  // namespace

TEST_F(ServedChannel, CallsCrossInBothDirections)
{
    window.status = 42;
    window.textResult = "Nokia 3310";
    window.commandLine = "song.mp3";
    EXPECT_EQ(lookup("DTE_upStatus"), (LookupReply{28, MemberKind::Property}));
    EXPECT_EQ(lookup("DTE_IsDTE"), (LookupReply{1, MemberKind::Both}));
    EXPECT_EQ(lookup("DTE_nothing").member, kUnknownDispId);
    EXPECT_EQ(invoke(28, kDispatchPropertyGet), BridgeValue::integer(42));
    EXPECT_EQ(invoke(5, kDispatchMethod, {BridgeValue::text("Nokia 3310")}), BridgeValue());
    EXPECT_EQ(invoke(4, kDispatchMethod), BridgeValue::text("Nokia 3310"));
    EXPECT_EQ(invoke(31, kDispatchPropertyGet), BridgeValue::text("song.mp3"));
    EXPECT_EQ(invoke(31, kDispatchPropertyGet), BridgeValue::text(""));
    EXPECT_EQ(window.calls, (std::vector<std::string>{"upStatus", "SetTEPhone Nokia 3310", "GetTEPhone"}));
}

TEST_F(ServedChannel, OneRequestReadsAllSixStatusesThroughTheBridge)
{
    window.status = 77;
    auto bytes = roundTrip(StatusRequest{});
    ASSERT_TRUE(bytes);
    EXPECT_EQ(decodeStatusReply(*bytes), (StatusReply{{77, 77, 77, 77, 77, 77}}));
    EXPECT_EQ(window.calls,
              (std::vector<std::string>{"xhStatus", "tsStatus", "upStatus", "ripStatus", "norStatus", "wfStatus"}));

    trusted = false;
    bytes = roundTrip(StatusRequest{});
    ASSERT_TRUE(bytes);
    EXPECT_EQ(decodeStatusReply(*bytes), StatusReply{});
    EXPECT_EQ(window.calls.size(), 6u);
}

TEST(StatusCache, AnswersOnlyFromAFreshSnapshotAndOnlyForStatuses)
{
    using namespace std::chrono_literals;
    StatusCache cache;
    const auto start = StatusCache::Clock::time_point{} + 10s;
    EXPECT_FALSE(cache.read(25, start));  // nothing taken yet
    cache.store(StatusReply{{1, 2, 3, 4, 5, 6}}, start);
    EXPECT_EQ(cache.read(22, start), 1);
    EXPECT_EQ(cache.read(36, start + 999us), 5);
    EXPECT_EQ(cache.read(38, start), 6);
    EXPECT_FALSE(cache.read(39, start));        // wfResponse is text
    EXPECT_FALSE(cache.read(36, start + 1ms));  // too old
    EXPECT_FALSE(cache.read(25, start - 1us));  // a clock that went back
    EXPECT_FALSE(cache.read(23, start));        // xhResponse is text, never cached
    EXPECT_FALSE(cache.read(31, start));        // the command-line value is read once
    cache.invalidate();
    EXPECT_FALSE(cache.read(25, start));
}

TEST_F(ServedChannel, UntrustedPageGetsNothing)
{
    trusted = false;
    EXPECT_EQ(lookup("DTE_GetVersion").member, kUnknownDispId);
    EXPECT_EQ(invoke(5, kDispatchMethod, {BridgeValue::text("evil")}), BridgeValue());
    EXPECT_TRUE(window.calls.empty());
}
