#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/desktop_color_scheme.h"
#include "app/web_view_host.h"
#include "audio/tool_paths.h"
#include "base/version.h"
#include "bridge/bridge_target.h"
#include "cd/cd_access.h"
#include "cd/listing_calls.h"
#include "delivery/bluetooth_phones.h"
#include "delivery/clip_server.h"
#include "delivery/firewall_port.h"
#include "delivery/obex_push.h"
#include "delivery/paired_phones.h"
#include "delivery/phone_copy.h"
#include "delivery/qr_svg.h"
#include "jobs/job_fields.h"
#include "settings/settings_store.h"

namespace quillon::app {

class AppHost;
class HtmlDialog;

// The main window: a page area of 760 x 471 at first, resizable, that shows the
// start page, and the owner of all state that pages, the bridge and job threads share.
class MainWindow : public bridge::BridgeTarget {
public:
    explicit MainWindow(AppHost& app);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Shows the window and runs until it is closed.
    void runModal();
    // After runModal: breaks every job off and stops its tools; true when every
    // job thread has returned within a short wait.
    [[nodiscard]] bool stopJobs();
    [[nodiscard]] GtkWidget* widget() const { return window_; }

    int IsDTE() override { return 1; }
    void CloseWindow(bridge::CallerId caller) override;
    std::string ShowModalDialog(const std::string& title, const std::string& url, const std::string& argument,
                                std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) override;

    std::string GetTEPhone() override;
    void SetTEPhone(const std::string& value) override;
    std::string GetTENetwork() override;
    void SetTENetwork(const std::string& value) override;
    std::string GetTEAid() override;
    void SetTEAid(const std::string& value) override;
    std::string GetTENVCheck() override;
    void SetTENVCheck(const std::string& value) override;

    std::string GetVersion() override { return std::string(base::kVersionCode); }
    std::string GetDialogArgument() override { return dialogArgument; }
    void SetDialogRetValue(const std::string& value) override { dialogArgument = value; }
    void ShowAboutBox() override;
    void ShowContact() override;
    void ShowCompatibility() override;
    void ShowUsage() override;
    void NavigateURL(const std::string& where) override;
    std::int32_t MessageBox(const std::string& text, std::int32_t style) override;
    std::string SelectMediaFile() override;

    int MakeHttpRequest(const std::string& url) override;
    int TranscodeMedia(const std::string& input, const std::string& output) override;
    int UploadFile(const std::string& file, const std::string& sessionId) override;
    int GrabAudioDataFromCD(const std::string& drive, const std::string& track, const std::string& wavFile) override;
    int NormalizeAudio(const std::string& file) override;
    int BreakAsyncOperation() override;
    std::string GetDrivesInfo() override;
    std::string GetTracksInfo(std::int32_t drive) override;
    int ReadWaveform(const std::string& path, std::int32_t points) override;
    int TranscodeClip(const std::string& input, const std::string& output, std::int32_t startMs, std::int32_t lengthMs,
                      std::int32_t fadeInMs, std::int32_t fadeOutMs, const std::string& kind) override;
    int ServeClip(const std::string& clipPath, const std::string& songTitle, std::int32_t startMs,
                  std::int32_t lengthMs, const std::string& kind) override;
    void StopServing() override;

