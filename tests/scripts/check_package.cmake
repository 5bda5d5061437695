# The release package of a Windows build, made with CPack and unpacked
# again: it holds exactly the module, INSTALL.txt and the node reference
# under one top folder; the module has no debug sections, exports only
# _mod_descrip, imports only system DLLs (check_exports.cmake) and carries
# its version resource (check_version_resource.cmake).
#
#   cmake -DCPACK=<cpack> -DCONFIG=<build>/CPackConfig.cmake -DWORK=<dir>
#         -DNAME=<QV_Math_Node-1.2.3-win32> -DBITS=<32|64> -DOBJDUMP=<objdump>
#         -DWINDRES=<windres> -DVERSION=<1.2.3> -DPRODUCT=<name>
#         -DDESCRIPTION=<text> -DCOPYRIGHT=<text> [-DALLOW=<imports file>]
#         -P check_package.cmake
#
# WORK is emptied first; the package is made there, not in the build tree.
cmake_minimum_required(VERSION 3.25)

foreach(required CPACK CONFIG WORK NAME BITS OBJDUMP WINDRES VERSION PRODUCT DESCRIPTION COPYRIGHT)
  if(NOT DEFINED ${required} OR "${${required}}" STREQUAL "")
    message(FATAL_ERROR "check_package: set ${required}")
  endif()
endforeach()

set(problems 0)
macro(problem text)
  message(SEND_ERROR "check_package: ${text}")
  math(EXPR problems "${problems} + 1")
endmacro()

# ---- Make the package and unpack it -------------------------------------------
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/unpacked")
execute_process(COMMAND "${CPACK}" -G ZIP --config "${CONFIG}" -B "${WORK}"
                OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
set(zip "${WORK}/${NAME}.zip")
if(NOT status EQUAL 0 OR NOT EXISTS "${zip}")
  message(FATAL_ERROR "check_package: cpack did not make ${zip} (${status}):\n${output}${errors}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar xf "${zip}" WORKING_DIRECTORY "${WORK}/unpacked"
                RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "check_package: ${zip} does not unpack (${status}): ${errors}")
endif()

# ---- What it holds ---------------------------------------------------------------
file(GLOB_RECURSE files RELATIVE "${WORK}/unpacked" "${WORK}/unpacked/*")
list(SORT files)
set(expected "${NAME}/INSTALL.txt" "${NAME}/QV_Math_Node.p" "${NAME}/QV_Math_Node_reference.html")
if(NOT files STREQUAL expected)
  list(JOIN files ", " shown)
  list(JOIN expected ", " wanted)
  problem("${zip} holds [${shown}], not [${wanted}]")
endif()
set(top "${WORK}/unpacked/${NAME}")
set(module "${top}/QV_Math_Node.p")
if(NOT EXISTS "${module}")
  message(FATAL_ERROR "check_package: ${zip} holds no ${NAME}/QV_Math_Node.p")
endif()

file(READ "${top}/INSTALL.txt" install_text)
foreach(needed "${PRODUCT} ${VERSION}" "QvT_SPMTL" "QvC_MTL" "build 1165 or later" "QV_Math_Node_reference.html")
  string(FIND "${install_text}" "${needed}" at)
  if(at LESS 0)
    problem("INSTALL.txt does not say \"${needed}\"")
  endif()
endforeach()

file(READ "${top}/QV_Math_Node_reference.html" html)
string(FIND "${html}" "<title>${PRODUCT} ${VERSION}: node reference</title>" at)
if(at LESS 0)
  problem("QV_Math_Node_reference.html is not the reference of ${PRODUCT} ${VERSION}")
endif()

# ---- The module --------------------------------------------------------------------
execute_process(COMMAND "${OBJDUMP}" -h "${module}" OUTPUT_VARIABLE sections RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "check_package: `${OBJDUMP} -h ${module}` failed (${status})")
endif()
string(REGEX MATCHALL "[ \t]\\.(debug|zdebug|stab)[^ \t\n]*" debug "${sections}")
if(debug)
  list(JOIN debug "," shown)
  problem("the packaged module keeps debug sections:${shown}")
endif()

set(scripts "${CMAKE_CURRENT_LIST_DIR}")
set(checks
  "-DMODULE=${module}" -DSYSTEM=Windows "-DBITS=${BITS}" "-DOBJDUMP=${OBJDUMP}" -P "${scripts}/check_exports.cmake")
if(ALLOW)
  list(INSERT checks 0 "-DALLOW=${ALLOW}")
endif()
foreach(run exports version)
  if(run STREQUAL "version")
    set(checks "-DMODULE=${module}" "-DWINDRES=${WINDRES}" "-DVERSION=${VERSION}" "-DPRODUCT=${PRODUCT}"
               "-DDESCRIPTION=${DESCRIPTION}" "-DCOPYRIGHT=${COPYRIGHT}" -P "${scripts}/check_version_resource.cmake")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" ${checks} OUTPUT_VARIABLE output ERROR_VARIABLE errors
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    problem("the packaged module fails the ${run} check:\n${output}${errors}")
  endif()
endforeach()

if(problems GREATER 0)
  message(FATAL_ERROR "check_package: ${zip}: ${problems} problem(s)")
endif()
file(SIZE "${zip}" zip_size)
file(SIZE "${module}" module_size)
message(STATUS "check_package: ${NAME}.zip, ${zip_size} bytes; QV_Math_Node.p stripped, ${module_size} bytes")
