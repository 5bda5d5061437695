# Fails when a file of the module includes a header of a level above its own.
# The levels, lowest first:
#   0  host/          the host's records and services
#   1  module/base/   service slots, the handler binding type, panel kinds
#   2  geometry/, core/
#   3  nodes/, panels/
#   4  module/        the node table, activations, server table, descriptor
# and when a file of the module includes a thread library header: the module
# starts no thread and takes no lock.  The reference host (refhost/) builds
# on host/ alone, as the application would.
#
#   cmake -DSOURCE_DIR=<checkout> -P check_layers.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers: set SOURCE_DIR to the checkout")
endif()

function(level_of path out)
  if(path MATCHES "^host/")
    set(${out} 0 PARENT_SCOPE)
  elseif(path MATCHES "^module/base/")
    set(${out} 1 PARENT_SCOPE)
  elseif(path MATCHES "^(geometry|core)/")
    set(${out} 2 PARENT_SCOPE)
  elseif(path MATCHES "^(nodes|panels)/")
    set(${out} 3 PARENT_SCOPE)
  elseif(path MATCHES "^module/")
    set(${out} 4 PARENT_SCOPE)
  else()
    set(${out} -1 PARENT_SCOPE)
  endif()
endfunction()

file(GLOB refhost_files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/refhost/*.h ${SOURCE_DIR}/refhost/*.cpp)
foreach(file IN LISTS refhost_files)
  file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"" AND NOT CMAKE_MATCH_1 MATCHES "^(host|refhost)/")
      message(SEND_ERROR "${file}: includes \"${CMAKE_MATCH_1}\"; the reference host builds on host/ alone")
      set(refhost_bad TRUE)
    endif()
  endforeach()
endforeach()
if(refhost_bad)
  message(FATAL_ERROR "check_layers: the reference host includes the module's headers")
endif()

file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/host/* ${SOURCE_DIR}/module/* ${SOURCE_DIR}/geometry/*
  ${SOURCE_DIR}/core/* ${SOURCE_DIR}/nodes/* ${SOURCE_DIR}/panels/*)
list(FILTER files INCLUDE REGEX "\\.(h|cpp|def)$")

set(problems 0)
set(checked 0)
foreach(file IN LISTS files)
  level_of(${file} level)
  file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(header ${CMAKE_MATCH_1})
      level_of(${header} header_level)
      if(header_level LESS 0)
        message(SEND_ERROR "${file}: includes \"${header}\", which is not part of the module")
        math(EXPR problems "${problems} + 1")
      elseif(header_level GREATER level)
        message(SEND_ERROR
          "${file}: includes \"${header}\" (level ${header_level}) from level ${level}")
        math(EXPR problems "${problems} + 1")
      endif()
      math(EXPR checked "${checked} + 1")
    elseif(line MATCHES "#[ \t]*include[ \t]*<(thread|mutex|shared_mutex|condition_variable|future|pthread\\.h)>")
      message(SEND_ERROR "${file}: includes <${CMAKE_MATCH_1}>; the module uses no thread library")
      math(EXPR problems "${problems} + 1")
    endif()
  endforeach()
endforeach()

list(LENGTH files count)
if(problems GREATER 0)
  message(FATAL_ERROR "check_layers: ${problems} include(s) out of order or not allowed")
endif()
message(STATUS "check_layers: ${checked} includes in ${count} files are in order")
