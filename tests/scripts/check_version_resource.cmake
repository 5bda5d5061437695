# The version resource of a Windows module, read back with the toolchain's
# windres: the product name, version, description and copyright it was
# built with, and the numeric file and product versions.
#
#   cmake -DMODULE=<QV_Math_Node.p> -DWINDRES=<windres> -DVERSION=<1.2.3>
#         -DPRODUCT=<name> -DDESCRIPTION=<text> -DCOPYRIGHT=<text>
#         -P check_version_resource.cmake
cmake_minimum_required(VERSION 3.25)

foreach(required MODULE WINDRES VERSION PRODUCT DESCRIPTION COPYRIGHT)
  if(NOT DEFINED ${required} OR "${${required}}" STREQUAL "")
    message(FATAL_ERROR "check_version_resource: set ${required}")
  endif()
endforeach()
if(NOT EXISTS "${MODULE}")
  message(FATAL_ERROR "check_version_resource: ${MODULE}: no such file (is the module built?)")
endif()

execute_process(COMMAND "${WINDRES}" --input "${MODULE}" --output-format rc
                OUTPUT_VARIABLE rc ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "check_version_resource: `${WINDRES} --input ${MODULE}` failed (${status}): ${errors}")
endif()

set(problems 0)
function(expect what pattern)
  string(REGEX MATCH "${pattern}" found "${rc}")
  if(found STREQUAL "")
    message(SEND_ERROR "check_version_resource: ${MODULE}: ${what} is missing or wrong")
    math(EXPR problems "${problems} + 1")
    set(problems ${problems} PARENT_SCOPE)
  endif()
endfunction()

# Texts as regular expressions: every character that is special there escaped.
function(literal out text)
  string(REGEX REPLACE "([][+.*?()^$|\\\\])" "\\\\\\1" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(REPLACE "." "," numeric "${VERSION}")
string(REGEX REPLACE "," ", *" numeric "${numeric}")
literal(version "${VERSION}")
literal(product "${PRODUCT}")
literal(description "${DESCRIPTION}")
literal(copyright "${COPYRIGHT}")
expect("the VERSIONINFO resource" "VERSIONINFO")
expect("FILEVERSION ${VERSION}.0" "FILEVERSION +${numeric}, *0")
expect("PRODUCTVERSION ${VERSION}.0" "PRODUCTVERSION +${numeric}, *0")
expect("ProductName \"${PRODUCT}\"" "VALUE \"ProductName\", \"${product}\"")
expect("ProductVersion \"${VERSION}\"" "VALUE \"ProductVersion\", \"${version}\"")
expect("FileVersion \"${VERSION}\"" "VALUE \"FileVersion\", \"${version}\"")
expect("FileDescription \"${DESCRIPTION}\"" "VALUE \"FileDescription\", \"${description}\"")
expect("LegalCopyright \"${COPYRIGHT}\"" "VALUE \"LegalCopyright\", \"${copyright}\"")

if(problems GREATER 0)
  message(FATAL_ERROR "check_version_resource: ${MODULE}: ${problems} problem(s); windres shows:\n${rc}")
endif()
message(STATUS "check_version_resource: ${MODULE}: ${PRODUCT} ${VERSION}")
