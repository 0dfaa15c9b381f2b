# Install layout and the Debian package. The program, sc.reg and the help pages come first; the
# desktop integration (entry, icons, AppStream data, manual page) follows the freedesktop.org
# layout under the prefix, so the same rules serve `cmake --install` into any prefix and CPack.
include(GNUInstallDirs)

set(ORVALIS_APP_ID "com.vantrel.Orvalis") # desktop entry, icon and AppStream id
set(ORVALIS_SUMMARY "Contrast transfer function of a transmission electron microscope")
# One paragraph, lines of at most 80 characters (the Debian package shows it as it stands).
set(ORVALIS_DESCRIPTION "Orvalis shows the phase contrast transfer function of a transmission electron
microscope for the instrument and the aberrations you set (defocus, two-fold
and three-fold astigmatism, convergence): as a 1D chart with its temporal,
spatial and combined envelopes, as a 2D grey-level pattern over the frequency
plane and as a defocus map, and tells you the Scherzer defocus, the point
resolution and the information limit. A library of microscopes, seeded with
typical instruments of eight classes, is kept in a per-user settings store.
Curves and pictures are saved as text tables, bitmaps, SVG, PDF and metafiles.")
set(ORVALIS_LICENSE "LicenseRef-proprietary" CACHE STRING "SPDX licence expression of the program")
set(ORVALIS_LICENSE_TEXT "All rights reserved. No licence to copy, modify or distribute this program has been granted."
    CACHE STRING "Licence text for the package's copyright file (one paragraph)")
set(ORVALIS_SCREENSHOT_URL "" CACHE STRING
    "Web address where the repository's docs/ folder is published; AppStream lists no screenshots when empty")
set(ORVALIS_MAINTAINER "Orvalis packagers <packagers@vantrel.invalid>" CACHE STRING
    "Maintainer of the Debian package, \"Name <address>\"")

set(data_dir "${CMAKE_SOURCE_DIR}/data")
set(gen_dir "${CMAKE_BINARY_DIR}/packaging")
set(share_dir "${CMAKE_INSTALL_DATADIR}/orvalis")

# The shipped data: sc.reg is installed beside the program's target (src/app); the help pages.
install(DIRECTORY "${data_dir}/help/" DESTINATION "${share_dir}/help" OPTIONAL)

# Icon: the scalable source and the PNG sizes in data/icons/hicolor/<size>/apps/, each installed into
# the hicolor theme under the desktop entry's id.
file(GLOB icon_svg CONFIGURE_DEPENDS "${data_dir}/icons/orvalis.svg")
if(icon_svg)
  install(FILES ${icon_svg} DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps"
          RENAME "${ORVALIS_APP_ID}.svg")
endif()
file(GLOB icon_pngs CONFIGURE_DEPENDS "${data_dir}/icons/hicolor/*/apps/orvalis.png")
foreach(png IN LISTS icon_pngs)
  file(RELATIVE_PATH size_dir "${data_dir}/icons/hicolor" "${png}")
  string(REGEX REPLACE "/.*" "" size_dir "${size_dir}")
  install(FILES "${png}" DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size_dir}/apps"
          RENAME "${ORVALIS_APP_ID}.png")
endforeach()

# Desktop entry.
configure_file("${data_dir}/orvalis.desktop.in" "${gen_dir}/${ORVALIS_APP_ID}.desktop" @ONLY)
install(FILES "${gen_dir}/${ORVALIS_APP_ID}.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")

# AppStream metadata. Screenshots need a web address; the pictures themselves live in docs/.
set(ORVALIS_METAINFO_URLS "")
if(ORVALIS_HOMEPAGE)
  string(APPEND ORVALIS_METAINFO_URLS "  <url type=\"homepage\">${ORVALIS_HOMEPAGE}</url>\n")
endif()
set(ORVALIS_SCREENSHOTS # file in docs/ | caption
    "main-window.png|The 1D transfer function with its envelopes, the 2D pattern and the defocus map"
    "plotter-mode.png|Two instruments compared in plotter mode")
