# The audio files Quillon opens, stated once. Each entry is
#   extension|name|type the pages play it as|MIME types the desktop knows it by
# (types comma-separated, "-" when an earlier entry already declares them). Every
# place that tells of the formats is generated from this list: the file chooser,
# the desktop entry, the AppStream metadata, the package description, the manual
# page and the pages.
include(${CMAKE_CURRENT_LIST_DIR}/QuillonSplitEntry.cmake)

set(QUILLON_AUDIO_TYPES
  "mp3|MP3|audio/mpeg|audio/mpeg"
  "wma|WMA|audio/x-ms-wma|audio/x-ms-wma"
  "ogg|OGG|audio/ogg|audio/ogg,audio/x-vorbis+ogg"
  "oga|OGG|audio/ogg|-"
  "wav|WAV|audio/wav|audio/wav,audio/x-wav,audio/vnd.wave"
  "flac|FLAC|audio/flac|audio/flac,audio/x-flac"
  "m4a|M4A|audio/mp4|audio/mp4,audio/x-m4a"
  "aac|AAC|audio/aac|audio/aac,audio/x-aac"
  "opus|Opus|audio/ogg|audio/x-opus+ogg"
  "aif|AIFF|audio/aiff|audio/x-aiff,audio/aiff"
  "aiff|AIFF|audio/aiff|-")

set(QUILLON_AUDIO_EXTENSIONS)
set(QUILLON_AUDIO_MIME_TYPES)
set(QUILLON_AUDIO_NAMES)
set(QUILLON_AUDIO_EXTENSIONS_CPP)
set(QUILLON_AUDIO_PLAY_TYPES_JS)
set(QUILLON_AUDIO_MEDIATYPES_XML)
foreach(entry IN LISTS QUILLON_AUDIO_TYPES)
  quillon_split_entry("${entry}" extension name play_type mime_types)
  list(APPEND QUILLON_AUDIO_EXTENSIONS ${extension})
  list(APPEND QUILLON_AUDIO_NAMES ${name})
  list(APPEND QUILLON_AUDIO_EXTENSIONS_CPP "\"${extension}\"")
  list(APPEND QUILLON_AUDIO_PLAY_TYPES_JS "${extension}: \"${play_type}\"")
  if(NOT mime_types STREQUAL "-")
    string(REPLACE "," ";" mime_types "${mime_types}")
    list(APPEND QUILLON_AUDIO_MIME_TYPES ${mime_types})
  endif()
endforeach()
list(REMOVE_DUPLICATES QUILLON_AUDIO_NAMES)
foreach(type IN LISTS QUILLON_AUDIO_MIME_TYPES)
  string(APPEND QUILLON_AUDIO_MEDIATYPES_XML "    <mediatype>${type}</mediatype>\n")
endforeach()
# The desktop entry's MimeType value: each type followed by a semicolon.
string(JOIN ";" QUILLON_AUDIO_MIME_TYPES_DESKTOP ${QUILLON_AUDIO_MIME_TYPES})
string(APPEND QUILLON_AUDIO_MIME_TYPES_DESKTOP ";")
string(JOIN ", " QUILLON_AUDIO_EXTENSIONS_CPP ${QUILLON_AUDIO_EXTENSIONS_CPP})
string(JOIN ", " QUILLON_AUDIO_PLAY_TYPES_JS ${QUILLON_AUDIO_PLAY_TYPES_JS})

# "MP3, WMA, OGG or AIFF" (conjunction "or") or "... and AIFF" (conjunction "and").
function(quillon_audio_names out conjunction)
  set(names ${QUILLON_AUDIO_NAMES})
  list(POP_BACK names last)
  string(JOIN ", " text ${names})
  set(${out} "${text} ${conjunction} ${last}" PARENT_SCOPE)
endfunction()
quillon_audio_names(QUILLON_AUDIO_NAMES_OR or)
quillon_audio_names(QUILLON_AUDIO_NAMES_AND and)