    std::int32_t xhStatus() override { return jobs_->xhStatus.value(); }
    std::string xhResponse() override { return jobs_->xhResponse.get(); }
    std::int32_t tsStatus() override { return jobs_->tsStatus.value(); }
    std::string tsReason() override;
    std::int32_t upStatus() override { return jobs_->upStatus.value(); }
    std::int32_t ripStatus() override { return jobs_->ripStatus.value(); }
    std::int32_t norStatus() override { return jobs_->norStatus.value(); }
    std::string norLoudness() override;
    std::int32_t wfStatus() override { return jobs_->wfStatus.value(); }
    std::string wfResponse() override;
    std::int32_t svStatus() override { return clipServer_.status(); }
    std::string svResponse() override { return clipServer_.response(); }
    std::string SaveClipCopy(const std::string& clipPath, const std::string& suggestedName) override;
    int ShowInFolder(const std::string& where) override;
    int FindPhones() override { return phones_.find(); }
    std::int32_t phStatus() override { return phones_.findStatus(); }
    std::string phResponse() override { return phones_.listing(); }
    int SendToPhone(const std::string& phoneId, const std::string& clipPath, const std::string& name) override
    {
        return phones_.send(phoneId, clipPath, name);
    }
    std::int32_t shStatus() override { return phones_.sendStatus(); }
    std::string QrCode(const std::string& text) override { return delivery::qrSvg(text); }
    std::int32_t fwStatus() override { return firewall_.status(); }
    std::string fwResponse() override { return firewall_.response(); }
    int AllowFirewallPort() override { return firewall_.allow(); }
    int FindBluetoothPhones() override { return bluetoothPhones_.find(); }
    std::int32_t blStatus() override { return bluetoothPhones_.findStatus(); }
    std::string blResponse() override { return bluetoothPhones_.listing(); }
    int SendByBluetooth(const std::string& phoneId, const std::string& clipPath, const std::string& name) override;
    std::int32_t btStatus() override { return obexPush_.status(); }
    std::string btResponse() override { return obexPush_.progress(); }
    void CancelBluetooth() override { obexPush_.cancel(); }
    std::string FindPluggedPhones() override { return phoneCopy_.find(); }
    int CopyToPhone(const std::string& phoneId, const std::string& clipPath, const std::string& name,
                    const std::string& kind) override
    {
        return phoneCopy_.copy(phoneId, clipPath, name, kind);
    }
    std::int32_t cpStatus() override { return phoneCopy_.status(); }
    std::string cpResponse() override { return phoneCopy_.response(); }
    std::string takeCommandLineFile() override { return std::exchange(commandLineFile_, {}); }
    // The file the app was started with, or one a later start handed over.
    void setCommandLineFile(std::string file) { commandLineFile_ = std::move(file); }

private:
    void initialise();
    // The innermost open dialog, else the main window: the one that has the input.
    GtkWindow* topWindow() const;
    void showFixedDialog(const char* title, const char* page, int width, int height);
    [[nodiscard]] std::string startPageUri() const;
    static gboolean onDeleteEvent(GtkWidget*, GdkEvent*, MainWindow* self);
    static gboolean onEndSignal(MainWindow* self);
    // Ends the app's loop, dialogs still open over it included.
    void end();

    AppHost& app_;
    jobs::SharedJobFields jobs_ = std::make_shared<jobs::JobFields>();
    audio::ToolPaths tools_;
    std::shared_ptr<cd::CdAccess> cdAccess_;
    cd::ListingCalls cdListings_;
    // Serves the last clip to phones until the page stops it, and no longer than the window.
    delivery::ClipServer clipServer_;
    // Whether phones get through the firewall to the clip served; a port it opened
    // closes when serving stops and when the app ends.
    delivery::FirewallPort firewall_;
    delivery::PairedPhones phones_;
    delivery::BluetoothPhones bluetoothPhones_;
    delivery::ObexPush obexPush_;
    delivery::PhoneCopy phoneCopy_;
    std::string commandLineFile_;
    // Where the copies saved in this run went, as SaveClipCopy told the page: the places it may show.
    std::set<std::string> savedPlaces_;
    // Declared before the browser so that it closes after it.
    settings::SettingsStore settings_;
    GtkWidget* window_ = nullptr;
    std::unique_ptr<WebViewHost> browser_;
    GMainLoop* loop_ = nullptr;
    // The open HTML dialogs, innermost last: a dialog is up while it is not empty.
    std::vector<HtmlDialog*> dialogs_;
    // The argument of the dialog last opened, and then the value its page returns,
    // under the design's own name for it.
    // NOLINTBEGIN(readability-identifier-naming)
    std::string dialogArgument;
    // NOLINTEND(readability-identifier-naming)
    std::vector<guint> signalSources_;
    std::unique_ptr<DesktopColorScheme> colorScheme_;
};

}  // namespace quillon::app
