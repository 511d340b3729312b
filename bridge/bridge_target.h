#pragma once

#include <cstdint>
#include <string>

namespace quillon::bridge {

// Identifies the web view whose page made a call (the main window's or a dialog's).
using CallerId = const void*;

// The operations behind the script members, carried out by the main window on the
// UI thread. Names follow the members without their prefix.
class BridgeTarget {
public:
    virtual ~BridgeTarget() = default;

    // The script members' names, as the pages spell them, so each maps back at a glance.
    // NOLINTBEGIN(readability-identifier-naming)
    virtual int IsDTE() = 0;
    virtual void CloseWindow(CallerId caller) = 0;
    virtual std::string ShowModalDialog(const std::string& title, const std::string& url, const std::string& argument,
                                        std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) = 0;

    virtual std::string GetTEPhone() = 0;
    virtual void SetTEPhone(const std::string& value) = 0;
    virtual std::string GetTENetwork() = 0;
    virtual void SetTENetwork(const std::string& value) = 0;
    virtual std::string GetTEAid() = 0;
    virtual void SetTEAid(const std::string& value) = 0;
    virtual std::string GetTENVCheck() = 0;
    virtual void SetTENVCheck(const std::string& value) = 0;

    virtual std::string GetVersion() = 0;
    virtual std::string GetDialogArgument() = 0;
    virtual void SetDialogRetValue(const std::string& value) = 0;
    virtual void ShowAboutBox() = 0;
    virtual void ShowContact() = 0;
    virtual void ShowCompatibility() = 0;
    virtual void ShowUsage() = 0;
    virtual void NavigateURL(const std::string& where) = 0;
    virtual std::int32_t MessageBox(const std::string& text, std::int32_t style) = 0;
    virtual std::string SelectMediaFile() = 0;

    virtual int MakeHttpRequest(const std::string& url) = 0;
    virtual int TranscodeMedia(const std::string& input, const std::string& output) = 0;
    virtual int UploadFile(const std::string& file, const std::string& sessionId) = 0;
    virtual int GrabAudioDataFromCD(const std::string& drive, const std::string& track, const std::string& wavFile) = 0;
    virtual int NormalizeAudio(const std::string& file) = 0;
    virtual int BreakAsyncOperation() = 0;
    virtual std::string GetDrivesInfo() = 0;
    virtual std::string GetTracksInfo(std::int32_t drive) = 0;
    virtual int ReadWaveform(const std::string& path, std::int32_t points) = 0;
    virtual int TranscodeClip(const std::string& input, const std::string& output, std::int32_t startMs,
                              std::int32_t lengthMs, std::int32_t fadeInMs, std::int32_t fadeOutMs,
                              const std::string& kind) = 0;
    virtual int ServeClip(const std::string& clipPath, const std::string& songTitle, std::int32_t startMs,
                          std::int32_t lengthMs, const std::string& kind) = 0;
    virtual void StopServing() = 0;

    // Fields read by the status properties.
    virtual std::int32_t xhStatus() = 0;
    virtual std::string xhResponse() = 0;
    virtual std::int32_t tsStatus() = 0;
    // Why the last transcode ended with 2: "" unless it did.
    virtual std::string tsReason() = 0;
    virtual std::int32_t upStatus() = 0;
    virtual std::int32_t ripStatus() = 0;
    virtual std::int32_t norStatus() = 0;
    // The levelled clip's loudness: "" unless the last normalize job ended with 100.
    virtual std::string norLoudness() = 0;
    virtual std::int32_t wfStatus() = 0;
    virtual std::string wfResponse() = 0;
    virtual std::int32_t svStatus() = 0;
    virtual std::string svResponse() = 0;
    // Delivery to a phone: a saved copy, and the phones paired with this computer.
    virtual std::string SaveClipCopy(const std::string& clipPath, const std::string& suggestedName) = 0;
    // A saved copy shown in its folder, by where SaveClipCopy said it went.
    virtual int ShowInFolder(const std::string& where) = 0;
    virtual int FindPhones() = 0;
    virtual std::int32_t phStatus() = 0;
    virtual std::string phResponse() = 0;
    virtual int SendToPhone(const std::string& phoneId, const std::string& clipPath, const std::string& name) = 0;
    virtual std::int32_t shStatus() = 0;
    // The QR code of text as SVG.
    virtual std::string QrCode(const std::string& text) = 0;
    // Whether the firewall lets phones fetch the served clip, and opening its port.
    virtual std::int32_t fwStatus() = 0;
    virtual std::string fwResponse() = 0;
    virtual int AllowFirewallPort() = 0;
    // Phones paired over Bluetooth, and sending a clip to one of them.
    virtual int FindBluetoothPhones() = 0;
    virtual std::int32_t blStatus() = 0;
    virtual std::string blResponse() = 0;
    virtual int SendByBluetooth(const std::string& phoneId, const std::string& clipPath, const std::string& name) = 0;
    virtual std::int32_t btStatus() = 0;
    virtual std::string btResponse() = 0;
    virtual void CancelBluetooth() = 0;
    // Phones plugged in, and copying a clip onto one of them.
    virtual std::string FindPluggedPhones() = 0;
    virtual int CopyToPhone(const std::string& phoneId, const std::string& clipPath, const std::string& name,
                            const std::string& kind) = 0;
    virtual std::int32_t cpStatus() = 0;
    virtual std::string cpResponse() = 0;
    // The command-line value, handed out once: later calls give "" until a new one is set.
    virtual std::string takeCommandLineFile() = 0;
    // NOLINTEND(readability-identifier-naming)
};

}  // namespace quillon::bridge
