#include "delivery/phone_page.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "base/html_text.h"

namespace quillon::delivery {

namespace {

constexpr const char* kHead =
    "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<style>body{font:1.3rem/1.5 -apple-system,system-ui,sans-serif;margin:0;padding:1.5rem;color:#111;"
    "background:#fff}h1{font-size:1.7rem;margin:0 0 1rem}h2{font-size:1.3rem;margin:1.5rem 0 .3rem}"
    "a.get{display:block;padding:1.2rem;border-radius:.7rem;background:#1a5fb4;color:#fff;text-align:center;"
    "font-size:1.5rem;font-weight:bold;text-decoration:none}p{margin:.3rem 0}.warn{color:#a51d2d}</style>\n";
constexpr const char* kIphoneSteps = "Open the download in Files, tap Share, then Use as Ringtone (iOS 26 or later).";
// Older iPhones make a ringtone of a song in GarageBand, which lists it for texts and alarms too.
constexpr const char* kGarageBandSteps =
    "<h2>On iOS 18 or earlier</h2>\n<p>In GarageBand, start an Audio Recorder song, tap the loop button, then Files, "
    "and drag the download onto a track. Then in My Songs touch and hold the song, tap Share, then Ringtone, and "
    "Export.</p>\n";
// Where each kind of sound is chosen once the phone has it, as HTML.
struct KindSteps {
    std::string_view kind;
    const char* android;
    const char* iphone;  // after "Use as Ringtone"; "" when that is all
};

constexpr KindSteps kKindSteps[] = {
    {"ringtone", "Open Settings \xE2\x80\xBA Sound \xE2\x80\xBA Phone ringtone, tap + and choose the download.", ""},
    {"notification",
     "Open Settings \xE2\x80\xBA Sound \xE2\x80\xBA Default notification sound, tap + and choose the download.",
     " Then choose it for texts in Settings \xE2\x80\xBA Sounds &amp; Haptics \xE2\x80\xBA Text Tone."},
    {"alarm", "Open the Clock app, tap an alarm, tap its sound, then + and choose the download.",
     " Then choose it in the Clock app: tap an alarm, then Sound, and pick it under Ringtones."},
};

const KindSteps& stepsFor(std::string_view kind)
{
    const auto* found = std::find_if(std::begin(kKindSteps), std::end(kKindSteps),
                                     [kind](const KindSteps& entry) { return entry.kind == kind; });
    return found == std::end(kKindSteps) ? kKindSteps[0] : *found;
}

std::string minutesSeconds(std::int64_t ms)
{
    const std::int64_t seconds = (std::max<std::int64_t>(ms, 0) + 500) / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

bool mentions(std::string_view userAgent, std::initializer_list<std::string_view> names)
{
    for (const std::string_view name : names) {
        if (userAgent.find(name) != std::string_view::npos)
            return true;
    }
    return false;
}

}  // namespace

std::string partCaption(const ClipDescription& part)
{
    const std::string title = part.songTitle.empty() ? std::string(part.kind->label) : part.songTitle;
    return title + " \xC2\xB7 " + minutesSeconds(part.startMs) + "\xE2\x80\x93" +
           minutesSeconds(std::int64_t{part.startMs} + part.lengthMs);
}

std::string phonePage(const ClipDescription& part, std::string_view userAgent)
{
    const bool iphone = mentions(userAgent, {"iPhone", "iPad", "iPod"});
    const bool android = !iphone && mentions(userAgent, {"Android"});
    const std::string caption = base::htmlEscape(partCaption(part));
    const std::string noun(part.kind->noun);
    const KindSteps& steps = stepsFor(part.kind->id);
    std::string page = kHead;
    page += "<title>" + caption + "</title></head>\n<body><h1>" + caption + "</h1>\n";
    // Relative to the page's own address, which ends with the token and a slash.
    page += "<a class=\"get\" href=\"" + std::string(kClipName) + "\" download>Download the " + noun + "</a>\n";
    if (!android) {
        page += "<h2>On an iPhone</h2>\n";
        if (part.lengthMs > base::kIphoneLongestPartMs)
            page += "<p class=\"warn\">This " + noun +
                    " is longer than 30 seconds, too long for an iPhone: make a shorter part in Quillon.</p>\n";
        else
            page += std::string("<p>") + kIphoneSteps + steps.iphone + "</p>\n" + kGarageBandSteps;
    }
    if (!iphone)
        page += std::string("<h2>On Android</h2>\n<p>") + steps.android + "</p>\n";
    page += "</body></html>\n";
    return page;
}

}  // namespace quillon::delivery
