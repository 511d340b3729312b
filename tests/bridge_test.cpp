// The script bridge's dispatch, seen through members that record every call, and its channel.
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <vector>

#include "bridge/app_page.h"
#include "bridge/channel_client.h"
#include "bridge/channel_message.h"
#include "bridge/channel_server.h"
#include "bridge/script_bridge.h"
#include "bridge/status_cache.h"
#include "tests/process_probe.h"
#include "tests/recording_members.h"

using namespace quillon::bridge;
using namespace std::chrono_literals;

namespace {

BridgeValue str(const char* text) { return BridgeValue::text(text); }
BridgeValue num(std::int32_t value) { return BridgeValue::integer(value); }
BridgeValue flag(bool value) { return BridgeValue::boolean(value); }
const BridgeValue kUntouched = str("untouched");

struct Bridge : ::testing::Test {
    quillon::test::RecordedCalls window;
    ScriptBridge bridge{quillon::test::recordingMembers(), [this] { return &window; }};

    static DispId id(const std::string& name) { return ScriptBridge::idOfName(name); }
    // Calls a member the way script does: arguments in script order.
    BridgeValue call(DispId member, std::uint16_t flags, const std::vector<BridgeValue>& args = {})
    {
        BridgeValue result = kUntouched;
        bridge.Invoke(member, flags, args, &result, "main");
        return result;
    }
};

}  // namespace

// A name is known only as the table spells it.
TEST_F(Bridge, NamesOutsideTheTableAreUnknown)
{
    for (const char* name : {"DTE_nothing", "dte_isdte", "", "DTE_tsReason "})
        EXPECT_EQ(id(name), kUnknownDispId) << name;
}

// Members named in lower case are properties.
TEST_F(Bridge, ArgumentsReachTheOperationInScriptOrder)
{
    window.text = "r";
    window.integer = 101;
    struct Case {
        const char* member;
        std::vector<BridgeValue> arguments;
        BridgeValue result;
        const char* recorded;  // the arguments the operation got, "" for an operation without any
    };
    const Case cases[] = {
        {"ShowModalDialog", {str(""), str("p"), str("a"), num(1), num(-5), num(7), num(5)}, str("r"), "|p|a|1|-5|7|5"},
        {"GrabAudioDataFromCD", {str("0"), str("3"), str("/t.wav")}, flag(true), "0|3|/t.wav"},
        {"UploadFile", {str("c.mp3"), str("sid")}, flag(true), "c.mp3|sid"},
        {"MessageBox", {str("Sure?"), num(0x24)}, num(101), "Sure?|36"},
        {"wfResponse", {}, str("r"), ""},
        {"ServeClip", {str("/c.mp3"), str("S"), num(38), num(30), str("alarm")}, flag(true), "/c.mp3|S|38|30|alarm"},
        {"QrCode", {str("http://a/")}, str("r"), "http://a/"},
        // A copy without its kind is a ringtone's.
        {"CopyToPhone", {str("m/"), str("/c.mp3"), str("a.mp3")}, flag(true), "m/|/c.mp3|a.mp3|(absent)"},
        {"CopyToPhone", {str("m/"), str("/c.mp3"), str("a.mp3"), str("alarm")}, flag(true), "m/|/c.mp3|a.mp3|alarm"},
        // One fade length given leaves the fade-out absent; a sixth argument of another kind still counts as given.
        {"TranscodeClip", {str("i"), str("o"), num(5), num(9), num(2)}, flag(true), "i|o|5|9|2|(absent)|"},
        {"TranscodeClip", {str("i"), str("o"), num(5), num(9), num(2), num(1), str("k")}, flag(true), "i|o|5|9|2|1|k"},
        {"TranscodeClip", {str("i"), str("o"), num(5), num(9), num(2), str("x")}, flag(true), "i|o|5|9|2|0|"},
        {"upStatus", {}, num(101), ""},
        {"SetTEAid", {str("2")}, kUntouched, "2"},  // no result: the slot is left alone
        {"CloseWindow", {}, kUntouched, ""},
        // Missing, wrong-kind and extra arguments are harmless.
        {"TranscodeMedia", {str("only")}, flag(true), "only|"},
        {"TranscodeMedia", {num(5), flag(true)}, flag(true), "|"},
        {"SetTEPhone", {str("first"), str("extra"), num(3)}, kUntouched, "first"},
        {"GetTracksInfo", {str("2")}, str("r"), "0"},
        {"MessageBox", {}, num(101), "|0"},
        {"MessageBox", {flag(true), flag(true)}, num(101), "|1"},
    };
    for (const Case& c : cases) {
        window.calls.clear();
        const std::uint16_t flags = *c.member >= 'a' ? kDispatchPropertyGet : kDispatchMethod;
        EXPECT_EQ(call(id(std::string("DTE_") + c.member), flags, c.arguments), c.result) << c.member;
        const std::string recorded = *c.recorded ? std::string(c.member) + " " + c.recorded : c.member;
        EXPECT_EQ(window.calls, std::vector<std::string>{recorded});
    }
    EXPECT_STREQ(static_cast<const char*>(window.lastCaller), "main");
    window.text = "";
    EXPECT_EQ(call(id("DTE_GetDrivesInfo"), kDispatchMethod), str(""));  // an empty text, not no value
    window.boolean = false;
    EXPECT_EQ(call(id("DTE_NormalizeAudio"), kDispatchMethod, {str("a.mp3")}), flag(false));
}

