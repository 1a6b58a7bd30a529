# SPDX-License-Identifier: MIT
# Installation (cmake --install) and the Debian package (cpack -G DEB in the
# build directory).
#
# The panel reads its four pictures from its working directory, so an
# installed copy keeps them in share/lptpanel, the program in
# libexec/lptpanel, and installs as the command lptpanel a launcher that
# starts the program in the pictures' folder. The desktop entry and the man pages name installed paths,
# which are known only when installing (cmake --install --prefix, or /usr
# inside the package), so they are filled in then.
include(GNUInstallDirs)

install(TARGETS lptport RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET lptport_completion)
  install(FILES ${PROJECT_BINARY_DIR}/lptport/lptport.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME lptport)
endif()
# liblptport: the library, its header, and (not on Windows, where the zip
# holds only the DLL and the header) the files a build finds it by: the
# pkg-config file and the CMake package with its target lptport::lptport.
if(WIN32)
  install(TARGETS liblptport RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
          ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL
          PUBLIC_HEADER DESTINATION include)
else()
  install(TARGETS liblptport EXPORT lptportTargets
          LIBRARY DESTINATION ${LPTPORT_INSTALL_LIBDIR}
          PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(FILES ${PROJECT_BINARY_DIR}/lib/lptport.pc
          DESTINATION ${LPTPORT_INSTALL_LIBDIR}/pkgconfig)
  set(lptport_cmake_dir ${LPTPORT_INSTALL_LIBDIR}/cmake/lptport)
  install(EXPORT lptportTargets NAMESPACE lptport:: DESTINATION ${lptport_cmake_dir})
  # One package holds the programs and the library with its development
  # files; lintian's notes on that are explained in the overrides file.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME lptpanel)
  install(FILES ${PROJECT_SOURCE_DIR}/lib/lptportConfig.cmake
                ${PROJECT_BINARY_DIR}/lib/lptportConfigVersion.cmake
          DESTINATION ${lptport_cmake_dir})
endif()
# The Python package over it: in the zip its folder lies beside the DLL, where
# it looks first; elsewhere in dist-packages, where Debian's python3 imports it
# (with the prefix /usr), and it finds the library by its soname.
if(WIN32)
  set(lptport_python_dir ${CMAKE_INSTALL_BINDIR})
else()
  set(lptport_python_dir lib/python3/dist-packages)
endif()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/lptport DESTINATION ${lptport_python_dir}
        FILES_MATCHING PATTERN "*.py")

set(lptpanel_pages lptport)
set(lptpanel_with_panel OFF)
if(TARGET lptpanel)
  set(lptpanel_with_panel ON)
  if(WIN32)
    # Started from a shortcut in its own folder.
    install(TARGETS lptpanel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${LPTPANEL_RUNTIME_PICTURES} DESTINATION ${CMAKE_INSTALL_BINDIR})
  else()
    # The program itself lives beside nothing a user types; the command
    # lptpanel is the launcher, which finds both from its own place.
    set(program_dir ${CMAKE_INSTALL_LIBEXECDIR}/lptpanel)
    set(pictures_dir ${CMAKE_INSTALL_DATADIR}/lptpanel)
    install(TARGETS lptpanel RUNTIME DESTINATION ${program_dir})
    file(RELATIVE_PATH LAUNCHER_PROGRAM /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${program_dir}/lptpanel)
    file(RELATIVE_PATH LAUNCHER_PICTURES /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${pictures_dir})
    configure_file(${PROJECT_SOURCE_DIR}/packaging/lptpanel-launcher.sh.in
                   ${PROJECT_BINARY_DIR}/packaging/lptpanel @ONLY)
    install(PROGRAMS ${PROJECT_BINARY_DIR}/packaging/lptpanel DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${LPTPANEL_RUNTIME_PICTURES} DESTINATION ${pictures_dir})
    install(FILES ${PROJECT_SOURCE_DIR}/assets/icon.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps
            RENAME lptpanel.png)
    list(APPEND lptpanel_pages lptpanel)
  endif()
endif()

