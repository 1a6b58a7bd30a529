# SPDX-License-Identifier: MIT
# find_package(lptport): the imported target lptport::lptport.
include(${CMAKE_CURRENT_LIST_DIR}/lptportTargets.cmake)
