#pragma once

#include "bridge/bridge_target.h"
#include "jobs/job_fields.h"

namespace quillon::bench {

// A main window for measuring the bridge alone: the version and the status
// fields answer as the app's do (the status reads go to real job fields), and
// every operation that would open a window, start a job or touch the settings
// does nothing.
class BenchTarget final : public bridge::BridgeTarget {
public:
    int IsDTE() override { return 1; }
    void CloseWindow(bridge::CallerId) override {}
    std::string ShowModalDialog(const std::string&, const std::string&, const std::string&, std::int32_t,
                                std::int32_t, std::int32_t, std::int32_t) override
    {
        return {};
    }

    std::string GetTEPhone() override { return {}; }
    void SetTEPhone(const std::string&) override {}
    std::string GetTENetwork() override { return {}; }
    void SetTENetwork(const std::string&) override {}
    std::string GetTEAid() override { return {}; }
    void SetTEAid(const std::string&) override {}
    std::string GetTENVCheck() override { return {}; }
    void SetTENVCheck(const std::string&) override {}

    std::string GetVersion() override { return "210"; }
    std::string GetDialogArgument() override { return {}; }
    void SetDialogRetValue(const std::string&) override {}
    void ShowAboutBox() override {}
    void ShowContact() override {}
    void ShowCompatibility() override {}
    void ShowUsage() override {}
    void NavigateURL(const std::string&) override {}
    std::int32_t MessageBox(const std::string&, std::int32_t) override { return 0; }
    std::string SelectMediaFile() override { return {}; }

    int MakeHttpRequest(const std::string&) override { return 0; }
    int TranscodeMedia(const std::string&, const std::string&) override { return 0; }
    int UploadFile(const std::string&, const std::string&) override { return 0; }
    int GrabAudioDataFromCD(const std::string&, const std::string&, const std::string&) override { return 0; }
    int NormalizeAudio(const std::string&) override { return 0; }
    int BreakAsyncOperation() override { return 1; }
    std::string GetDrivesInfo() override { return {}; }
    std::string GetTracksInfo(std::int32_t) override { return {}; }

    std::int32_t xhStatus() override { return fields_.xhStatus.value(); }
    std::string xhResponse() override { return fields_.xhResponse.get(); }
    std::int32_t tsStatus() override { return fields_.tsStatus.value(); }
    std::int32_t upStatus() override { return fields_.upStatus.value(); }
    std::int32_t ripStatus() override { return fields_.ripStatus.value(); }
    std::int32_t norStatus() override { return fields_.norStatus.value(); }
    std::string& commandLineFile() override { return commandLineFile_; }

private:
    jobs::JobFields fields_;
    std::string commandLineFile_;
};

}  // namespace quillon::bench
