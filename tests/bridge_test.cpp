// Dispatch rules of the script bridge, seen through a main window that records
// every operation it is asked to carry out.
#include <gtest/gtest.h>

#include <vector>

#include "bridge/member_table.h"
#include "bridge/script_bridge.h"
#include "tests/fake_bridge_target.h"

using namespace quillon::bridge;

namespace {

using RecordingWindow = quillon::test::FakeBridgeTarget;

struct BridgeFixture : ::testing::Test {
    RecordingWindow window;
    ScriptBridge bridge{[this] { return &window; }};

    DispId id(const std::string& name)
    {
        DispId result = 0;
        bridge.GetIDsOfNames(kIidDispatch, std::span(&name, 1), 0, std::span(&result, 1));
        return result;
    }

    // Calls a member the way script does: arguments in script order.
    BridgeValue call(const std::string& name, std::vector<BridgeValue> scriptArgs = {},
                     std::uint16_t flags = kDispatchMethod)
    {
        BridgeValue result = BridgeValue::text("untouched");
        EXPECT_EQ(bridge.Invoke(id(name), flags, scriptArgs, &result, "main"), kOk);
        return result;
    }
    BridgeValue get(const std::string& name) { return call(name, {}, kDispatchPropertyGet); }
};

BridgeValue S(const char* text) { return BridgeValue::text(text); }
BridgeValue I(std::int32_t value) { return BridgeValue::integer(value); }

}  // namespace

TEST_F(BridgeFixture, NamesAreNumberedOneToFortyOneInTableOrder)
{
    const std::vector<std::pair<std::string, DispId>> expected = {
        {"DTE_IsDTE", 1},          {"DTE_CloseWindow", 2},    {"DTE_ShowModalDialog", 3},
        {"DTE_SetTENVCheck", 11},  {"DTE_GetVersion", 12},    {"DTE_MessageBox", 20},
        {"DTE_xhStatus", 22},      {"DTE_xhResponse", 23},    {"DTE_SelectMediaFile", 26},
        {"DTE_clFileName", 31},    {"DTE_GetTracksInfo", 33}, {"DTE_norStatus", 36},
        {"DTE_ReadWaveform", 37},  {"DTE_wfStatus", 38},      {"DTE_wfResponse", 39},
        {"DTE_TranscodeClip", 40}, {"DTE_tsReason", 41},
    };
    for (const auto& [name, number] : expected)
        EXPECT_EQ(id(name), number) << name;
    for (std::size_t i = 0; i < kMemberCount; ++i)
        EXPECT_EQ(id(std::string(memberTable()[i].name)), static_cast<DispId>(i + 1));
}

TEST_F(BridgeFixture, FlagsThatDoNotMatchTheMemberKindDoNothing)
{
    EXPECT_EQ(call("DTE_xhStatus", {}, kDispatchMethod), S("untouched"));
    EXPECT_EQ(call("DTE_GetVersion", {}, kDispatchPropertyGet), S("untouched"));
    EXPECT_EQ(call("DTE_GetVersion", {}, 4 /* property put */), S("untouched"));
    // A property read without a result slot is no read.
    EXPECT_EQ(bridge.Invoke(22, kDispatchPropertyGet, {}, nullptr, "main"), kOk);
    // Numbers outside the table (42 is one past the last member) do nothing either.
    for (DispId number : {0, 42, -1, 1000}) {
        BridgeValue result = S("untouched");
        EXPECT_EQ(bridge.Invoke(number, kDispatchMethod | kDispatchPropertyGet, {}, &result, "main"), kOk);
        EXPECT_EQ(result, S("untouched"));
    }
    EXPECT_TRUE(window.calls.empty());
}

TEST_F(BridgeFixture, ArgumentsReachTheOperationInScriptOrder)
{
    window.textResult = "result";
    EXPECT_EQ(call("DTE_ShowModalDialog", {S("Title"), S("page.html"), S("arg"), I(100), I(-5), I(700), I(520)}),
              S("result"));
    call("DTE_GrabAudioDataFromCD", {S("0"), S("3"), S("/tmp/t.wav")});
    call("DTE_TranscodeMedia", {S("in.mp3"), S("out.mp3")});
    EXPECT_EQ(call("DTE_MessageBox", {S("Sure?"), I(0x24)}), I(6));
    EXPECT_EQ(call("DTE_ReadWaveform", {S("a b.flac"), I(512)}), BridgeValue::boolean(true));
    call("DTE_TranscodeClip", {S("in.wav"), S("out.mp3"), I(65000), I(20000), I(1000)});
    EXPECT_EQ(get("DTE_wfResponse"), S("result"));
    EXPECT_EQ(get("DTE_tsReason"), S("result"));
    EXPECT_EQ(window.calls, (std::vector<std::string>{
                                "ShowModalDialog Title|page.html|arg|100,-5,700,520",
                                "GrabAudioDataFromCD 0|3|/tmp/t.wav",
                                "TranscodeMedia in.mp3|out.mp3",
                                "MessageBox Sure? 36",
                                "ReadWaveform a b.flac|512",
                                "TranscodeClip in.wav|out.mp3|65000|20000|1000",
                                "wfResponse",
                                "tsReason",
                            }));
}

TEST_F(BridgeFixture, MissingWrongKindAndExtraArgumentsAreHarmless)
{
    call("DTE_TranscodeMedia", {S("only")});
    call("DTE_TranscodeMedia", {I(5), BridgeValue::boolean(true)});
    call("DTE_SetTEPhone", {S("first"), S("extra"), I(3)});
    call("DTE_GetTracksInfo", {S("2")});
    call("DTE_MessageBox", {});
    call("DTE_MessageBox", {BridgeValue::boolean(true), BridgeValue::boolean(true)});
    call("DTE_MessageBox", {S("no"), BridgeValue::boolean(false)});
    EXPECT_EQ(window.calls, (std::vector<std::string>{
                                "TranscodeMedia only|",
                                "TranscodeMedia |",
                                "SetTEPhone first",
                                "GetTracksInfo 0",
                                "MessageBox  0",
                                "MessageBox  1",
                                "MessageBox no 0",
                            }));
}

TEST_F(BridgeFixture, ResultsTakeTheMemberResultKind)
{
    window.startResult = 7;
    EXPECT_EQ(call("DTE_MakeHttpRequest", {S("http://x/")}), BridgeValue::boolean(true));
    window.startResult = 0;
    EXPECT_EQ(call("DTE_NormalizeAudio", {S("a.mp3")}), BridgeValue::boolean(false));
    window.status = 101;
    EXPECT_EQ(get("DTE_upStatus"), I(101));
    window.textResult = "";
    EXPECT_EQ(call("DTE_GetDrivesInfo"), S(""));  // an empty text, not no value
    // Members without a result leave the slot alone.
    EXPECT_EQ(call("DTE_SetTEAid", {S("2")}), S("untouched"));
    EXPECT_EQ(call("DTE_CloseWindow"), S("untouched"));
    EXPECT_EQ(window.calls.back(), "CloseWindow");
    EXPECT_STREQ(static_cast<const char*>(window.lastCaller), "main");
}
