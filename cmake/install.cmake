# What a build makes beside the programs and what `cmake --install` puts where: the default show,
# man pages, the desktop entry, icons, AppStream metadata and docs, laid out by GNUInstallDirs
# and relative to the prefix alone, so that an installed tree can be moved. Also the Debian
# package (cpack -G DEB).
include(GNUInstallDirs)

# The default show, made by the show's own tools as `./quab run` makes content/: run from the
# build folder, the programs find these two.
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/quab.dat ${CMAKE_BINARY_DIR}/music.xm
    COMMAND quab-assets build ${CMAKE_BINARY_DIR}/quab.dat >/dev/null
    COMMAND quab-music ${CMAKE_BINARY_DIR}/music.xm >/dev/null
    DEPENDS quab-assets quab-music
    COMMENT "Making the default show (quab.dat, music.xm)")
add_custom_target(quab_default_show ALL DEPENDS ${CMAKE_BINARY_DIR}/quab.dat
                                                ${CMAKE_BINARY_DIR}/music.xm)

# The programs people run, and what `./quab run` builds: them and the default show.
set(QUAB_PROGRAMS xdemo vgademo quab-play quab-export quab-check quab-render quab-assets quab-music
                  quab-console-reset)
add_custom_target(programs)
add_dependencies(programs ${QUAB_PROGRAMS} quab_default_show)
# quab-export's web page needs the WebAssembly build beside it: made with the programs wherever
# emcc is found, and installed where quab-export looks from an installed tree
# (share/quab/web beside bin/).
if(QUAB_WEB_BUILD)
    add_dependencies(programs quab_web)
endif()

# The release's date (the man pages' and AppStream's). The package writes the version the
# programs name (cmake/version.cmake) the way Debian sorts it: a letter after the number marks a
# pre-release, and Debian writes it after a "~" so that it sorts below the release itself.
string(REGEX REPLACE "^([0-9.]+)([a-z].*)$" "\\1~\\2" QUAB_PACKAGE_VERSION ${QUAB_VERSION})
# Who answers for the package and where it lives: placeholders until the team names them, used by
# the package, the copyright file, the changelog and AppStream alike.
set(QUAB_MAINTAINER "The QUAB team <maintainers@users.noreply.c-seed-9cd635a3.example>")
set(QUAB_HOMEPAGE "https://quab.org/")
set(QUAB_RELEASE_DATE 2026-12-07)
set(QUAB_RELEASE_EPOCH 1796601600) # QUAB_RELEASE_DATE at midnight UTC
set(QUAB_APP_ID org.quab.Quab)
set(QUAB_DATA ${PROJECT_SOURCE_DIR}/data)

# Man pages: scdoc sources turned into roff, then compressed as Debian installs them.
set(QUAB_MAN_PAGES xdemo.6 vgademo.6 quab-play.6 quab-export.1 quab-check.1 quab-render.1
                   quab-assets.1 quab-music.1 quab-console-reset.1)
