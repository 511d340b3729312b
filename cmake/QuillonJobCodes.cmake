# How the pages tell a job's status, stated once. Each job is
#   id|status member|running values
# where the running values are a range "first-last" or a comma-separated list:
# any other value is an end. Each end with a meaning of its own is
#   job|code|C++ constant|meaning (the README's table)|words (what the pages say)
# and every end at or over 200 (a failure) has its words. Where the status alone
# cannot say why a job failed, the host names the reason (the transcode's
# DTE_tsReason), each
#   job|reason|C++ constant|words (none: the pages give the job's general failure text)
# The host's constants (base/job_codes.h), the pages' list (res/job_codes.js) and
# the README's table of each job's failures (QUILLON_JOB_TABLE_<job>, which ctest
# job_codes looks for in the README) come from these lists.
include(${CMAKE_CURRENT_LIST_DIR}/QuillonSplitEntry.cmake)

set(QUILLON_JOBS
  "rip|DTE_ripStatus|0-99"
  "waveform|DTE_wfStatus|0-99"
  "transcode|DTE_tsStatus|0"
  "request|DTE_xhStatus|0"
  "normalize|DTE_norStatus|0-99"
  "upload|DTE_upStatus|0-99"
  "serve|DTE_svStatus|1,100"
  "firewall|DTE_fwStatus|1,3"
  "phones|DTE_phStatus|1"
  "share|DTE_shStatus|1"
  "bluetoothPhones|DTE_blStatus|1"
  "bluetooth|DTE_btStatus|1"
  "copy|DTE_cpStatus|1")

set(QUILLON_JOB_ENDS
  "rip|100|kRipDone|the track is copied"
  "rip|201|kRipBadDrive|the drive index is outside the drive list|The CD drive is no longer there. Check the drive and try again."
  "rip|202|kRipNoHandle|no handle could be had for the drive|The CD drive could not be opened. Another program may be using it."
  "rip|203|kRipNoToc|no disc, or its table of contents cannot be read|There is no disc in the drive, or it cannot be read."
  "rip|204|kRipBadTrack|the track index is outside the disc's tracks|This track is no longer on the disc. Was the CD changed?"
  "rip|205|kRipSingleTrack|the disc's only track is a data track|This disc has no audio tracks to copy."
  "rip|206|kRipDataTrack|the track is a data track|This is a data track, not music."
  "rip|207|kRipNoBuffer|the read buffer cannot be allocated|There was not enough memory to copy the track."
  "rip|208|kRipFileFailed|the output cannot be created or written, or is not a regular file (a link, a device, a pipe, a folder)|The copy could not be saved: the disk may be full or the folder read-only."
  "rip|209|kRipReadFailed|a chunk failed all three read attempts|Part of the track could not be read. Clean the disc and try again."
  "rip|210|kRipStopped|stopped by `DTE_BreakAsyncOperation`, or overtaken by a newer rip|Copying was stopped."
  "rip|211|kRipDiscChanged|the disc was changed or taken out during the copy: the file keeps only its header (data size 0)|The disc was changed or taken out while it was copied, so nothing was kept. Put the disc back in and try again."
  "normalize|100|kNormalizeDone|the clip is levelled"
  "normalize|201|kNormalizeRemovingTagsFailed|the first step (removing the gain tool's tags) failed|The clip's old volume information could not be removed."
  "normalize|202|kNormalizeLevelingFailed|the second step (the track gain) failed|The loudness of the clip could not be measured and levelled."
  "normalize|203|kNormalizeRaisingFailed|the third step (the steps to the clips' loudness) failed|The final volume lift could not be applied to the clip.")

