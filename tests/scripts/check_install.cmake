# The installed qvhost, as a user runs it: `cmake --install` into a fresh
# prefix, then `qvhost nodes` through a symbolic link and through PATH; a
# qvhost with no module beside it says where it looked and how to name one,
# and QV_MATH_NODE_MODULE names one.
# -DBUILD_DIR=<build tree> -DWORK=<scratch directory>
file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE code OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${code}): ${errors}")
endif()

function(expect_run name expected_code expected_text)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code EQUAL expected_code)
    message(FATAL_ERROR "${name}: exit ${code}, expected ${expected_code}\nstdout: ${out}\nstderr: ${err}")
  endif()
  string(FIND "${out}${err}" "${expected_text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${name}: no \"${expected_text}\" in\nstdout: ${out}\nstderr: ${err}")
  endif()
endfunction()

file(MAKE_DIRECTORY ${WORK}/links)
file(CREATE_LINK ${prefix}/bin/qvhost ${WORK}/links/qvhost SYMBOLIC)
expect_run("through a symbolic link" 0 "QvMs_POW" ${WORK}/links/qvhost nodes)
expect_run("through PATH" 0 "QvMs_POW"
           ${CMAKE_COMMAND} -E env --unset=QV_MATH_NODE_MODULE "PATH=${prefix}/bin:$ENV{PATH}" qvhost nodes)

# A qvhost alone in its directory.
file(MAKE_DIRECTORY ${WORK}/alone)
file(COPY ${prefix}/bin/qvhost DESTINATION ${WORK}/alone)
expect_run("no module" 1 "QV_MATH_NODE_MODULE"
           ${CMAKE_COMMAND} -E env --unset=QV_MATH_NODE_MODULE ${WORK}/alone/qvhost nodes)
expect_run("no module: where it looked" 1 "${WORK}/alone/"
           ${CMAKE_COMMAND} -E env --unset=QV_MATH_NODE_MODULE ${WORK}/alone/qvhost nodes)
expect_run("no module: --module" 1 "--module"
           ${CMAKE_COMMAND} -E env --unset=QV_MATH_NODE_MODULE ${WORK}/alone/qvhost nodes)
file(GLOB module ${prefix}/bin/QV_Math_Node*)
expect_run("QV_MATH_NODE_MODULE" 0 "QvMs_POW"
           ${CMAKE_COMMAND} -E env QV_MATH_NODE_MODULE=${module} ${WORK}/alone/qvhost nodes)
file(REMOVE_RECURSE ${WORK})