find_program(SCDOC scdoc)
set(man_outputs)
if(SCDOC)
    foreach(page ${QUAB_MAN_PAGES})
        set(roff ${CMAKE_BINARY_DIR}/man/${page})
        add_custom_command(
            OUTPUT ${roff} ${roff}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
            COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${QUAB_RELEASE_EPOCH}
                    sh ${QUAB_DATA}/man/build-page.sh ${QUAB_DATA}/man/${page}.scd ${roff}
            COMMAND gzip -9nf -k ${roff}
            DEPENDS ${QUAB_DATA}/man/${page}.scd ${QUAB_DATA}/man/build-page.sh
            COMMENT "Man page ${page}")
        list(APPEND man_outputs ${roff} ${roff}.gz)
        string(REGEX MATCH "[0-9]$" section ${page})
        install(FILES ${roff}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
    endforeach()
else()
    message(STATUS "Man pages left out: scdoc not found (Debian's scdoc package provides it)")
endif()
add_custom_target(quab_man_pages ALL DEPENDS ${man_outputs})

# Icons: one frame of the wobble tunnel (Scene 5), drawn by quab-render with the show's own pass
# and cut to its centre square at each size with nearest neighbour.
set(icon_dir ${CMAKE_BINARY_DIR}/icons)
set(icon_outputs)
foreach(size 48 64 128 256)
    list(APPEND icon_outputs ${icon_dir}/${size}.png)
endforeach()
add_custom_command(
    OUTPUT ${icon_outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${icon_dir}
    COMMAND ${CMAKE_COMMAND} -E echo "2900 15 20" > ${icon_dir}/timeline.txt
    COMMAND quab-render ${CMAKE_BINARY_DIR}/quab.dat ${icon_dir}/timeline.txt ${icon_dir}/frame
            >/dev/null
    COMMAND quab-icon ${icon_dir}/frame/frame_00000.raw 48 ${icon_dir}/48.png
    COMMAND quab-icon ${icon_dir}/frame/frame_00000.raw 64 ${icon_dir}/64.png
    COMMAND quab-icon ${icon_dir}/frame/frame_00000.raw 128 ${icon_dir}/128.png
    COMMAND quab-icon ${icon_dir}/frame/frame_00000.raw 256 ${icon_dir}/256.png
    DEPENDS quab-render quab-icon ${CMAKE_BINARY_DIR}/quab.dat
    COMMENT "Icons from a frame of the show")
add_custom_target(quab_icons ALL DEPENDS ${icon_outputs})
foreach(size 48 64 128 256)
    install(FILES ${icon_dir}/${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME ${QUAB_APP_ID}.png)
endforeach()

configure_file(${QUAB_DATA}/desktop/${QUAB_APP_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/${QUAB_APP_ID}.metainfo.xml @ONLY)
configure_file(${QUAB_DATA}/copyright.in ${CMAKE_BINARY_DIR}/copyright @ONLY)
configure_file(${QUAB_DATA}/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)

# What `cmake --install` puts where. The programs link only system libraries, so they carry no
# RUNPATH; the build's own paths stay out of them (see the prefix maps at the top).
install(TARGETS ${QUAB_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_BINARY_DIR}/quab.dat ${CMAKE_BINARY_DIR}/music.xm
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quab)
if(QUAB_WEB_BUILD)
    install(FILES ${CMAKE_BINARY_DIR}/web/quab.wasm ${CMAKE_BINARY_DIR}/web/page.html
                  ${CMAKE_BINARY_DIR}/web/page.js
            DESTINATION ${CMAKE_INSTALL_DATADIR}/quab/web)
endif()
install(FILES ${QUAB_DATA}/desktop/${QUAB_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/${QUAB_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/assets.md
              ${PROJECT_SOURCE_DIR}/docs/contact-sheet.png ${CMAKE_BINARY_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The Debian changelog, compressed without a time stamp as Debian's own tools do.
add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
    COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
    DEPENDS ${CMAKE_BINARY_DIR}/changelog)
add_custom_target(quab_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: `cpack -G DEB` in the build folder writes quab_<version>_<arch>.deb with
# the install above, stripped, its dependencies found by dpkg-shlibdeps from the programs.
set(CPACK_PACKAGE_NAME quab)
set(CPACK_PACKAGE_VERSION ${QUAB_PACKAGE_VERSION})
set(CPACK_PACKAGE_VENDOR "The QUAB team")
set(CPACK_PACKAGE_CONTACT ${QUAB_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audiovisual demo in step with a tracker module")
set(CPACK_PACKAGE_DESCRIPTION
    "QUAB plays a tracker module through libmikmod and, in step with its
song position, renders eight 320x240 true-colour scenes in software: a
masked twin scroll, a polar flash, a twin-light bump map, a
cycling-overlay scroll, a wobble tunnel, orbiting panels, a picture
sequence and a closing scroller.
.
It comes as quab-play (a resizable desktop window that also plays
modules of your own), xdemo (X11) and vgademo (the Linux console), with
the default show, and the tools to make a show of your own: an asset
builder, a soundtrack composer, a checker, an offline renderer and a
video exporter.")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# An audiovisual show and its tools; "games" would want the programs in /usr/games.
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# quab-assets opens DejaVu's faces at run time to draw the default show's type; ffmpeg is only
# quab-export's encoder. Neither is linked, so dpkg-shlibdeps cannot find them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ffmpeg")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${QUAB_HOMEPAGE})
set(CPACK_GENERATOR DEB)
include(CPack)
