#pragma once

#include <array>
#include <string>
#include <string_view>

#include "app/app_host.h"
#include "app/cd_members.h"
#include "app/delivery_members.h"
#include "app/job_members.h"
#include "app/main_window.h"
#include "bridge/member_table.h"
#include "delivery/qr_svg.h"
#include "settings/settings_store.h"

namespace quillon::app {

// Every script member, once: its name, its kind and the handler that carries it out,
// whose signature gives the argument letters and the result kind. The order numbers
// the members, which pages hold on to: new members go at the end, and pages
// feature-test the ones after the first 36.
template <class Binding>
constexpr auto memberRows()
{
    using bridge::MemberKind;
    using delivery::BluetoothPhones;
    using delivery::ClipServer;
    using delivery::FirewallPort;
    using delivery::ObexPush;
    using delivery::PairedPhones;
    using delivery::PhoneCopy;
    using settings::SettingsStore;
    using B = Binding;
    using W = MainWindow;
    using J = JobMembers;
    using D = DeliveryMembers;
    return std::array{
        bridge::member<&W::isHost, B>("DTE_IsDTE", MemberKind::Both),
        bridge::member<&W::closeWindow, B>("DTE_CloseWindow"),
        bridge::member<&W::showModalDialog, B>("DTE_ShowModalDialog"),
        bridge::member<&SettingsStore::getTEPhone, B>("DTE_GetTEPhone"),
        bridge::member<&SettingsStore::setTEPhone, B>("DTE_SetTEPhone"),
        bridge::member<&SettingsStore::getTENetwork, B>("DTE_GetTENetwork"),
        bridge::member<&SettingsStore::setTENetwork, B>("DTE_SetTENetwork"),
        bridge::member<&SettingsStore::getTEAid, B>("DTE_GetTEAid"),
        bridge::member<&SettingsStore::setTEAid, B>("DTE_SetTEAid"),
        bridge::member<&SettingsStore::getTENVCheck, B>("DTE_GetTENVCheck"),
        bridge::member<&SettingsStore::setTENVCheck, B>("DTE_SetTENVCheck"),
        bridge::member<&W::version, B>("DTE_GetVersion"),
        bridge::member<&W::dialogArgument, B>("DTE_GetDialogArgument"),
        bridge::member<&W::setDialogReturnValue, B>("DTE_SetDialogRetValue"),
        bridge::member<&W::showAboutBox, B>("DTE_ShowAboutBox"),
        bridge::member<&W::showContact, B>("DTE_ShowContact"),
        bridge::member<&W::showCompatibility, B>("DTE_ShowCompatibility"),
        bridge::member<&W::showUsage, B>("DTE_ShowUsage"),
        bridge::member<&W::navigate, B>("DTE_NavigateURL"),
        bridge::member<&W::messageBox, B>("DTE_MessageBox"),
        bridge::member<&J::makeHttpRequest, B>("DTE_MakeHttpRequest"),
        bridge::property<&J::httpStatus, B>("DTE_xhStatus"),
        bridge::property<&J::httpResponse, B>("DTE_xhResponse"),
        bridge::member<&J::transcodeMedia, B>("DTE_TranscodeMedia"),
        bridge::property<&J::transcodeStatus, B>("DTE_tsStatus"),
        bridge::member<&W::selectMediaFile, B>("DTE_SelectMediaFile"),
        bridge::member<&J::uploadFile, B>("DTE_UploadFile"),
        bridge::property<&J::uploadStatus, B>("DTE_upStatus"),
        bridge::member<&CdMembers::rip, B>("DTE_GrabAudioDataFromCD"),
        bridge::property<&CdMembers::ripStatus, B>("DTE_ripStatus"),
        // The file the app was started with, or one a later start handed over; once.
        bridge::property<&AppHost::takeStartFile, B>("DTE_clFileName"),
        bridge::member<&CdMembers::drivesInfo, B>("DTE_GetDrivesInfo"),
        bridge::member<&CdMembers::tracksInfo, B>("DTE_GetTracksInfo"),
        bridge::member<&J::breakOff, B>("DTE_BreakAsyncOperation"),
        bridge::member<&J::normalizeAudio, B>("DTE_NormalizeAudio"),
        bridge::property<&J::normalizeStatus, B>("DTE_norStatus"),
        // 37: starts the waveform job (duration, peaks, suggested start) on an audio file.
        bridge::member<&J::readWaveform, B>("DTE_ReadWaveform"),
        // 38: the waveform job's status: 0, 1 running, 100 done, 201 unreadable, 202 broken off.
        bridge::property<&J::waveformStatus, B>("DTE_wfStatus"),
        // 39: the waveform, "durationMs:::s1,s2,s3:::p1,...,pN:::fineStepMs:::f1,...,fM:::attackMs": what has
        // been read so far while wfStatus is 1, the whole with the suggested part starts and the start of a
        // notification sound once it is 100.
        bridge::property<&J::waveformResponse, B>("DTE_wfResponse"),
        // 40: the transcode job over one part of the song, with a fade-in and a fade-out (the fade-in's
        // length when only one is passed), for a kind of sound ("ringtone" when not passed: "notification",
        // "alarm"), whose limits the part must keep; status in DTE_tsStatus.
        bridge::member<&J::transcodeClip, B>("DTE_TranscodeClip"),
        // 41: why the last transcode ended with 2 (missing, unreadable, same-file, no-folder, unwritable,
        // disk-full, no-output, no-encoder, killed, damaged); "" otherwise, and after a break.
        bridge::property<&J::transcodeReason, B>("DTE_tsReason"),
        // 42: serves a clip of the temporary folder to phones on the local network, ending any earlier serving:
        // the clip, the song's title, the part's start and length, its kind ("ringtone" when not passed).
        bridge::member<&D::serveClip, B>("DTE_ServeClip"),
        // 43: the serving's status: 0, 1 serving, 100 a phone fetched the whole clip, 201 no network address,
        // 202 clip refused, 203 cannot listen, 204 stopped after 15 minutes.
        bridge::property<&ClipServer::status, B>("DTE_svStatus"),
        // 44: while serving: "pageUrl:::port" (the phone page and its port); "" otherwise.
        bridge::property<&ClipServer::response, B>("DTE_svResponse"),
        // 45: stops serving the clip.
        bridge::member<&D::stopServing, B>("DTE_StopServing"),
        // 46: saves a copy of a clip where the user chooses (a phone over USB included): "" when cancelled,
        // "saved:::<where>" or "failed:::<plain words>".
        bridge::member<&D::saveClipCopy, B>("DTE_SaveClipCopy"),
        // 47: starts listing the phones paired through KDE Connect or GSConnect.
        bridge::member<&PairedPhones::find, B>("DTE_FindPhones"),
        // 48: the listing's status: 0, 1 asking, 100 done (the list may be empty).
        bridge::property<&PairedPhones::findStatus, B>("DTE_phStatus"),
        // 49: the paired phones once phStatus is 100: "id:::name:::id:::name...", "" when none.
        bridge::property<&PairedPhones::listing, B>("DTE_phResponse"),
        // 50: starts sending a clip to a phone of the last listing, under the file name given ("" keeps its own).
        bridge::member<&PairedPhones::send, B>("DTE_SendToPhone"),
        // 51: the sending's status: 0, 1 sending, 100 the phone's service took it, 201 unreachable or failed,
        // 202 no answer in time.
        bridge::property<&PairedPhones::sendStatus, B>("DTE_shStatus"),
        // 52: the QR code of a text (an address for a phone to open) as SVG; "" when it cannot be encoded.
        bridge::member<&delivery::qrSvg, B>("DTE_QrCode"),
        // 53: the levelled clip's integrated loudness in whole LUFS ("-11"), "" until a normalize job ended with 100.
        bridge::property<&J::normalizedLoudness, B>("DTE_norLoudness"),
        // 54: whether the firewall lets phones fetch the served clip: 0, 1 asking, 2 firewalld stops it (it may be
        // allowed), 3 allowing, 4 ufw is on, 100 nothing stops it, 101 allowed, 201 allowing refused, 202 failed.
        bridge::property<&FirewallPort::status, B>("DTE_fwStatus"),
        // 55: while fwStatus is 4, the one command that lets phones in through ufw; "" otherwise.
        bridge::property<&FirewallPort::response, B>("DTE_fwResponse"),
        // 56: while fwStatus is 2, starts opening the served port in firewalld for as long as serving lasts.
        bridge::member<&FirewallPort::allow, B>("DTE_AllowFirewallPort"),
        // 57: starts listing the phones paired over Bluetooth that take files.
        bridge::member<&BluetoothPhones::find, B>("DTE_FindBluetoothPhones"),
        // 58: the Bluetooth listing's status: 0, 1 asking, 100 done (the list may be empty).
        bridge::property<&BluetoothPhones::findStatus, B>("DTE_blStatus"),
        // 59: the Bluetooth phones once blStatus is 100: "id:::name:::id:::name...", "" when none.
        bridge::property<&BluetoothPhones::listing, B>("DTE_blResponse"),
        // 60: starts sending a clip by Bluetooth to a phone of the last listing, under a download name.
        bridge::member<&D::sendByBluetooth, B>("DTE_SendByBluetooth"),
        // 61: the Bluetooth sending's status: 0, 1 sending, 100 sent, 201 Bluetooth off, 202 no OBEX service,
        // 203 out of reach, 204 refused or broken off, 205 cancelled.
        bridge::property<&ObexPush::status, B>("DTE_btStatus"),
        // 62: the Bluetooth sending's progress, "transferred:::size" in bytes; "" before the transfer starts.
        bridge::property<&ObexPush::progress, B>("DTE_btResponse"),
        // 63: stops the Bluetooth sending.
        bridge::member<&ObexPush::cancel, B>("DTE_CancelBluetooth"),
        // 64: the phones plugged in now: "id:::name:::id:::name...", "" when none.
        bridge::member<&PhoneCopy::find, B>("DTE_FindPluggedPhones"),
        // 65: starts copying a clip onto a plugged-in phone, under a download name, into the folder of its kind
        // ("ringtone" when absent, "notification", "alarm").
        bridge::member<&D::copyToPhone, B>("DTE_CopyToPhone"),
        // 66: the copy's status: 0, 1 copying, 100 copied, 201 failed.
        bridge::property<&PhoneCopy::status, B>("DTE_cpStatus"),
        // 67: once the copy ended: "saved:::<where>" or "failed:::<plain words>".
        bridge::property<&PhoneCopy::response, B>("DTE_cpResponse"),
        // 68: shows a copy saved in this run in the desktop's file manager, else opens its folder; false for
        // any other place.
        bridge::member<&D::showInFolder, B>("DTE_ShowInFolder"),
    };
}

inline constexpr std::size_t kMemberCount = memberRows<bridge::DescribeOnly>().size();

}  // namespace quillon::app
