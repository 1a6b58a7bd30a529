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
  # GCC 12 at -O3 (the Windows release build) reports "literal" + std::string
  # as an overlapping memcpy inside libstdc++ (GCC bug 105651, fixed in 13): a
  # false alarm in every such expression, not a fault of ours.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(lptpanel_warnings INTERFACE -Wno-restrict)
  endif()
  if(DEFINED ENV{CI})
    target_compile_options(lptpanel_warnings INTERFACE -Werror)
  endif()
elseif(MSVC)
  target_compile_options(lptpanel_warnings INTERFACE /W4)
endif()