set(ORVALIS_METAINFO_SCREENSHOTS "")
if(ORVALIS_SCREENSHOT_URL)
  set(kind " type=\"default\"")
  foreach(entry IN LISTS ORVALIS_SCREENSHOTS)
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 file)
    list(GET entry 1 caption)
    if(EXISTS "${CMAKE_SOURCE_DIR}/docs/${file}")
      string(APPEND ORVALIS_METAINFO_SCREENSHOTS
             "    <screenshot${kind}>\n      <caption>${caption}</caption>\n"
             "      <image>${ORVALIS_SCREENSHOT_URL}/${file}</image>\n    </screenshot>\n")
      set(kind "")
    endif()
  endforeach()
  if(ORVALIS_METAINFO_SCREENSHOTS)
    set(ORVALIS_METAINFO_SCREENSHOTS "  <screenshots>\n${ORVALIS_METAINFO_SCREENSHOTS}  </screenshots>\n")
  endif()
endif()
configure_file("${data_dir}/orvalis.metainfo.xml.in" "${gen_dir}/${ORVALIS_APP_ID}.metainfo.xml" @ONLY)
install(FILES "${gen_dir}/${ORVALIS_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")

# Manual page, compressed as Debian wants it (gzip -n: no time stamp, the same bytes on every build).
configure_file("${data_dir}/orvalis.1.in" "${gen_dir}/orvalis.1" @ONLY)
add_custom_command(OUTPUT "${gen_dir}/orvalis.1.gz"
                   COMMAND gzip -9 -n -c "${gen_dir}/orvalis.1" > "${gen_dir}/orvalis.1.gz"
                   DEPENDS "${gen_dir}/orvalis.1" VERBATIM)
add_custom_target(orvalis_manpage ALL DEPENDS "${gen_dir}/orvalis.1.gz")
install(FILES "${gen_dir}/orvalis.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
# The shell program's page and its bash completion, found by bash-completion under the program's name.
configure_file("${data_dir}/orvalis-ctf.1.in" "${gen_dir}/orvalis-ctf.1" @ONLY)
add_custom_command(OUTPUT "${gen_dir}/orvalis-ctf.1.gz"
                   COMMAND gzip -9 -n -c "${gen_dir}/orvalis-ctf.1" > "${gen_dir}/orvalis-ctf.1.gz"
                   DEPENDS "${gen_dir}/orvalis-ctf.1" VERBATIM)
add_custom_target(orvalis_ctf_manpage ALL DEPENDS "${gen_dir}/orvalis-ctf.1.gz")
install(FILES "${gen_dir}/orvalis-ctf.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${data_dir}/orvalis-ctf.bash-completion" DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions"
        RENAME orvalis-ctf)

# Copyright and change log, where every Debian package keeps them.
execute_process(COMMAND date -u -R -d "${ORVALIS_RELEASE_DATE} 12:00" OUTPUT_VARIABLE ORVALIS_RELEASE_DATE_RFC2822
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file("${CMAKE_SOURCE_DIR}/packaging/copyright.in" "${gen_dir}/copyright" @ONLY)
configure_file("${CMAKE_SOURCE_DIR}/packaging/changelog.in" "${gen_dir}/changelog" @ONLY)
add_custom_command(OUTPUT "${gen_dir}/changelog.gz"
                   COMMAND gzip -9 -n -c "${gen_dir}/changelog" > "${gen_dir}/changelog.gz"
                   DEPENDS "${gen_dir}/changelog" VERBATIM)
add_custom_target(orvalis_changelog ALL DEPENDS "${gen_dir}/changelog.gz")
install(FILES "${gen_dir}/copyright" "${gen_dir}/changelog.gz" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/orvalis")

# The Debian package: orvalis_<version>_amd64.deb, library dependencies found by dpkg-shlibdeps.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "orvalis")
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${ORVALIS_SUMMARY}")
set(CPACK_PACKAGE_DESCRIPTION "${ORVALIS_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVALIS_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "science")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X11 and offscreen plug-ins come with libqt6gui6; a Wayland session runs natively with this one
# and falls back to X11 without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
if(ORVALIS_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ORVALIS_HOMEPAGE}")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Relocations resolved at start-up and then made read-only (the usual hardening of Debian binaries).
set_property(TARGET orvalis orvalis-ctf orvalis-ctf-pictures APPEND PROPERTY LINK_OPTIONS "LINKER:-z,relro,-z,now")
include(CPack)

# --help and --version show the summary and the project's version; the windows carry the desktop id.
set_property(SOURCE "${CMAKE_SOURCE_DIR}/src/ui/main/programstart.cpp" DIRECTORY "${CMAKE_SOURCE_DIR}/src/ui"
             APPEND PROPERTY COMPILE_DEFINITIONS
             ORVALIS_SUMMARY="${ORVALIS_SUMMARY}" ORVALIS_APP_ID="${ORVALIS_APP_ID}")
