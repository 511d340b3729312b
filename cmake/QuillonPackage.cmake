# The Debian package, built by scripts/package in a build configured with
# QUILLON_PACKAGE=ON and the prefix /usr. CPack runs the same install rules as
# `cmake --install` and scripts/install; the package mode of QuillonInstallFiles
# puts the app folder under /usr/lib/quillon, shared by all users and read-only
# (so without res/tmp), strips it, and adds the documents Debian asks for.
option(QUILLON_PACKAGE "Install as a system package: app folder in <prefix>/lib/quillon" OFF)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillon developers <developers@quillon.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn a piece of music into a ringtone clip for a phone")
# Lines under 80 characters, as the package's tools ask.
set(CPACK_PACKAGE_DESCRIPTION "Quillon makes a short MP3 clip from an audio file
(${QUILLON_AUDIO_NAMES_OR})
or from a track of an audio CD, levels its loudness, and puts it on a mobile
phone: over the Wi-Fi, as a saved copy, to a paired phone or through an online
service.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from what the executable and the extension link; the two
# tools are run as programs, so no library tells of them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg, mp3gain")
# GVFS shows a phone plugged in by USB as a place "Save a copy" can write to.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "gvfs-backends")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The install rules name places under the prefix (the launcher's link target, the
# desktop entry's Exec): the prefix must be the final /usr, with the staging
# folder given as DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
include(CPack)
