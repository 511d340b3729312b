#pragma once

#include <string>
#include <utility>
#include <vector>

#include "bridge/bridge_target.h"

namespace quillon::test {

// A main window without windows, jobs or files: it answers with the values a test
// sets and records every operation with its arguments (unless told not to, for
// measurements), so dispatch can be driven and checked on its own.
class FakeBridgeTarget : public bridge::BridgeTarget {
public:
    bool recording = true;
    std::vector<std::string> calls;
    bridge::CallerId lastCaller = nullptr;
    std::string textResult;
    int startResult = 1;
    std::int32_t status = 0;
    std::string commandLine;

    int IsDTE() override { return record("IsDTE", 1); }
    void CloseWindow(bridge::CallerId caller) override
    {
        lastCaller = caller;
        record("CloseWindow");
    }
    std::string ShowModalDialog(const std::string& title, const std::string& url, const std::string& argument,
                                std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) override
    {
        return record("ShowModalDialog " + title + "|" + url + "|" + argument + "|" + std::to_string(x) + "," +
                          std::to_string(y) + "," + std::to_string(w) + "," + std::to_string(h),
                      textResult);
    }
    std::string GetTEPhone() override { return record("GetTEPhone", textResult); }
    void SetTEPhone(const std::string& v) override { record("SetTEPhone " + v); }
    std::string GetTENetwork() override { return record("GetTENetwork", textResult); }
    void SetTENetwork(const std::string& v) override { record("SetTENetwork " + v); }
    std::string GetTEAid() override { return record("GetTEAid", textResult); }
    void SetTEAid(const std::string& v) override { record("SetTEAid " + v); }
    std::string GetTENVCheck() override { return record("GetTENVCheck", textResult); }
    void SetTENVCheck(const std::string& v) override { record("SetTENVCheck " + v); }
    std::string GetVersion() override { return record("GetVersion", std::string("210")); }
    std::string GetDialogArgument() override { return record("GetDialogArgument", textResult); }
    void SetDialogRetValue(const std::string& v) override { record("SetDialogRetValue " + v); }
    void ShowAboutBox() override { record("ShowAboutBox"); }
    void ShowContact() override { record("ShowContact"); }
    void ShowCompatibility() override { record("ShowCompatibility"); }
    void ShowUsage() override { record("ShowUsage"); }
    void NavigateURL(const std::string& v) override { record("NavigateURL " + v); }
    std::int32_t MessageBox(const std::string& t, std::int32_t s) override
    {
        return record("MessageBox " + t + " " + std::to_string(s), 6);
    }
    std::string SelectMediaFile() override { return record("SelectMediaFile", textResult); }
    int MakeHttpRequest(const std::string& u) override { return record("MakeHttpRequest " + u, startResult); }
    int TranscodeMedia(const std::string& a, const std::string& b) override
    {
        return record("TranscodeMedia " + a + "|" + b, startResult);
    }
    int UploadFile(const std::string& a, const std::string& b) override
    {
        return record("UploadFile " + a + "|" + b, startResult);
    }
    int GrabAudioDataFromCD(const std::string& a, const std::string& b, const std::string& c) override
    {
        return record("GrabAudioDataFromCD " + a + "|" + b + "|" + c, startResult);
    }
    int NormalizeAudio(const std::string& a) override { return record("NormalizeAudio " + a, startResult); }
    int BreakAsyncOperation() override { return record("BreakAsyncOperation", 1); }
    std::string GetDrivesInfo() override { return record("GetDrivesInfo", textResult); }
    std::string GetTracksInfo(std::int32_t d) override
    {
        return record("GetTracksInfo " + std::to_string(d), textResult);
    }
    int ReadWaveform(const std::string& p, std::int32_t n) override
    {
        return record("ReadWaveform " + p + "|" + std::to_string(n), startResult);
    }
    int TranscodeClip(const std::string& a, const std::string& b, std::int32_t s, std::int32_t l,
                      std::int32_t f) override
    {
        return record("TranscodeClip " + a + "|" + b + "|" + std::to_string(s) + "|" + std::to_string(l) + "|" +
                          std::to_string(f),
                      startResult);
    }
    std::int32_t xhStatus() override { return record("xhStatus", status); }
    std::string xhResponse() override { return record("xhResponse", textResult); }
    std::int32_t tsStatus() override { return record("tsStatus", status); }
    std::string tsReason() override { return record("tsReason", textResult); }
    std::int32_t upStatus() override { return record("upStatus", status); }
    std::int32_t ripStatus() override { return record("ripStatus", status); }
    std::int32_t norStatus() override { return record("norStatus", status); }
    std::int32_t wfStatus() override { return record("wfStatus", status); }
    std::string wfResponse() override { return record("wfResponse", textResult); }
    std::string takeCommandLineFile() override { return std::exchange(commandLine, {}); }

private:
    void record(std::string call)
    {
        if (recording)
            calls.push_back(std::move(call));
    }
    template <typename T>
    T record(std::string call, T result)
    {
        record(std::move(call));
        return result;
    }
};

}  // namespace quillon::test