TEST_F(Bridge, CallsAgainstTheMembersRulesDoNothing)
{
    EXPECT_EQ(call(22, kDispatchMethod), kUntouched);       // xhStatus is a property
    EXPECT_EQ(call(12, kDispatchPropertyGet), kUntouched);  // GetVersion is a method
    EXPECT_EQ(call(12, 4 /* property put */), kUntouched);
    bridge.Invoke(22, kDispatchPropertyGet, {}, nullptr, "main");  // no slot, no read
    for (DispId number : {0, static_cast<DispId>(quillon::app::kMemberCount) + 1, -1, 1000})
        EXPECT_EQ(call(number, kDispatchMethod | kDispatchPropertyGet), kUntouched) << number;
    EXPECT_TRUE(window.calls.empty());
}

TEST(ChannelMessages, ComeThroughWhereverTheStreamIsCut)
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
        EXPECT_EQ(frames, (std::vector<std::string>{"first", "", std::string(70000, 'x')})) << chunk;
    }
}

TEST(AppPage, OnlyFilesInsideTheResFolderAreAppPages)
{
    for (const char* uri : {"file:///opt/q/res/selectSong.html", "file:///opt/q/res/help/p.html?x=1#top",
                            "file:///opt/q/res/My%20Page.html", "file://localhost/opt/q/res/a.html"})
        EXPECT_TRUE(isAppPage(uri, "/opt/q/res")) << uri;
    for (const char* uri : {"file:///opt/q/res", "file:///opt/q/resources/x.html", "file:///opt/q/res/../secret.html",
                            "file:///opt/q/res/%2E%2E/secret.html", "http://example.com/opt/q/res/a.html",
                            "file://otherhost/opt/q/res/a.html", "about:blank", ""})
        EXPECT_FALSE(isAppPage(uri, "/opt/q/res")) << uri;
    EXPECT_FALSE(isAppPage("file:///opt/q/res/a.html", ""));
}

TEST(StatusCache, AnswersStatusesOnlyFromAFreshSnapshot)
{
    StatusCache cache;
    const auto start = StatusCache::Clock::time_point{} + 10s;
    EXPECT_FALSE(cache.read(25, start));  // nothing taken yet
    cache.store(StatusReply{{1, 2, 3, 4, 5, 6}}, start);
    const auto none = std::nullopt;  // too old, clock went back, or not a status
    const std::tuple<DispId, StatusCache::Clock::time_point, std::optional<std::int32_t>> reads[] = {
        {22, start, 1},          {36, start + 999us, 5}, {38, start, 6},    {36, start + 1ms, none},
        {25, start - 1us, none}, {23, start, none},      {31, start, none}, {39, start, none}};
    for (const auto& [member, at, value] : reads)
        EXPECT_EQ(cache.read(member, at), value) << member;
    cache.invalidate();
    EXPECT_FALSE(cache.read(25, start));
}