if(UNIX)
  find_program(LPTPANEL_GZIP gzip)
  mark_as_advanced(LPTPANEL_GZIP)
  install(CODE "
    set(lptpanel_sources \"${PROJECT_SOURCE_DIR}/packaging\")
    set(lptpanel_work \"${PROJECT_BINARY_DIR}/packaging\")
    set(lptpanel_pages \"${lptpanel_pages}\")
    set(lptpanel_gui ${lptpanel_with_panel})
    set(lptpanel_gzip \"${LPTPANEL_GZIP}\")
    set(VERSION \"${PROJECT_VERSION}\")
    set(lptpanel_bindir \"${CMAKE_INSTALL_BINDIR}\")
    set(lptpanel_datadir \"${CMAKE_INSTALL_DATADIR}\")
    set(lptpanel_mandir \"${CMAKE_INSTALL_MANDIR}\")")
  install(CODE [[
    # One work folder per destination, so that a package build and an install
    # running at the same time do not share files.
    string(MD5 key "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
    set(work "${lptpanel_work}/${key}")
    file(MAKE_DIRECTORY "${work}")
    set(DATADIR "${CMAKE_INSTALL_PREFIX}/${lptpanel_datadir}/lptpanel")
    if(lptpanel_gui)
      set(LPTPANEL_BIN "${CMAKE_INSTALL_PREFIX}/${lptpanel_bindir}/lptpanel")
      configure_file("${lptpanel_sources}/lptpanel.desktop.in" "${work}/lptpanel.desktop" @ONLY)
      file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${lptpanel_datadir}/applications"
           TYPE FILE FILES "${work}/lptpanel.desktop")
    endif()
    foreach(page IN LISTS lptpanel_pages)
      configure_file("${lptpanel_sources}/${page}.1" "${work}/${page}.1" @ONLY)
      set(file "${work}/${page}.1")
      if(lptpanel_gzip)
        # Debian keeps man pages compressed, without a time stamp (-n).
        execute_process(COMMAND "${lptpanel_gzip}" -9nf "${file}" COMMAND_ERROR_IS_FATAL ANY)
        set(file "${file}.gz")
      endif()
      file(INSTALL DESTINATION "${CMAKE_INSTALL_PREFIX}/${lptpanel_mandir}/man1"
           TYPE FILE FILES "${file}")
    endforeach()
    file(REMOVE_RECURSE "${work}")
  ]])
  include(${CMAKE_CURRENT_LIST_DIR}/documents.cmake)
endif()

# The manual as HTML, where the programs' messages point: the package's
# /usr/share/doc/lptpanel/linux.html, the zip's docs\windows.html.
include(${CMAKE_CURRENT_LIST_DIR}/packaging-manual.cmake)
if(LPTPANEL_MANUAL)
  if(WIN32)
    install(DIRECTORY ${LPTPANEL_MANUAL_DIR}/ DESTINATION docs)
  else()
    install(DIRECTORY ${LPTPANEL_MANUAL_DIR}/ DESTINATION ${CMAKE_INSTALL_DOCDIR})
  endif()
endif()

set(CPACK_PACKAGE_NAME lptpanel)
set(CPACK_PACKAGE_VENDOR "lptpanel")
set(CPACK_PACKAGE_CONTACT "${LPTPANEL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "panel of switches and lamps for the PC parallel port")
set(CPACK_PACKAGE_DESCRIPTION [[
lptpanel drives the outputs and shows the inputs of the parallel port at
0x378 as a panel of switches and lamps, with a picture of its 25-pin
connector. lptport reads, writes and watches the port from the command line
and tests it with a loopback plug. Both work on Linux ppdev, on direct I/O,
or on a simulated port for use without hardware.]])
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${LPTPANEL_HOMEPAGE}")
  # liblptport: its shlibs entry, and the loader's cache updated by libc's
  # trigger (CPack itself only writes ldconfig calls into postinst and postrm).
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers)
  # dpkg-shlibdeps (dpkg-dev) finds the Qt run-time packages the programs
  # link; without it, name the ones a Debian 12 build links.
  find_program(LPTPANEL_DPKG_SHLIBDEPS dpkg-shlibdeps)
  mark_as_advanced(LPTPANEL_DPKG_SHLIBDEPS)
  if(LPTPANEL_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  elseif(lptpanel_with_panel)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libc6, libstdc++6, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4)")
  else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6")
  endif()
  # The Python package in dist-packages is for Debian's python3 (shlibdeps
  # adds what it finds to these).
  string(JOIN ", " CPACK_DEBIAN_PACKAGE_DEPENDS ${CPACK_DEBIAN_PACKAGE_DEPENDS} "python3:any")
endif()
include(CPack)
