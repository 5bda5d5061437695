# Shared part of the MinGW-w64 cross toolchains.  The including file sets
# QV_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR first.
#
# The "posix" thread model is preferred: it provides std::thread and
# std::mutex with GCC 12, and with -static its pthread library is linked into
# each binary, so nothing but Windows system DLLs is imported.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)

foreach(tool_var C_COMPILER CXX_COMPILER)
  if(tool_var STREQUAL "C_COMPILER")
    set(tool_name gcc)
  else()
    set(tool_name g++)
  endif()
  find_program(QV_MINGW_${tool_var}
    NAMES ${QV_MINGW_TRIPLE}-${tool_name}-posix
          ${QV_MINGW_TRIPLE}-${tool_name}
          ${QV_MINGW_TRIPLE}-${tool_name}-win32
    REQUIRED)
  set(CMAKE_${tool_var} ${QV_MINGW_${tool_var}})
endforeach()

find_program(QV_MINGW_RC_COMPILER NAMES ${QV_MINGW_TRIPLE}-windres)
if(QV_MINGW_RC_COMPILER)
  set(CMAKE_RC_COMPILER ${QV_MINGW_RC_COMPILER})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${QV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