namespace {

struct Channel : Bridge {
    bool trusted = true;
    std::shared_ptr<ChannelServer> server;
    std::unique_ptr<ChannelClient> client;

    void SetUp() override
    {
        int ends[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        server = ChannelServer::serve(quillon::base::UniqueFd(ends[0]), bridge, nullptr, [this] { return trusted; });
        client = std::make_unique<ChannelClient>(quillon::base::UniqueFd(ends[1]));
    }
    // Runs the client's blocking call on a thread while this thread serves it.
    std::string roundTrip(const Request& request)
    {
        auto reply = std::async(std::launch::async, [&] { return client->call(encodeRequest(request)); });
        while (reply.wait_for(0ms) != std::future_status::ready)
            g_main_context_iteration(nullptr, FALSE);
        return reply.get().value_or("no reply");
    }
    BridgeValue invoke(DispId member, std::uint16_t flags, std::vector<BridgeValue> args = {})
    {
        const auto reply = decodeInvokeReply(roundTrip(InvokeRequest{member, flags, true, std::move(args)}));
        return reply ? reply->value : str("no reply");
    }
};

}  // namespace

TEST_F(Channel, CallsCrossInBothDirectionsForATrustedPageOnly)
{
    window.integer = 42;
    window.text = "Nokia 3310";
    window.answers["clFileName"] = str("song.mp3");
    EXPECT_EQ(decodeLookupReply(roundTrip(LookupRequest{"DTE_upStatus"})), (LookupReply{28, MemberKind::Property}));
    EXPECT_EQ(decodeLookupReply(roundTrip(LookupRequest{"DTE_IsDTE"})), (LookupReply{1, MemberKind::Both}));
    EXPECT_EQ(decodeLookupReply(roundTrip(LookupRequest{"DTE_nothing"}))->member, kUnknownDispId);
    EXPECT_EQ(invoke(28, kDispatchPropertyGet), num(42));
    EXPECT_EQ(invoke(24, kDispatchMethod, {str("T\xC3\xADtulo \"x\"\n"), str("")}), flag(true));
    EXPECT_EQ(invoke(40, kDispatchMethod, {str("a"), flag(true), num(-2147483647 - 1), BridgeValue(), num(7)}),
              flag(true));
    EXPECT_EQ(invoke(4, kDispatchMethod), str("Nokia 3310"));
    EXPECT_EQ(invoke(31, kDispatchPropertyGet), str("song.mp3"));
    EXPECT_EQ(decodeStatusReply(roundTrip(StatusRequest{})),
              (StatusReply{{42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42, 42}}));
    EXPECT_EQ(window.calls, (std::vector<std::string>{"upStatus", "TranscodeMedia T\xC3\xADtulo \"x\"\n|",
                                                      "TranscodeClip a||-2147483648|0|7|(absent)|", "GetTEPhone",
                                                      "clFileName", "xhStatus", "tsStatus", "upStatus", "ripStatus",
                                                      "norStatus", "wfStatus", "svStatus", "phStatus", "shStatus",
                                                      "fwStatus", "blStatus", "btStatus", "cpStatus"}));
    window.calls.clear();
    trusted = false;
    EXPECT_EQ(decodeLookupReply(roundTrip(LookupRequest{"DTE_GetVersion"}))->member, kUnknownDispId);
    EXPECT_EQ(invoke(5, kDispatchMethod, {str("evil")}), BridgeValue());
    EXPECT_EQ(decodeStatusReply(roundTrip(StatusRequest{})), StatusReply{});
    EXPECT_TRUE(window.calls.empty());
}

TEST(ChannelMessages, MalformedBytesDecodeToNothing)
{
    using namespace std::string_literals;
    // A call of member 12 as a method, wanting its result, then its arguments.
    const std::string call = "\x02\x0c\0\0\0\x01\0\x01"s;
    struct Malformed {
        const char* what;
        std::string bytes;
    };
    const Malformed requests[] = {
        {.what = "no bytes at all", .bytes = ""},
        {.what = "an unknown operation", .bytes = "\x09"},
        {.what = "a status request with a byte after it", .bytes = "\x03\x00"s},
        {.what = "a call cut inside its member", .bytes = "\x02\x0c\0"s},
        {.what = "an argument of no known kind", .bytes = call + "\x07"},
        {.what = "a boolean neither 0 nor 1", .bytes = call + "\x03\x02"},
        {.what = "a name longer than what follows", .bytes = "\x01\x05\0\0\0DTE_"s},
        {.what = "a name that is not UTF-8", .bytes = "\x01\x02\0\0\0\xC3\x28"s},
    };
    for (const Malformed& malformed : requests)
        EXPECT_FALSE(decodeRequest(malformed.bytes).has_value()) << malformed.what;
    EXPECT_FALSE(decodeLookupReply("\x0c\0\0\0\x03"s).has_value()) << "a member kind beyond both";
    EXPECT_FALSE(decodeInvokeReply("\x00\x00"s).has_value()) << "two results";
    EXPECT_FALSE(decodeStatusReply(encodeStatusReply(StatusReply{}).substr(4)).has_value())
        << "a snapshot one status short";
}

TEST(ChannelMessages, TextThatIsNotUtf8CrossesRepaired)
{
    using namespace std::string_literals;
    struct Repair {
        std::string sent;
        std::string received;
    };
    const Repair cases[] = {{.sent = "a\xFFz", .received = "a\uFFFDz"}, {.sent = "ab\0cd"s, .received = "ab\uFFFDcd"}};
    for (const Repair& repair : cases)
        EXPECT_EQ(decodeInvokeReply(encodeInvokeReply({BridgeValue::text(repair.sent)})),
                  InvokeReply{BridgeValue::text(repair.received)})
            << repair.sent;
}

TEST(AppPage, TheCheckOfAViewsAddressFollowsEachChange)
{
    AppPageCheck isAppPageNow("/opt/q/res");
    struct Visit {
        const char* uri;
        bool appPage;
    };
    const Visit visits[] = {{.uri = "file:///opt/q/res/a.html", .appPage = true},
                            {.uri = "file:///opt/q/res/a.html", .appPage = true},
                            {.uri = "file:///opt/q/res/../secret.html", .appPage = false},
                            {.uri = "file:///opt/q/res/a.html", .appPage = true},
                            {.uri = nullptr, .appPage = false}};
    for (const Visit& visit : visits)
        EXPECT_EQ(isAppPageNow(visit.uri), visit.appPage) << (visit.uri ? visit.uri : "no address");
}

// The page first asks for its reply for a moment, then sleeps until it comes.
TEST_F(Channel, AReplyThatComesLateStillReachesTheSleepingPage)
{
    window.text = "late";
    std::atomic<pid_t> caller{0};
    auto reply = std::async(std::launch::async, [&] {
        caller = gettid();
        return client->call(encodeRequest(InvokeRequest{4, kDispatchMethod, true, {}}));
    });
    ASSERT_TRUE(quillon::test::waitUntil([&] {
        return caller != 0 && quillon::test::procStat(caller).value_or(quillon::test::ProcStat{}).state == 'S';
    })) << "the call never went to sleep";
    while (reply.wait_for(0ms) != std::future_status::ready)
        g_main_context_iteration(nullptr, FALSE);
    const auto bytes = reply.get();
    ASSERT_TRUE(bytes);
    EXPECT_EQ(decodeInvokeReply(*bytes), InvokeReply{str("late")});
}
