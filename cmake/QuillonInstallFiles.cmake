# Runs at install time (inside cmake_install.cmake). Places, under the prefix:
#   <data>/quillon/                the app folder, with an empty res/tmp of the user's own
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

# The clips that runs of the build left in res/tmp stay behind.
file(INSTALL "${QUILLON_BUILT_APP}/" DESTINATION "${app}" USE_SOURCE_PERMISSIONS REGEX "/res/tmp/." EXCLUDE)

# The link names the final place, never the DESTDIR staging one: exeDir follows it.
file(REMOVE_RECURSE "${staging}")
file(MAKE_DIRECTORY "${staging}")
file(CREATE_LINK "${app}/quillon" "${staging}/quillon" SYMBOLIC)
file(INSTALL "${staging}/quillon" DESTINATION "${bin}")

quillon_exec_quoted(QUILLON_DESKTOP_EXEC "${bin}/quillon")
string(REPLACE "\\" "\\\\" QUILLON_DESKTOP_TRYEXEC "${bin}/quillon")
configure_file("${QUILLON_SOURCE_DATA}/${QUILLON_APP_ID}.desktop.in" "${staging}/${QUILLON_APP_ID}.desktop" @ONLY)
file(INSTALL "${staging}/${QUILLON_APP_ID}.desktop" DESTINATION "${data}/applications")

file(INSTALL "${QUILLON_BUILT_DATA}/icons/hicolor" DESTINATION "${data}/icons")
file(INSTALL "${QUILLON_ICON_SVG}" DESTINATION "${data}/icons/hicolor/scalable/apps" RENAME "${QUILLON_APP_ID}.svg")
file(INSTALL "${QUILLON_SOURCE_DATA}/${QUILLON_APP_ID}.metainfo.xml" DESTINATION "${data}/metainfo")
file(INSTALL "${QUILLON_SOURCE_DATA}/quillon.1" DESTINATION "${man}/man1")
