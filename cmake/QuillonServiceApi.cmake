# What the program, its pages and the online service agree on, stated once: the
# service's paths, each
#   C++ constant|name (what the pages call it)|path
# and the reasons it refuses a request with ("ERROR <reason>"), each
#   C++ constant|HTTP status|reason|the clip's own (1: sending it again cannot help)|words (what the pages say)
# A reason without words is shown to the user as the service says it. The host's
# constants (base/service_api.h) and the pages' list (res/service_api.js) come
# from these lists.
include(${CMAKE_CURRENT_LIST_DIR}/QuillonSplitEntry.cmake)

set(QUILLON_SERVICE_PATHS
  "kServiceSessionPath|session|/cgi-bin/dte_session.cgi"
  "kServiceUploadPath|upload|/cgi-bin/dte_upload2.cgi"
  "kServiceStatusPath|status|/cgi-bin/dte_status.cgi"
  "kServiceRedirectPath|redirect|/redir.php")

set(QUILLON_SERVICE_REFUSALS
  "kRefusedMissingPhone|400|missing phone|0|Please enter the phone number."
  "kRefusedPhoneNumber|400|invalid phone number|0|The service did not accept this phone number. Use digits only, with the country code."
  "kRefusedMissingNetwork|400|missing network|0|Please choose the phone's network."
  "kRefusedParameters|400|invalid parameters|0|The service did not accept the phone details."
  "kRefusedUnknownSession|404|unknown session|0|The service has forgotten this sending. Please try again."
  "kRefusedTooLarge|413|clip too large|1|The clip is too large for the service. A shorter part or other music will fit."
  "kRefusedNotMpeg|415|not MPEG audio|1|The service did not accept the clip as MP3 audio. Please try other music."
  "kRefusedEmptyClip|400|empty clip|1|The service received an empty clip. Please make the clip again."
  "kRefusedIncomplete|400|incomplete upload|0"
  "kRefusedNotStored|500|cannot store clip|0"
  "kRefusedNoSuchClip|404|no such clip|0"
  "kRefusedNotRead|500|cannot read clip|0"
  "kRefusedMissingWhere|400|missing where|0")

set(QUILLON_SERVICE_API_CPP)
set(QUILLON_SERVICE_PATHS_JS)
foreach(entry IN LISTS QUILLON_SERVICE_PATHS)
  quillon_split_entry("${entry}" constant name path)
  list(APPEND QUILLON_SERVICE_API_CPP "inline constexpr const char* ${constant} = \"${path}\"")
  list(APPEND QUILLON_SERVICE_PATHS_JS "${name}: \"${path}\"")
endforeach()
set(QUILLON_SERVICE_REFUSALS_JS)
foreach(entry IN LISTS QUILLON_SERVICE_REFUSALS)
  quillon_split_entry("${entry}" constant status reason own words)
  list(APPEND QUILLON_SERVICE_API_CPP "inline constexpr ServiceRefusal ${constant}{${status}, \"${reason}\"}")
  set(clips_own false)
  if(own)
    set(clips_own true)
  endif()
  string(REPLACE "\"" "\\\"" words "${words}")
  list(APPEND QUILLON_SERVICE_REFUSALS_JS "\"${reason}\": { words: \"${words}\", clipsOwn: ${clips_own} }")
endforeach()
string(JOIN ";\n" QUILLON_SERVICE_API_CPP ${QUILLON_SERVICE_API_CPP})
string(JOIN ", " QUILLON_SERVICE_PATHS_JS ${QUILLON_SERVICE_PATHS_JS})
string(JOIN ",\n    " QUILLON_SERVICE_REFUSALS_JS ${QUILLON_SERVICE_REFUSALS_JS})
