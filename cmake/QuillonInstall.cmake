# Desktop integration and install rules. The PNG icons are rendered from the
# app's SVG at build time; everything else is placed at install time by
# QuillonInstallFiles.cmake, so that `cmake --install <build> --prefix <p>` and
# scripts/install (which also names the data folder) put the same things in place.
include(GNUInstallDirs)

set(QUILLON_APP_ID org.quillon.Quillon)
set(QUILLON_ICON_SVG ${PROJECT_SOURCE_DIR}/res/quillon.svg)
set(QUILLON_BUILT_DATA ${CMAKE_BINARY_DIR}/data)

# rsvg-convert renders the SVG at each exact pixel size; ImageMagick, already
# needed by the tests, stands in where it is missing.
find_program(QUILLON_RSVG_CONVERT rsvg-convert)
find_program(QUILLON_IMAGEMAGICK_CONVERT convert)
if(NOT QUILLON_RSVG_CONVERT AND NOT QUILLON_IMAGEMAGICK_CONVERT)
  message(FATAL_ERROR "Rendering the icons needs rsvg-convert (librsvg2-bin) or ImageMagick")
endif()

set(QUILLON_ICONS)
foreach(size 16 22 24 32 48 64 128 256)
  set(folder ${QUILLON_BUILT_DATA}/icons/hicolor/${size}x${size}/apps)
  set(png ${folder}/${QUILLON_APP_ID}.png)
  if(QUILLON_RSVG_CONVERT)
    set(render ${QUILLON_RSVG_CONVERT} --width ${size} --height ${size} --keep-aspect-ratio -o ${png} ${QUILLON_ICON_SVG})
  else()
    set(render ${QUILLON_IMAGEMAGICK_CONVERT} -background none -density 384 ${QUILLON_ICON_SVG}
      -resize ${size}x${size} PNG32:${png})
  endif()
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${render}
    DEPENDS ${QUILLON_ICON_SVG} VERBATIM)
  list(APPEND QUILLON_ICONS ${png})
endforeach()
add_custom_target(quillon_icons ALL DEPENDS ${QUILLON_ICONS})

# The metadata and the manual page state the version and the audio formats.
configure_file(${PROJECT_SOURCE_DIR}/data/${QUILLON_APP_ID}.metainfo.xml.in ${QUILLON_BUILT_DATA}/${QUILLON_APP_ID}.metainfo.xml
  @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/data/quillon.1.in ${QUILLON_BUILT_DATA}/quillon.1 @ONLY)

# What the install-time script needs to know about this build.
install(CODE "
  set(QUILLON_APP_ID \"${QUILLON_APP_ID}\")
  set(QUILLON_BUILT_APP \"${QUILLON_APP_DIR}\")
  set(QUILLON_BUILT_DATA \"${QUILLON_BUILT_DATA}\")
  set(QUILLON_SOURCE_DATA \"${PROJECT_SOURCE_DIR}/data\")
  set(QUILLON_ICON_SVG \"${QUILLON_ICON_SVG}\")
  set(QUILLON_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(QUILLON_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
  set(QUILLON_MANDIR \"${CMAKE_INSTALL_MANDIR}\")
  set(QUILLON_PACKAGE \"${QUILLON_PACKAGE}\")
  set(QUILLON_STRIP \"${CMAKE_STRIP}\")
  set(QUILLON_VERSION \"${PROJECT_VERSION}\")
  set(QUILLON_AUDIO_MIME_TYPES_DESKTOP \"${QUILLON_AUDIO_MIME_TYPES_DESKTOP}\")
")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/QuillonInstallFiles.cmake)