set(QUILLON_JOB_REASONS
  "transcode|missing|kReasonMissing|The music file is not there any more: it may have been moved, renamed or deleted. Please pick it again."
  "transcode|unreadable|kReasonUnreadable|The music file cannot be opened. Check that you may read it, or pick another file."
  "transcode|same-file|kReasonSameFile|The clip would have been written over the music itself, so nothing was done. Please pick the music from another folder."
  "transcode|disk-full|kReasonDiskFull|There is no room left on the disk for the clip. Free some space, then try again."
  "transcode|no-output|kReasonNoOutput|The converter finished but made no clip: a part that starts past the end of the song holds no sound. Please choose the part again, or try again; if it happens again, the disk may be full."
  "transcode|no-folder|kReasonNoFolder|The folder Quillon keeps its clips in is gone: it may have been deleted while Quillon was open. Please restart Quillon."
  "transcode|unwritable|kReasonUnwritable|The clip cannot be written where Quillon keeps its clips: something else is in its place. Please restart Quillon."
  "transcode|killed|kReasonKilled|The converter was stopped before it finished, perhaps because the computer ran short of memory. Please try again."
  "transcode|no-encoder|kReasonNoEncoder|The converter (ffmpeg) could not be started. Please reinstall Quillon."
  "transcode|damaged|kReasonDamaged")

set(QUILLON_JOB_CODES_CPP)
set(QUILLON_JOBS_JS)
foreach(job_entry IN LISTS QUILLON_JOBS)
  quillon_split_entry("${job_entry}" job member running)
  if(running MATCHES "^([0-9]+)-([0-9]+)$")
    set(running_js "{ from: ${CMAKE_MATCH_1}, to: ${CMAKE_MATCH_2} }")
  else()
    set(running_js "[${running}]")
  endif()
  set(words)
  set(rows "")
  foreach(end_entry IN LISTS QUILLON_JOB_ENDS)
    quillon_split_entry("${end_entry}" end_job code constant meaning text)
    if(NOT end_job STREQUAL job)
      continue()
    endif()
    if(code GREATER_EQUAL 200 AND text STREQUAL "")
      message(FATAL_ERROR "${job} ends with ${code} but the pages have no words for it")
    endif()
    list(APPEND QUILLON_JOB_CODES_CPP "inline constexpr std::int32_t ${constant} = ${code}")
    if(code GREATER_EQUAL 200)
      string(APPEND rows "| ${code} | ${meaning} |\n")
    endif()
    if(NOT text STREQUAL "")
      string(REPLACE "\"" "\\\"" text "${text}")
      list(APPEND words "${code}: \"${text}\"")
    endif()
  endforeach()
  string(JOIN ", " words ${words})
  if(NOT words STREQUAL "")
    set(words " ${words} ")
  endif()
  set(QUILLON_JOB_TABLE_${job} "")
  if(NOT rows STREQUAL "")
    set(QUILLON_JOB_TABLE_${job} "| Code | Meaning |\n|---|---|\n${rows}")
  endif()
  set(reasons)
  foreach(reason_entry IN LISTS QUILLON_JOB_REASONS)
    quillon_split_entry("${reason_entry}" reason_job reason constant text)
    if(NOT reason_job STREQUAL job)
      continue()
    endif()
    list(APPEND QUILLON_JOB_CODES_CPP "inline constexpr std::string_view ${constant} = \"${reason}\"")
    if(NOT text STREQUAL "")
      string(REPLACE "\"" "\\\"" text "${text}")
      list(APPEND reasons "\"${reason}\": \"${text}\"")
    endif()
  endforeach()
  set(reasons_js "")
  if(reasons)
    string(JOIN ",\n      " reasons ${reasons})
    set(reasons_js ",\n    reasons: {\n      ${reasons}\n    }")
  endif()
  list(APPEND QUILLON_JOBS_JS "${job}: { member: \"${member}\", running: ${running_js}, words: {${words}}${reasons_js} }")
endforeach()
string(JOIN ";\n" QUILLON_JOB_CODES_CPP ${QUILLON_JOB_CODES_CPP})
string(JOIN ",\n  " QUILLON_JOBS_JS ${QUILLON_JOBS_JS})
