# The kinds of sound a clip is made for, stated once. Each entry is
#   id|label|noun|longest part|default part|default fade-in|default fade-out|longest fade|length presets|phone folder
# in milliseconds (presets comma-separated); every part lasts at least
# QUILLON_SHORTEST_PART_MS. The id is what pages pass to the host and the word
# that names the file ("<song> <id>.mp3"); the noun is what texts call such a
# file ("Download the alarm sound"); the phone folder is where a phone plugged in
# keeps such sounds; the first kind is the one chosen first. The
# host's limits (base/clip_kinds.h) and the pages' choice (res/clip_kinds.js) are
# generated from this list.
include(${CMAKE_CURRENT_LIST_DIR}/QuillonSplitEntry.cmake)

set(QUILLON_CLIP_KINDS
  "ringtone|Ringtone|ringtone|60000|30000|1000|1000|5000|15000,20000,30000,40000|Ringtones"
  "notification|Notification|notification sound|5000|3000|0|300|2000|1000,2000,3000,5000|Notifications"
  "alarm|Alarm|alarm sound|60000|30000|10000|1000|30000|20000,30000,45000,60000|Alarms")

set(QUILLON_SHORTEST_PART_MS 1000)
# iPhones take tones under 30 s only; a part of exactly this long gives a file just
# under it.
set(QUILLON_IPHONE_LONGEST_PART_MS 30000)

set(QUILLON_CLIP_KINDS_CPP)
set(QUILLON_CLIP_KINDS_JS)
foreach(entry IN LISTS QUILLON_CLIP_KINDS)
  quillon_split_entry("${entry}" id label noun longest length fade_in fade_out longest_fade presets phone_folder)
  list(APPEND QUILLON_CLIP_KINDS_CPP
    "{\"${id}\", \"${label}\", \"${noun}\", ${longest}, ${length}, ${fade_in}, ${fade_out}, ${longest_fade}, \"${phone_folder}\"}")
  list(APPEND QUILLON_CLIP_KINDS_JS
    "{ id: \"${id}\", label: \"${label}\", noun: \"${noun}\", longestMs: ${longest}, lengthMs: ${length}, fadeInMs: ${fade_in}, fadeOutMs: ${fade_out}, longestFadeMs: ${longest_fade}, presetsMs: [${presets}] }")
endforeach()
string(JOIN ",\n    " QUILLON_CLIP_KINDS_CPP ${QUILLON_CLIP_KINDS_CPP})
string(JOIN ",\n  " QUILLON_CLIP_KINDS_JS ${QUILLON_CLIP_KINDS_JS})
