# SPDX-License-Identifier: MIT
# The portable zip for Windows (cpack -G ZIP in the build folder of the preset
# "windows"): one folder holding lptpanel.exe and lptport.exe, the Qt and
# MinGW run-time DLLs and the Qt plugins they load, the four pictures, the
# licences and README.txt. Unzipped anywhere, lptpanel.exe starts from a
# double-click; with no port-I/O DLL beside it, it runs on the simulated port.
#
# Qt for MinGW has no windeployqt, so the build itself copies what the panel
# loads beside the executables (bin/, where it also runs from) and the zip
# takes the same files from there.

# Everything in the zip's one folder, not in bin/.
set(CMAKE_INSTALL_BINDIR .)

set(runtime_dir ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
set(runtime_files)
if(TARGET lptpanel)
  # The Qt libraries, and each plugin in the folder Qt looks for it in.
  set(qt_dlls)
  foreach(lib Core Gui Widgets)
    list(APPEND qt_dlls $<TARGET_FILE:Qt6::${lib}>)
  endforeach()
  set(plugins platforms:QWindowsIntegrationPlugin imageformats:QGifPlugin
              styles:QWindowsVistaStylePlugin)
  set(copy_commands)
  foreach(entry IN LISTS plugins)
    string(REPLACE ":" ";" entry "${entry}")
    list(GET entry 0 folder)
    list(GET entry 1 plugin)
    list(APPEND copy_commands
         COMMAND ${CMAKE_COMMAND} -E make_directory ${runtime_dir}/${folder}
         COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::${plugin}>
                 ${runtime_dir}/${folder}/)
    install(FILES $<TARGET_FILE:Qt6::${plugin}> DESTINATION ${folder})
  endforeach()

  # The MinGW runtime the programs and Qt's DLLs link. Debian's libstdc++
  # carries its debug information (24 MB); stripped it is a sixth of that.
  set(mingw_dlls)
  foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
      message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know ${dll}: install the MinGW-w64 "
                          "compiler with its runtime (apt-get install g++-mingw-w64-x86-64-posix)")
    endif()
    file(REAL_PATH "${path}" path)
    list(APPEND mingw_dlls ${path})
  endforeach()

  add_custom_target(windows_runtime ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${runtime_dir}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${qt_dlls} ${mingw_dlls} ${runtime_dir}
    COMMAND ${CMAKE_STRIP} --strip-debug ${runtime_dir}/libstdc++-6.dll
    ${copy_commands}
    COMMENT "Copying the Qt and MinGW run-time DLLs and Qt's plugins next to the executables"
    VERBATIM)
  add_dependencies(lptpanel windows_runtime)
  foreach(dll IN LISTS mingw_dlls)
    get_filename_component(name ${dll} NAME)
    list(APPEND runtime_files ${runtime_dir}/${name})
  endforeach()
  install(FILES ${qt_dlls} ${runtime_files} DESTINATION .)
endif()

# The licences: the project's, the bundled font's, and Qt's (LGPL-3, which
# is written as additions to the GPL-3, so both).
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
install(FILES ${PROJECT_SOURCE_DIR}/assets/fonts/LICENSE DESTINATION licences
        RENAME LiberationSans-OFL.txt)
# lptport.exe carries the code of two header-only libraries: their notices.
install(FILES /usr/share/doc/libcli11-dev/copyright DESTINATION licences RENAME CLI11.txt)
install(FILES /usr/share/doc/nlohmann-json3-dev/copyright DESTINATION licences
        RENAME nlohmann-json.txt)
foreach(licence LGPL-3 GPL-3)
  set(text /usr/share/common-licenses/${licence})
  if(NOT EXISTS ${text})
    message(FATAL_ERROR "${text} is missing: it is Qt's licence and goes into the zip "
                        "(Debian's base-files package installs it)")
  endif()
  install(FILES ${text} DESTINATION licences RENAME Qt-${licence}.txt)
endforeach()

configure_file(${PROJECT_SOURCE_DIR}/packaging/windows-README.txt.in
               ${PROJECT_BINARY_DIR}/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)

set(CPACK_PACKAGE_FILE_NAME lptpanel-${PROJECT_VERSION}-win64)
