# Fails when a source file includes a project header its folder may not use,
# or when a file of the module includes a thread library header (the module
# starts no thread and takes no lock).
#
# The module's folders are levels, lowest first; each includes only its own
# level and those below:
#   0  host/          the host's records and services
#   1  module/base/   service slots, the handler binding type, panel kinds
#   2  geometry/, core/
#   3  nodes/, panels/
#   4  module/        the node table, activations, server table, descriptor
# The host side stands beside the module and never includes it: support/
# builds on nothing of the project, refhost/ on host/ and support/ (as the
# application would), qvhost/ on those and refhost/.  fuzz/ and bench/
# drive the host side; tests/ may include anything.
#
#   cmake -DSOURCE_DIR=<checkout> -P check_layers.cmake
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers: set SOURCE_DIR to the checkout")
endif()

# folder (a regular expression on the file's path) | the folders it may include
# clang-format off
set(rules
  "^host/"                "host"
  "^module/base/"         "host|module/base"
  "^(geometry|core)/"     "host|module/base|geometry|core"
  "^(nodes|panels)/"      "host|module/base|geometry|core|nodes|panels"
  "^module/"              "host|module/base|geometry|core|nodes|panels|module"
  "^support/"             "support"
  "^refhost/"             "host|support|refhost"
  "^qvhost/"              "host|support|refhost|qvhost"
  "^fuzz/"                "host|support|refhost|qvhost|fuzz"
  "^bench/"               "host|support|refhost|qvhost|geometry|tests/allocations|bench")
# clang-format on
set(module_folders "^(host|module|geometry|core|nodes|panels)/")

file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/host/* ${SOURCE_DIR}/module/* ${SOURCE_DIR}/geometry/* ${SOURCE_DIR}/core/*
  ${SOURCE_DIR}/nodes/* ${SOURCE_DIR}/panels/* ${SOURCE_DIR}/support/* ${SOURCE_DIR}/refhost/*
  ${SOURCE_DIR}/qvhost/* ${SOURCE_DIR}/fuzz/* ${SOURCE_DIR}/bench/*)
list(FILTER files INCLUDE REGEX "\\.(h|cpp|c|def|in)$")

set(problems 0)
set(checked 0)
foreach(file IN LISTS files)
  # The first rule whose folder matches the file's path holds.
  set(allowed "")
  set(rest ${rules})
  while(rest)
    list(POP_FRONT rest folder may_include)
    if(file MATCHES "${folder}")
      set(allowed "${may_include}")
      break()
    endif()
  endwhile()

  file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(header ${CMAKE_MATCH_1})
      if(NOT header MATCHES "^(${allowed})/")
        message(SEND_ERROR "${file}: includes \"${header}\"; this folder may include only ${allowed}")
        math(EXPR problems "${problems} + 1")
      endif()
      math(EXPR checked "${checked} + 1")
    elseif(file MATCHES "${module_folders}" AND
           line MATCHES "#[ \t]*include[ \t]*<(thread|mutex|shared_mutex|condition_variable|future|pthread\\.h)>")
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
