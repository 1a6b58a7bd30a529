# SPDX-License-Identifier: MIT
# The manual as HTML pages a person reads without the source: README.md
# becomes index.html (its table of pages is the index), each docs/PAGE.md
# becomes PAGE.html, their pictures lie beside them, and links between the
# pages lead to the pages (anchors kept). The Debian package installs the
# folder as /usr/share/doc/lptpanel/, the Windows zip as docs\, where the
# programs' messages send the user.
#
# cmark-gfm renders: the pages are written in GitHub's Markdown and lean on
# its tables, and cmark-gfm is GitHub's own renderer of it, 0.4 MB in Debian
# (pandoc would also make the headings' anchors, at 170 MB on every machine
# that builds the package). The anchors and the links are added by
# packaging-manual-pages.cmake.
set(LPTPANEL_MANUAL_DIR ${PROJECT_BINARY_DIR}/manual)
option(LPTPANEL_MANUAL "Render the manual to HTML for the packages" ON)
include_guard(GLOBAL)
if(NOT LPTPANEL_MANUAL)
  return()
endif()

find_program(LPTPANEL_CMARK_GFM cmark-gfm)
mark_as_advanced(LPTPANEL_CMARK_GFM)
if(NOT LPTPANEL_CMARK_GFM)
  message(FATAL_ERROR "cmark-gfm is missing: it renders the manual to HTML for the packages. "
                      "Install it with scripts/setup-debian (Debian's package cmark-gfm), or "
                      "build without the HTML manual: -DLPTPANEL_MANUAL=OFF")
endif()

file(GLOB manual_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.md)
file(GLOB manual_pictures CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.png)
set(manual_outputs ${LPTPANEL_MANUAL_DIR}/index.html)
foreach(file IN LISTS manual_sources manual_pictures)
  get_filename_component(name ${file} NAME)
  string(REGEX REPLACE "\\.md$" ".html" name ${name})
  list(APPEND manual_outputs ${LPTPANEL_MANUAL_DIR}/${name})
endforeach()
set(render ${CMAKE_CURRENT_LIST_DIR}/packaging-manual-pages.cmake)
add_custom_command(OUTPUT ${manual_outputs}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${LPTPANEL_MANUAL_DIR}
  COMMAND ${CMAKE_COMMAND} -DCMARK_GFM=${LPTPANEL_CMARK_GFM} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
          -DOUTPUT_DIR=${LPTPANEL_MANUAL_DIR} -DVERSION=${PROJECT_VERSION} -P ${render}
  DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${manual_sources} ${manual_pictures} ${render}
  COMMENT "Rendering the manual to HTML in manual/"
  VERBATIM)
add_custom_target(manual_html ALL DEPENDS ${manual_outputs})
