#include "bridge/member_table.h"

namespace quillon::bridge {

const BridgeValue* Arguments::declared(std::size_t index, char kind) const
{
    return index < kinds_.size() && kinds_[index] == kind && index < values_.size() ? &values_[index] : nullptr;
}

std::string Arguments::text(std::size_t index) const
{
    const BridgeValue* value = declared(index, 'S');
    return value ? value->asText() : std::string();
}

std::int32_t Arguments::integer(std::size_t index) const
{
    const BridgeValue* value = declared(index, 'I');
    return value ? value->asInteger() : 0;
}

namespace {

using K = MemberKind;
using R = ResultKind;
using A = const Arguments&;
using T = BridgeTarget&;

BridgeValue text(std::string value) { return BridgeValue::text(std::move(value)); }
BridgeValue integer(std::int32_t value) { return BridgeValue::integer(value); }
BridgeValue boolean(int value) { return BridgeValue::boolean(value != 0); }

const std::array<Member, kMemberCount> kMembers{{
    {"DTE_IsDTE", K::Both, "", R::Boolean, [](T t, A, CallerId) { return boolean(t.IsDTE()); }},
    {"DTE_CloseWindow", K::Method, "", R::None,
     [](T t, A, CallerId caller) {
         t.CloseWindow(caller);
         return BridgeValue();
     }},
    {"DTE_ShowModalDialog", K::Method, "SSSIIII", R::Text,
     [](T t, A a, CallerId) {
         return text(t.ShowModalDialog(a.text(0), a.text(1), a.text(2), a.integer(3), a.integer(4), a.integer(5),
                                       a.integer(6)));
     }},
    {"DTE_GetTEPhone", K::Method, "", R::Text, [](T t, A, CallerId) { return text(t.GetTEPhone()); }},
    {"DTE_SetTEPhone", K::Method, "S", R::None,
     [](T t, A a, CallerId) {
         t.SetTEPhone(a.text(0));
         return BridgeValue();
     }},
    {"DTE_GetTENetwork", K::Method, "", R::Text, [](T t, A, CallerId) { return text(t.GetTENetwork()); }},
    {"DTE_SetTENetwork", K::Method, "S", R::None,
     [](T t, A a, CallerId) {
         t.SetTENetwork(a.text(0));
         return BridgeValue();
     }},
    {"DTE_GetTEAid", K::Method, "", R::Text, [](T t, A, CallerId) { return text(t.GetTEAid()); }},
    {"DTE_SetTEAid", K::Method, "S", R::None,
     [](T t, A a, CallerId) {
         t.SetTEAid(a.text(0));
         return BridgeValue();
     }},
    {"DTE_GetTENVCheck", K::Method, "", R::Text, [](T t, A, CallerId) { return text(t.GetTENVCheck()); }},
    {"DTE_SetTENVCheck", K::Method, "S", R::None,
     [](T t, A a, CallerId) {
         t.SetTENVCheck(a.text(0));
         return BridgeValue();
     }},
    {"DTE_GetVersion", K::Method, "", R::Text, [](T t, A, CallerId) { return text(t.GetVersion()); }},
    {"DTE_GetDialogArgument", K::Method, "", R::Text, [](T t, A, CallerId) { return text(t.GetDialogArgument()); }},
    {"DTE_SetDialogRetValue", K::Method, "S", R::None,
     [](T t, A a, CallerId) {
         t.SetDialogRetValue(a.text(0));
         return BridgeValue();
     }},
    {"DTE_ShowAboutBox", K::Method, "", R::None,
     [](T t, A, CallerId) {
         t.ShowAboutBox();
         return BridgeValue();
     }},
    {"DTE_ShowContact", K::Method, "", R::None,
     [](T t, A, CallerId) {
         t.ShowContact();
         return BridgeValue();
     }},
    {"DTE_ShowCompatibility", K::Method, "", R::None,
     [](T t, A, CallerId) {
         t.ShowCompatibility();
         return BridgeValue();
     }},
    {"DTE_ShowUsage", K::Method, "", R::None,
     [](T t, A, CallerId) {
         t.ShowUsage();
         return BridgeValue();
     }},
    {"DTE_NavigateURL", K::Method, "S", R::None,
     [](T t, A a, CallerId) {
         t.NavigateURL(a.text(0));
         return BridgeValue();
     }},
    {"DTE_MessageBox", K::Method, "SI", R::Integer,
     [](T t, A a, CallerId) { return integer(t.MessageBox(a.text(0), a.integer(1))); }},
    {"DTE_MakeHttpRequest", K::Method, "S", R::Boolean,
     [](T t, A a, CallerId) { return boolean(t.MakeHttpRequest(a.text(0))); }},
    {"DTE_xhStatus", K::Property, "", R::Integer, [](T t, A, CallerId) { return integer(t.xhStatus()); }},
    {"DTE_xhResponse", K::Property, "", R::Text, [](T t, A, CallerId) { return text(t.xhResponse()); }},
    {"DTE_TranscodeMedia", K::Method, "SS", R::Boolean,
     [](T t, A a, CallerId) { return boolean(t.TranscodeMedia(a.text(0), a.text(1))); }},
    {"DTE_tsStatus", K::Property, "", R::Integer, [](T t, A, CallerId) { return integer(t.tsStatus()); }},
    {"DTE_SelectMediaFile", K::Method, "", R::Text, [](T t, A, CallerId) { return text(t.SelectMediaFile()); }},
    {"DTE_UploadFile", K::Method, "SS", R::Boolean,
     [](T t, A a, CallerId) { return boolean(t.UploadFile(a.text(0), a.text(1))); }},
    {"DTE_upStatus", K::Property, "", R::Integer, [](T t, A, CallerId) { return integer(t.upStatus()); }},
    {"DTE_GrabAudioDataFromCD", K::Method, "SSS", R::Boolean,
     [](T t, A a, CallerId) { return boolean(t.GrabAudioDataFromCD(a.text(0), a.text(1), a.text(2))); }},
    {"DTE_ripStatus", K::Property, "", R::Integer, [](T t, A, CallerId) { return integer(t.ripStatus()); }},
    {"DTE_clFileName", K::Property, "", R::Text, [](T t, A, CallerId) { return text(t.takeCommandLineFile()); }},
    {"DTE_GetDrivesInfo", K::Method, "", R::Text, [](T t, A, CallerId) { return text(t.GetDrivesInfo()); }},
    {"DTE_GetTracksInfo", K::Method, "I", R::Text,
     [](T t, A a, CallerId) { return text(t.GetTracksInfo(a.integer(0))); }},
    {"DTE_BreakAsyncOperation", K::Method, "", R::Boolean,
     [](T t, A, CallerId) { return boolean(t.BreakAsyncOperation()); }},
    {"DTE_NormalizeAudio", K::Method, "S", R::Boolean,
     [](T t, A a, CallerId) { return boolean(t.NormalizeAudio(a.text(0))); }},
    {"DTE_norStatus", K::Property, "", R::Integer, [](T t, A, CallerId) { return integer(t.norStatus()); }},
    // Added after the original 36; pages feature-test them.
    // 37: starts the waveform job (duration, peaks, suggested start) on an audio file.
    {"DTE_ReadWaveform", K::Method, "SI", R::Boolean,
     [](T t, A a, CallerId) { return boolean(t.ReadWaveform(a.text(0), a.integer(1))); }},
    // 38: the waveform job's status: 0, 1 running, 100 done, 201 unreadable, 202 broken off.
    {"DTE_wfStatus", K::Property, "", R::Integer, [](T t, A, CallerId) { return integer(t.wfStatus()); }},
    // 39: the waveform, "durationMs:::s1,s2,s3:::p1,...,pN:::fineStepMs:::f1,...,fM:::attackMs": what has
    // been read so far while wfStatus is 1, the whole with the suggested part starts and the start of a
    // notification sound once it is 100.
    {"DTE_wfResponse", K::Property, "", R::Text, [](T t, A, CallerId) { return text(t.wfResponse()); }},
    // 40: the transcode job over one part of the song, with a fade-in and a fade-out (the fade-in's
    // length when only one is passed), for a kind of sound ("ringtone" when not passed: "notification",
    // "alarm"), whose limits the part must keep; status in DTE_tsStatus.
    {"DTE_TranscodeClip", K::Method, "SSIIIIS", R::Boolean,
     [](T t, A a, CallerId) {
         return boolean(t.TranscodeClip(a.text(0), a.text(1), a.integer(2), a.integer(3), a.integer(4),
                                        a.integer(a.has(5) ? 5 : 4), a.text(6)));
     }},
    // 41: why the last transcode ended with 2 (missing, unreadable, same-file, no-folder, unwritable,
    // disk-full, no-output, no-encoder, killed, damaged); "" otherwise, and after a break.
    {"DTE_tsReason", K::Property, "", R::Text, [](T t, A, CallerId) { return text(t.tsReason()); }},
    // 42: serves a clip of the temporary folder to phones on the local network, ending any earlier serving:
    // the clip, the song's title, the part's start and length, its kind ("ringtone" when not passed).
    {"DTE_ServeClip", K::Method, "SSIIS", R::Boolean,
     [](T t, A a, CallerId) {
         return boolean(t.ServeClip(a.text(0), a.text(1), a.integer(2), a.integer(3), a.text(4)));
     }},
    // 43: the serving's status: 0, 1 serving, 100 a phone fetched the whole clip, 201 no network address,
    // 202 clip refused, 203 cannot listen, 204 stopped after 15 minutes.
    {"DTE_svStatus", K::Property, "", R::Integer, [](T t, A, CallerId) { return integer(t.svStatus()); }},
    // 44: while serving: "pageUrl:::port" (the phone page and its port); "" otherwise.
    {"DTE_svResponse", K::Property, "", R::Text, [](T t, A, CallerId) { return text(t.svResponse()); }},
    // 45: stops serving the clip.
    {"DTE_StopServing", K::Method, "", R::None,
     [](T t, A, CallerId) {
         t.StopServing();
         return BridgeValue();
     }},
    // 46: saves a copy of a clip where the user chooses (a phone over USB included): "" when cancelled,
    // "saved:::<where>" or "failed:::<plain words>".
    {"DTE_SaveClipCopy", K::Method, "SS", R::Text,
     [](T t, A a, CallerId) { return text(t.SaveClipCopy(a.text(0), a.text(1))); }},
    // 47: starts listing the phones paired through KDE Connect or GSConnect.
    {"DTE_FindPhones", K::Method, "", R::Boolean, [](T t, A, CallerId) { return boolean(t.FindPhones()); }},
    // 48: the listing's status: 0, 1 asking, 100 done (the list may be empty).
    {"DTE_phStatus", K::Property, "", R::Integer, [](T t, A, CallerId) { return integer(t.phStatus()); }},
    // 49: the paired phones once phStatus is 100: "id:::name:::id:::name...", "" when none.
    {"DTE_phResponse", K::Property, "", R::Text, [](T t, A, CallerId) { return text(t.phResponse()); }},
    // 50: starts sending a clip to a phone of the last listing, under the file name given ("" keeps its own).
    {"DTE_SendToPhone", K::Method, "SSS", R::Boolean,
     [](T t, A a, CallerId) { return boolean(t.SendToPhone(a.text(0), a.text(1), a.text(2))); }},
    // 51: the sending's status: 0, 1 sending, 100 the phone's service took it, 201 unreachable or failed,
    // 202 no answer in time.
    {"DTE_shStatus", K::Property, "", R::Integer, [](T t, A, CallerId) { return integer(t.shStatus()); }},
    // 52: the QR code of a text (an address for a phone to open) as SVG; "" when it cannot be encoded.
    {"DTE_QrCode", K::Method, "S", R::Text, [](T t, A a, CallerId) { return text(t.QrCode(a.text(0))); }},
    // 53: the levelled clip's integrated loudness in whole LUFS ("-11"), "" until a normalize job ended with 100.
    {"DTE_norLoudness", K::Property, "", R::Text, [](T t, A, CallerId) { return text(t.norLoudness()); }},
    // 54: whether the firewall lets phones fetch the served clip: 0, 1 asking, 2 firewalld stops it (it may be
    // allowed), 3 allowing, 4 ufw is on, 100 nothing stops it, 101 allowed, 201 allowing refused, 202 failed.
    {"DTE_fwStatus", K::Property, "", R::Integer, [](T t, A, CallerId) { return integer(t.fwStatus()); }},
    // 55: while fwStatus is 4, the one command that lets phones in through ufw; "" otherwise.
    {"DTE_fwResponse", K::Property, "", R::Text, [](T t, A, CallerId) { return text(t.fwResponse()); }},
    // 56: while fwStatus is 2, starts opening the served port in firewalld for as long as serving lasts.
    {"DTE_AllowFirewallPort", K::Method, "", R::Boolean,
     [](T t, A, CallerId) { return boolean(t.AllowFirewallPort()); }},
    // 57: starts listing the phones paired over Bluetooth that take files.
    {"DTE_FindBluetoothPhones", K::Method, "", R::Boolean,
     [](T t, A, CallerId) { return boolean(t.FindBluetoothPhones()); }},
    // 58: the Bluetooth listing's status: 0, 1 asking, 100 done (the list may be empty).
    {"DTE_blStatus", K::Property, "", R::Integer, [](T t, A, CallerId) { return integer(t.blStatus()); }},
    // 59: the Bluetooth phones once blStatus is 100: "id:::name:::id:::name...", "" when none.
    {"DTE_blResponse", K::Property, "", R::Text, [](T t, A, CallerId) { return text(t.blResponse()); }},
    // 60: starts sending a clip by Bluetooth to a phone of the last listing, under a download name.
    {"DTE_SendByBluetooth", K::Method, "SSS", R::Boolean,
     [](T t, A a, CallerId) { return boolean(t.SendByBluetooth(a.text(0), a.text(1), a.text(2))); }},
    // 61: the Bluetooth sending's status: 0, 1 sending, 100 sent, 201 Bluetooth off, 202 no OBEX service,
    // 203 out of reach, 204 refused or broken off, 205 cancelled.
    {"DTE_btStatus", K::Property, "", R::Integer, [](T t, A, CallerId) { return integer(t.btStatus()); }},
    // 62: the Bluetooth sending's progress, "transferred:::size" in bytes; "" before the transfer starts.
    {"DTE_btResponse", K::Property, "", R::Text, [](T t, A, CallerId) { return text(t.btResponse()); }},
    // 63: stops the Bluetooth sending.
    {"DTE_CancelBluetooth", K::Method, "", R::None,
     [](T t, A, CallerId) {
         t.CancelBluetooth();
         return BridgeValue();
     }},
    // 64: the phones plugged in now: "id:::name:::id:::name...", "" when none.
    {"DTE_FindPluggedPhones", K::Method, "", R::Text, [](T t, A, CallerId) { return text(t.FindPluggedPhones()); }},
    // 65: starts copying a clip onto a plugged-in phone, under a download name, into the folder of its kind
    // ("ringtone" when absent, "notification", "alarm").
    {"DTE_CopyToPhone", K::Method, "SSSS", R::Boolean,
     [](T t, A a, CallerId) {
         return boolean(t.CopyToPhone(a.text(0), a.text(1), a.text(2), a.has(3) ? a.text(3) : "ringtone"));
     }},
    // 66: the copy's status: 0, 1 copying, 100 copied, 201 failed.
    {"DTE_cpStatus", K::Property, "", R::Integer, [](T t, A, CallerId) { return integer(t.cpStatus()); }},
    // 67: once the copy ended: "saved:::<where>" or "failed:::<plain words>".
    {"DTE_cpResponse", K::Property, "", R::Text, [](T t, A, CallerId) { return text(t.cpResponse()); }},
    // 68: shows a copy saved in this run in the desktop's file manager, else opens its folder; false for
    // any other place.
    {"DTE_ShowInFolder", K::Method, "S", R::Boolean,
     [](T t, A a, CallerId) { return boolean(t.ShowInFolder(a.text(0))); }},
}};

}  // namespace

const std::array<Member, kMemberCount>& memberTable() { return kMembers; }

const Member* memberById(DispId id)
{
    if (id < 1 || id > static_cast<DispId>(kMemberCount))
        return nullptr;
    return &kMembers[static_cast<std::size_t>(id - 1)];
}

const std::vector<DispId>& statusMembers()
{
    static const std::vector<DispId> ids = [] {
        std::vector<DispId> found;
        for (std::size_t i = 0; i < kMembers.size(); ++i) {
            if (kMembers[i].kind == MemberKind::Property && kMembers[i].result == ResultKind::Integer)
                found.push_back(static_cast<DispId>(i + 1));
        }
        return found;
    }();
    return ids;
}

}  // namespace quillon::bridge
