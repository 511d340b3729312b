# Runs at install time (inside cmake_install.cmake). Places, under the prefix:
#   <data>/quillon/                the app folder, with an empty res/tmp of the user's own
#                                  (package mode: <prefix>/lib/quillon/, without res/tmp, stripped,
#                                  and the copyright and changelog under <data>/doc/quillon/)
#   <bin>/quillon                  the launcher: a symbolic link to the app folder's quillon
#   <data>/applications/           the desktop entry, which declares the audio types
#   <data>/icons/hicolor/          the icon, scalable and in PNG sizes
#   <data>/metainfo/               the AppStream metadata
#   <man>/man1/quillon.1           the manual page
# <data> is QUILLON_DATA_HOME when the caller sets it (scripts/install passes the
# user's data folder), else the prefix's data folder. Every file goes through
# file(INSTALL), so it honours DESTDIR and lands in install_manifest.txt.

function(quillon_under_prefix out path)
  if(IS_ABSOLUTE "${path}")
    set(${out} "${path}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${path}" PARENT_SCOPE)
  endif()
endfunction()

# Exec quotes the program path and escapes ", `, $ and \ inside the quotes; the
# desktop file's string escapes then double every backslash, and % is doubled
# because it starts a field code.
function(quillon_exec_quoted out path)
  string(REPLACE "\\" "\\\\" quoted "${path}")
  string(REPLACE "\"" "\\\"" quoted "${quoted}")
  string(REPLACE "`" "\\`" quoted "${quoted}")
  string(REPLACE "$" "\\$" quoted "${quoted}")
  string(REPLACE "\\" "\\\\" quoted "${quoted}")
  string(REPLACE "%" "%%" quoted "${quoted}")
  set(${out} "\"${quoted}\"" PARENT_SCOPE)
endfunction()

if(DEFINED QUILLON_DATA_HOME AND NOT QUILLON_DATA_HOME STREQUAL "")
  set(data "${QUILLON_DATA_HOME}")
else()
  quillon_under_prefix(data "${QUILLON_DATADIR}")
endif()
quillon_under_prefix(bin "${QUILLON_BINDIR}")
quillon_under_prefix(man "${QUILLON_MANDIR}")
set(app "${data}/quillon")
set(staging "${QUILLON_BUILT_DATA}/staging")

# The clips that runs of the build left in res/tmp stay behind. A system app
# folder has no res/tmp at all: each user's temporary folder is in their cache.
if(QUILLON_PACKAGE)
  quillon_under_prefix(app "lib/quillon")
  file(INSTALL "${QUILLON_BUILT_APP}/" DESTINATION "${app}" USE_SOURCE_PERMISSIONS REGEX "/res/tmp$" EXCLUDE)
else()
  file(INSTALL "${QUILLON_BUILT_APP}/" DESTINATION "${app}" USE_SOURCE_PERMISSIONS REGEX "/res/tmp/." EXCLUDE)
endif()

# The link names the final place, never the DESTDIR staging one: exeDir follows
# it. Within the one tree of a package it is relative, as Debian asks.
file(REMOVE_RECURSE "${staging}")
file(MAKE_DIRECTORY "${staging}")
set(target "${app}/quillon")
if(QUILLON_PACKAGE)
  file(RELATIVE_PATH target "${bin}" "${target}")
endif()
file(CREATE_LINK "${target}" "${staging}/quillon" SYMBOLIC)
file(INSTALL "${staging}/quillon" DESTINATION "${bin}")

quillon_exec_quoted(QUILLON_DESKTOP_EXEC "${bin}/quillon")
string(REPLACE "\\" "\\\\" QUILLON_DESKTOP_TRYEXEC "${bin}/quillon")
configure_file("${QUILLON_SOURCE_DATA}/${QUILLON_APP_ID}.desktop.in" "${staging}/${QUILLON_APP_ID}.desktop" @ONLY)
file(INSTALL "${staging}/${QUILLON_APP_ID}.desktop" DESTINATION "${data}/applications")

file(INSTALL "${QUILLON_BUILT_DATA}/icons/hicolor" DESTINATION "${data}/icons")
file(INSTALL "${QUILLON_ICON_SVG}" DESTINATION "${data}/icons/hicolor/scalable/apps" RENAME "${QUILLON_APP_ID}.svg")
file(INSTALL "${QUILLON_BUILT_DATA}/${QUILLON_APP_ID}.metainfo.xml" DESTINATION "${data}/metainfo")
if(NOT QUILLON_PACKAGE)
  file(INSTALL "${QUILLON_BUILT_DATA}/quillon.1" DESTINATION "${man}/man1")
  return()
endif()

# Package mode: what Debian's tools would do to a package's files.
function(quillon_gzip source target)
  execute_process(COMMAND gzip -9nc INPUT_FILE "${source}" OUTPUT_FILE "${target}" COMMAND_ERROR_IS_FATAL ANY)
endfunction()
quillon_gzip("${QUILLON_BUILT_DATA}/quillon.1" "${staging}/quillon.1.gz")
file(INSTALL "${staging}/quillon.1.gz" DESTINATION "${man}/man1")
configure_file("${QUILLON_SOURCE_DATA}/changelog.in" "${staging}/changelog" @ONLY)
quillon_gzip("${staging}/changelog" "${staging}/changelog.gz")
file(INSTALL "${staging}/changelog.gz" "${QUILLON_SOURCE_DATA}/copyright" DESTINATION "${data}/doc/quillon")
if(CMAKE_INSTALL_DO_STRIP AND QUILLON_STRIP)
  foreach(binary "quillon" "webext/libquillon-external.so")
    execute_process(COMMAND "${QUILLON_STRIP}" --strip-unneeded --remove-section=.comment --remove-section=.note
      "$ENV{DESTDIR}${app}/${binary}" COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endif()
