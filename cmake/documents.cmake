# SPDX-License-Identifier: MIT
# The documents installed beside the programs on Linux: the copyright file in
# Debian's machine-readable format, the release history (changelog.gz) and the
# AppStream metadata by which software centres list the panel.
#
# packaging/changelog is the history, newest entry first. Its newest entry
# names the version being built, gives the release date for the AppStream
# metadata and is signed by the project's address: the copyright file's
# upstream contact, and the package's maintainer unless a packager names
# another.
set(lptpanel_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(lptpanel_documents ${PROJECT_BINARY_DIR}/documents)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${lptpanel_packaging}/changelog ${lptpanel_packaging}/lptpanel.desktop.in
  ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/assets/fonts/LICENSE)

file(READ ${lptpanel_packaging}/changelog changelog)
if(NOT changelog MATCHES "^lptpanel \\(([^)]+)\\) ")
  message(FATAL_ERROR "packaging/changelog must start with the newest entry's first line, "
                      "\"lptpanel (${PROJECT_VERSION}) unstable; urgency=medium\"")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: its newest entry is ${CMAKE_MATCH_1}, the project "
                      "(CMakeLists.txt) is ${PROJECT_VERSION}: add an entry for "
                      "${PROJECT_VERSION} at the top of packaging/changelog")
endif()
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
set(month -1)
if(changelog MATCHES
   "\n -- ([^\n]+>)  [A-Z][a-z][a-z], ([0-9][0-9]?) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  list(FIND months "${CMAKE_MATCH_3}" month)
endif()
if(month EQUAL -1)
  message(FATAL_ERROR "packaging/changelog: the newest entry lacks its signature line, "
                      "\" -- NAME <ADDRESS>  Mon, 07 Dec 2026 12:00:00 +0000\"")
endif()
set(signer "${CMAKE_MATCH_1}")
# The upstream contact is the project's address, whoever packages it.
set(UPSTREAM_CONTACT "${signer}")
math(EXPR month "${month} + 1")
math(EXPR day "${CMAKE_MATCH_2}")
if(month LESS 10)
  set(month 0${month})
endif()
if(day LESS 10)
  set(day 0${day})
endif()
set(RELEASE_DATE "${CMAKE_MATCH_4}-${month}-${day}")
set(VERSION "${PROJECT_VERSION}")

set(LPTPANEL_MAINTAINER "${signer}" CACHE STRING
    "Maintainer of the Debian package, NAME <ADDRESS> (default: the signer of packaging/changelog)")
set(LPTPANEL_HOMEPAGE "https://lptpanel.org" CACHE STRING
    "Home page named by the package and the AppStream metadata; it serves the screenshot docs/panel-and-connector.png")
set(LPTPANEL_APPSTREAM_ID org.lptpanel.lptpanel)
# A host without a dot (localhost) or a missing name is refused by Debian's
# package checker; say so here rather than in a finished package.
if(NOT LPTPANEL_MAINTAINER MATCHES "^[^<>@]*[^<>@ ] <[^<>@ ]+@[^<>@ .]+(\\.[^<>@ .]+)+>$")
  message(FATAL_ERROR "LPTPANEL_MAINTAINER is \"${LPTPANEL_MAINTAINER}\": it must be a name "
                      "and a mail address on a real domain, \"NAME <USER@EXAMPLE.ORG>\" "
                      "(cmake -DLPTPANEL_MAINTAINER=..., or -ULPTPANEL_MAINTAINER for the default)")
endif()

# A licence text as the continuation lines of a copyright-file field: every
# line indented by one space, an empty line written " .".
function(lptpanel_field_text out text)
  string(STRIP "${text}" text)
  string(REGEX REPLACE "[ \t]+\n" "\n" text "${text}")
  string(REPLACE "\n" "\n " text " ${text}")
  string(REPLACE "\n \n" "\n .\n" text "${text}")
  string(REPLACE "\n \n" "\n .\n" text "${text}") # the second of two empty lines
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
file(READ ${PROJECT_SOURCE_DIR}/assets/fonts/LICENSE font_licence)
if(NOT licence MATCHES "Copyright \\(c\\) ([^\n]+)\n\n(Permission is hereby granted.*)")
  message(FATAL_ERROR "LICENSE is not the MIT licence with its \"Copyright (c) YEAR HOLDER\" line")
endif()
set(PROJECT_COPYRIGHT "${CMAKE_MATCH_1}")
lptpanel_field_text(MIT_TEXT "${CMAKE_MATCH_2}")
if(NOT font_licence MATCHES "\nCopyright:(\n [^\n]+)+\n")
  message(FATAL_ERROR "assets/fonts/LICENSE lacks its \"Copyright:\" lines")
endif()
string(REGEX MATCH "\nCopyright:(\n [^\n]+)+" FONT_COPYRIGHT "${font_licence}")
string(REPLACE "\nCopyright:" "" FONT_COPYRIGHT "${FONT_COPYRIGHT}")
string(FIND "${font_licence}" "SIL OPEN FONT LICENSE Version 1.1" ofl)
if(ofl LESS 0)
  message(FATAL_ERROR "assets/fonts/LICENSE lacks the text of the SIL Open Font License 1.1")
endif()
string(SUBSTRING "${font_licence}" ${ofl} -1 font_licence)
lptpanel_field_text(OFL_TEXT "${font_licence}")
configure_file(${lptpanel_packaging}/copyright.in ${lptpanel_documents}/copyright @ONLY)

# Debian keeps the history compressed, without a time stamp (-n).
set(history ${lptpanel_packaging}/changelog)
if(LPTPANEL_GZIP)
  set(history ${lptpanel_documents}/changelog.gz)
  execute_process(COMMAND ${LPTPANEL_GZIP} -9n -c ${lptpanel_packaging}/changelog
                  OUTPUT_FILE ${history} COMMAND_ERROR_IS_FATAL ANY)
endif()
install(FILES ${lptpanel_documents}/copyright ${history} DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(lptpanel_with_panel)
  # The software centre's categories and keywords are the desktop entry's.
  file(READ ${lptpanel_packaging}/lptpanel.desktop.in entry)
  set(fields Categories Keywords)
  set(elements category keyword)
  foreach(field element IN ZIP_LISTS fields elements)
    if(NOT entry MATCHES "\n${field}=([^\n]*)")
      message(FATAL_ERROR "packaging/lptpanel.desktop.in lacks its ${field}= line")
    endif()
    string(REGEX REPLACE "([^;]+);?" "    <${element}>\\1</${element}>\n" items "${CMAKE_MATCH_1}")
    string(STRIP "${items}" items)
    string(TOUPPER "${element}_ELEMENTS" name)
    set(${name} "    ${items}")
  endforeach()
  configure_file(${lptpanel_packaging}/lptpanel.metainfo.xml.in
                 ${lptpanel_documents}/${LPTPANEL_APPSTREAM_ID}.metainfo.xml @ONLY)
  install(FILES ${lptpanel_documents}/${LPTPANEL_APPSTREAM_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
