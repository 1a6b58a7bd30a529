# SPDX-License-Identifier: MIT
# Renders the manual into one folder of HTML pages (see packaging-manual.cmake):
#   cmake -DCMARK_GFM=... -DSOURCE_DIR=... -DOUTPUT_DIR=... -DVERSION=... -P this
# cmark-gfm writes each page's body. GitHub gives its headings their anchors
# in a step of its own, which no Debian tool short of pandoc repeats, so it is
# done here by GitHub's rule; so is pointing each link between the pages at
# the rendered page, since all of them lie in one folder.
cmake_minimum_required(VERSION 3.25)

# GitHub's anchor for a heading: its text in lower case, without punctuation
# (anything but letters, digits, blanks, '-' and '_'), blanks made '-'. The
# pages' headings are plain ASCII; a letter beyond it would be dropped, and the
# links test would name the anchor that is then missing.
function(anchor_of out html)
  string(REGEX REPLACE "<[^>]*>" "" text "${html}")
  string(REPLACE "&quot;" "\"" text "${text}")
  string(REPLACE "&lt;" "<" text "${text}")
  string(REPLACE "&gt;" ">" text "${text}")
  string(REPLACE "&amp;" "&" text "${text}")
  string(TOLOWER "${text}" text)
  string(REGEX REPLACE "[^a-z0-9 _-]" "" text "${text}")
  string(REPLACE " " "-" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Every heading given its anchor (a repeated one numbered -1, -2, as GitHub
# does); the first level-1 heading's text is the page's title.
function(add_anchors out_body out_title body)
  set(rest "${body}")
  set(done "")
  set(used "")
  set(title "")
  while(TRUE)
    string(REGEX MATCH "<h([1-6])>([^\n]*)</h[1-6]>" heading "${rest}")
    if(heading STREQUAL "")
      break()
    endif()
    set(level ${CMAKE_MATCH_1})
    set(inner "${CMAKE_MATCH_2}")
    string(FIND "${rest}" "${heading}" at)
    string(LENGTH "${heading}" length)
    string(SUBSTRING "${rest}" 0 ${at} before)
    math(EXPR after "${at} + ${length}")
    string(SUBSTRING "${rest}" ${after} -1 rest)
    anchor_of(anchor "${inner}")
    set(unique "${anchor}")
    set(n 0)
    while(unique IN_LIST used)
      math(EXPR n "${n} + 1")
      set(unique "${anchor}-${n}")
    endwhile()
    list(APPEND used "${unique}")
    if(title STREQUAL "" AND level EQUAL 1)
      string(REGEX REPLACE "<[^>]*>" "" title "${inner}")
    endif()
    string(APPEND done "${before}<h${level} id=\"${unique}\">${inner}</h${level}>")
  endwhile()
  set(${out_body} "${done}${rest}" PARENT_SCOPE)
  set(${out_title} "${title}" PARENT_SCOPE)
endfunction()

# Links and pictures that lead into the source tree lead to the rendered pages:
# README.md is index.html, docs/PAGE.md is PAGE.html, docs/PICTURE is PICTURE.
# Anything else is left as it is (the links test names a relative one that
# leads nowhere).
function(relink out body page_dir)
  string(REGEX MATCHALL "(href|src)=\"[^\"#:]+(#[^\"]*)?\"" targets "${body}")
  list(REMOVE_DUPLICATES targets)
  foreach(target IN LISTS targets)
    string(REGEX MATCH "^(href|src)=\"([^\"#]+)(#[^\"]*)?\"$" parts "${target}")
    set(attribute ${CMAKE_MATCH_1})
    set(path "${CMAKE_MATCH_2}")
    set(fragment "${CMAKE_MATCH_3}")
    if(path MATCHES "^/")
      continue()
    endif()
    get_filename_component(file "${page_dir}/${path}" ABSOLUTE)
    get_filename_component(name "${file}" NAME)
    get_filename_component(folder "${file}" DIRECTORY)
    if(file STREQUAL "${SOURCE_DIR}/README.md")
      set(name index.html)
    elseif(NOT folder STREQUAL "${SOURCE_DIR}/docs")
      continue()
    endif()
    string(REGEX REPLACE "\\.md$" ".html" name "${name}")
    string(REPLACE "${target}" "${attribute}=\"${name}${fragment}\"" body "${body}")
  endforeach()
  set(${out} "${body}" PARENT_SCOPE)
endfunction()

set(style [[
body { font-family: sans-serif; line-height: 1.45; max-width: 62em; margin: 1em auto; padding: 0 1em; color: #1f2328; }
table { border-collapse: collapse; margin: 1em 0; }
th, td { border: 1px solid #d0d7de; padding: 0.3em 0.6em; vertical-align: top; }
th { background: #f6f8fa; }
code { font-family: monospace; font-size: 0.95em; }
pre { background: #f6f8fa; padding: 0.8em; overflow-x: auto; }
img { max-width: 100%; }
nav { font-size: 0.9em; border-bottom: 1px solid #d0d7de; padding-bottom: 0.4em; }
]])

file(MAKE_DIRECTORY "${OUTPUT_DIR}")
file(GLOB pages "${SOURCE_DIR}/docs/*.md")
file(GLOB pictures "${SOURCE_DIR}/docs/*.png")
file(COPY ${pictures} DESTINATION "${OUTPUT_DIR}")
foreach(page IN ITEMS "${SOURCE_DIR}/README.md" LISTS pages)
  execute_process(COMMAND "${CMARK_GFM}" -e table -e autolink -e strikethrough "${page}"
                  OUTPUT_VARIABLE body COMMAND_ERROR_IS_FATAL ANY)
  add_anchors(body title "${body}")
  get_filename_component(page_dir "${page}" DIRECTORY)
  relink(body "${body}" "${page_dir}")
  get_filename_component(name "${page}" NAME_WE)
  set(nav "<nav><a href=\"index.html\">lptpanel ${VERSION}: the manual</a></nav>\n")
  if(name STREQUAL "README")
    set(name index)
    set(nav "")
    set(title "lptpanel ${VERSION}")
  else()
    set(title "${title}: lptpanel ${VERSION}")
  endif()
  file(WRITE "${OUTPUT_DIR}/${name}.html" "<!DOCTYPE html>
<html lang=\"en\">
<head>
<meta charset=\"utf-8\">
<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">
<title>${title}</title>
<style>
${style}</style>
</head>
<body>
${nav}${body}</body>
</html>
")
endforeach()
