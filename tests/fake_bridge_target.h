#pragma once

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "base/version.h"
#include "bridge/bridge_target.h"

namespace quillon::test {

// A main window without windows, jobs or files: it answers with the values a test sets and records every operation as
// "Name arg|arg|..." (unless told not to, for measurements), so dispatch can be driven and checked on its own.
class FakeBridgeTarget : public bridge::BridgeTarget {
public:
    using S = const std::string&;
    using I = std::int32_t;
    bool recording = true;
    std::vector<std::string> calls;
    bridge::CallerId lastCaller = nullptr;
    std::string textResult;
    int startResult = 1;
    std::int32_t status = 0;
    std::string commandLine;

    int IsDTE() override { return log(1, "IsDTE"); }
    void CloseWindow(bridge::CallerId caller) override { lastCaller = log(caller, "CloseWindow"); }
    std::string ShowModalDialog(S title, S url, S arg, I x, I y, I w, I h) override
    {
        return log(textResult, "ShowModalDialog", title, url, arg, x, y, w, h);
    }
    std::string GetTEPhone() override { return log(textResult, "GetTEPhone"); }
    void SetTEPhone(S v) override { log(0, "SetTEPhone", v); }
    std::string GetTENetwork() override { return log(textResult, "GetTENetwork"); }
    void SetTENetwork(S v) override { log(0, "SetTENetwork", v); }
    std::string GetTEAid() override { return log(textResult, "GetTEAid"); }
    void SetTEAid(S v) override { log(0, "SetTEAid", v); }
    std::string GetTENVCheck() override { return log(textResult, "GetTENVCheck"); }
    void SetTENVCheck(S v) override { log(0, "SetTENVCheck", v); }
    std::string GetVersion() override { return log(std::string(base::kVersionCode), "GetVersion"); }
    std::string GetDialogArgument() override { return log(textResult, "GetDialogArgument"); }
    void SetDialogRetValue(S v) override { log(0, "SetDialogRetValue", v); }
    void ShowAboutBox() override { log(0, "ShowAboutBox"); }
    void ShowContact() override { log(0, "ShowContact"); }
    void ShowCompatibility() override { log(0, "ShowCompatibility"); }
    void ShowUsage() override { log(0, "ShowUsage"); }
    void NavigateURL(S v) override { log(0, "NavigateURL", v); }
    std::int32_t MessageBox(S text, I style) override { return log(6, "MessageBox", text, style); }
    std::string SelectMediaFile() override { return log(textResult, "SelectMediaFile"); }
    int MakeHttpRequest(S url) override { return log(startResult, "MakeHttpRequest", url); }
    int TranscodeMedia(S in, S out) override { return log(startResult, "TranscodeMedia", in, out); }
    int UploadFile(S file, S sid) override { return log(startResult, "UploadFile", file, sid); }
    int GrabAudioDataFromCD(S d, S t, S wav) override { return log(startResult, "GrabAudioDataFromCD", d, t, wav); }
    int NormalizeAudio(S file) override { return log(startResult, "NormalizeAudio", file); }
    int BreakAsyncOperation() override { return log(1, "BreakAsyncOperation"); }
    std::string GetDrivesInfo() override { return log(textResult, "GetDrivesInfo"); }
    std::string GetTracksInfo(I drive) override { return log(textResult, "GetTracksInfo", drive); }
    int ReadWaveform(S path, I points) override { return log(startResult, "ReadWaveform", path, points); }
    int TranscodeClip(S in, S out, I start, I length, I fadeIn, I fadeOut, S kind) override
    {
        return log(startResult, "TranscodeClip", in, out, start, length, fadeIn, fadeOut, kind);
    }
    int ServeClip(S path, S title, I start, I length, S kind) override
    {
        return log(startResult, "ServeClip", path, title, start, length, kind);
    }
    void StopServing() override { log(0, "StopServing"); }
    std::int32_t xhStatus() override { return log(status, "xhStatus"); }
    std::string xhResponse() override { return log(textResult, "xhResponse"); }
    std::int32_t tsStatus() override { return log(status, "tsStatus"); }
    std::string tsReason() override { return log(textResult, "tsReason"); }
    std::int32_t upStatus() override { return log(status, "upStatus"); }
    std::int32_t ripStatus() override { return log(status, "ripStatus"); }
    std::int32_t norStatus() override { return log(status, "norStatus"); }
    std::string norLoudness() override { return log(textResult, "norLoudness"); }
    std::int32_t wfStatus() override { return log(status, "wfStatus"); }
    std::string wfResponse() override { return log(textResult, "wfResponse"); }
    std::int32_t svStatus() override { return log(status, "svStatus"); }
    std::string svResponse() override { return log(textResult, "svResponse"); }
    std::string SaveClipCopy(S clip, S name) override { return log(textResult, "SaveClipCopy", clip, name); }
    int ShowInFolder(S where) override { return log(startResult, "ShowInFolder", where); }
    int FindPhones() override { return log(startResult, "FindPhones"); }
    std::int32_t phStatus() override { return log(status, "phStatus"); }
    std::string phResponse() override { return log(textResult, "phResponse"); }
    int SendToPhone(S phone, S clip, S name) override { return log(startResult, "SendToPhone", phone, clip, name); }
    std::int32_t shStatus() override { return log(status, "shStatus"); }
    std::string QrCode(S text) override { return log(textResult, "QrCode", text); }
    std::int32_t fwStatus() override { return log(status, "fwStatus"); }
    std::string fwResponse() override { return log(textResult, "fwResponse"); }
    int AllowFirewallPort() override { return log(startResult, "AllowFirewallPort"); }
    int FindBluetoothPhones() override { return log(startResult, "FindBluetoothPhones"); }
    std::int32_t blStatus() override { return log(status, "blStatus"); }
    std::string blResponse() override { return log(textResult, "blResponse"); }
    int SendByBluetooth(S phone, S clip, S name) override
    {
        return log(startResult, "SendByBluetooth", phone, clip, name);
    }
    std::int32_t btStatus() override { return log(status, "btStatus"); }
    std::string btResponse() override { return log(textResult, "btResponse"); }
    void CancelBluetooth() override { log(0, "CancelBluetooth"); }
    std::string FindPluggedPhones() override { return log(textResult, "FindPluggedPhones"); }
    int CopyToPhone(S phone, S clip, S name, S kind) override
    {
        return log(startResult, "CopyToPhone", phone, clip, name, kind);
    }
    std::int32_t cpStatus() override { return log(status, "cpStatus"); }
    std::string cpResponse() override { return log(textResult, "cpResponse"); }
    std::string takeCommandLineFile() override { return std::exchange(commandLine, {}); }

private:
    template <typename T, typename... Args>
    T log(T result, const char* name, const Args&... args)
    {
        if (recording) {
            std::ostringstream call;
            call << name;
            [[maybe_unused]] const char* separator = " ";
            ((call << std::exchange(separator, "|") << args), ...);
            calls.push_back(call.str());
        }
        return result;
    }
};

}  // namespace quillon::test
