#pragma once

#include <string>

#include "bridge/bridge_target.h"

namespace quillon::fuzz {

// A main window that does nothing but count what it is asked: the dispatch behind
// the channel can be driven with any input without windows, jobs or files.
class FakeBridgeTarget final : public bridge::BridgeTarget {
public:
    int calls = 0;
    std::string stored;  // what the last setter was given
    std::string commandLine = "/tmp/start.mp3";

    int IsDTE() override { return count(1); }
    void CloseWindow(bridge::CallerId) override { count(0); }
    std::string ShowModalDialog(const std::string& title, const std::string& url, const std::string& argument,
                                std::int32_t, std::int32_t, std::int32_t, std::int32_t) override
    {
        count(0);
        return title + url + argument;
    }
    std::string GetTEPhone() override { return text(); }
    void SetTEPhone(const std::string& v) override { keep(v); }
    std::string GetTENetwork() override { return text(); }
    void SetTENetwork(const std::string& v) override { keep(v); }
    std::string GetTEAid() override { return text(); }
    void SetTEAid(const std::string& v) override { keep(v); }
    std::string GetTENVCheck() override { return text(); }
    void SetTENVCheck(const std::string& v) override { keep(v); }
    std::string GetVersion() override { return text(); }
    std::string GetDialogArgument() override { return text(); }
    void SetDialogRetValue(const std::string& v) override { keep(v); }
    void ShowAboutBox() override { count(0); }
    void ShowContact() override { count(0); }
    void ShowCompatibility() override { count(0); }
    void ShowUsage() override { count(0); }
    void NavigateURL(const std::string& v) override { keep(v); }
    std::int32_t MessageBox(const std::string& v, std::int32_t style) override { keep(v); return style; }
    std::string SelectMediaFile() override { return text(); }
    int MakeHttpRequest(const std::string& v) override { keep(v); return 1; }
    int TranscodeMedia(const std::string& a, const std::string& b) override { keep(a + b); return 1; }
    int UploadFile(const std::string& a, const std::string& b) override { keep(a + b); return 1; }
    int GrabAudioDataFromCD(const std::string& a, const std::string& b, const std::string& c) override
    {
        keep(a + b + c);
        return 1;
    }
    int NormalizeAudio(const std::string& v) override { keep(v); return 1; }
    int BreakAsyncOperation() override { return count(1); }
    std::string GetDrivesInfo() override { return text(); }
    std::string GetTracksInfo(std::int32_t drive) override { return std::to_string(drive); }
    std::int32_t xhStatus() override { return count(1); }
    std::string xhResponse() override { return text(); }
    std::int32_t tsStatus() override { return count(1); }
    std::int32_t upStatus() override { return count(1); }
    std::int32_t ripStatus() override { return count(1); }
    std::int32_t norStatus() override { return count(1); }
    std::string& commandLineFile() override { count(0); return commandLine; }

private:
    int count(int result) { ++calls; return result; }
    std::string text() { ++calls; return stored; }
    void keep(const std::string& v) { ++calls; stored = v; }
};

}  // namespace quillon::fuzz
