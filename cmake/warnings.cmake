# SPDX-License-Identifier: MIT
# The compiler warnings of the project's own targets: each links
# lptpanel_warnings (never CMAKE_CXX_FLAGS, which would reach the code of
# others too). CI's build (CI set in the environment) turns them into errors, so
# the tree stays clean.
add_library(lptpanel_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(lptpanel_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
    -Woverloaded-virtual -Wimplicit-fallthrough)
  if(DEFINED ENV{CI})
    target_compile_options(lptpanel_warnings INTERFACE -Werror)
  endif()
elseif(MSVC)
  target_compile_options(lptpanel_warnings INTERFACE /W4)
endif()
