# What the built module shows a loader, read with the toolchain's own tools:
#
#   - it exports exactly one symbol, _mod_descrip;
#   - it is the image its build makes (PE32 or PE32+, ELF32 or ELF64);
#   - Windows: it imports from Windows system DLLs only, and none of them
#     delay-loaded.  The functions imported from each DLL are printed, and
#     with ALLOW they must all be listed there.
#
#   cmake -DMODULE=<QV_Math_Node.p|.so> -DSYSTEM=<Windows|Linux> -DBITS=<32|64>
#         -DOBJDUMP=<objdump> [-DNM=<nm>] [-DSANITIZE=<QV_SANITIZE>]
#         [-DALLOW=<file>] -P check_exports.cmake
#
# Windows modules are read with `objdump -p` (the MinGW-w64 objdump of the
# build), Linux ones with `nm -D --defined-only` and `objdump -f`.  The
# allow-list file holds one "DLL function" pair a line (DLL names in any
# case); blank lines and lines starting with "#" are skipped.
#
# Each check is a function below that reports what it finds wrong with
# problem(); the script fails at the end when any did.
cmake_minimum_required(VERSION 3.25)

foreach(required MODULE SYSTEM BITS OBJDUMP)
  if(NOT DEFINED ${required} OR "${${required}}" STREQUAL "")
    message(FATAL_ERROR "check_exports: set ${required}")
  endif()
endforeach()
if(NOT EXISTS "${MODULE}")
  message(FATAL_ERROR "check_exports: ${MODULE}: no such file (is the module built?)")
endif()

# Reports one thing wrong; the run fails at its end when any was.
set_property(GLOBAL PROPERTY check_exports_problems 0)
function(problem text)
  message(SEND_ERROR "check_exports: ${MODULE}: ${text}")
  get_property(count GLOBAL PROPERTY check_exports_problems)
  math(EXPR count "${count} + 1")
  set_property(GLOBAL PROPERTY check_exports_problems ${count})
endfunction()

# Runs a tool on the module; its output, as lines, in `out`.  List-safe:
# brackets become "<" and ">" and semicolons ",", so that no line is split
# or joined by CMake's list handling.  `stop_at` cuts the output at the first
# line starting with it (objdump's long relocation listing).
function(run_tool out stop_at)
  execute_process(COMMAND ${ARGN} "${MODULE}"
                  OUTPUT_VARIABLE text ERROR_VARIABLE errors RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "check_exports: `${command} ${MODULE}` failed (${rc}): ${errors}")
  endif()
  if(NOT stop_at STREQUAL "")
    string(FIND "${text}" "\n${stop_at}" cut)
    if(cut GREATER_EQUAL 0)
      string(SUBSTRING "${text}" 0 ${cut} text)
    endif()
  endif()
  string(REPLACE "[" "<" text "${text}")
  string(REPLACE "]" ">" text "${text}")
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# ---- Reading the module ----------------------------------------------------
#
# Both readers set:
#   exports         the exported names, sorted; an export without a name
#                   as "#<ordinal>"
#   image_format    "PE32", "PE32+", "ELF32" or "ELF64" (empty when unknown)
# and the Windows one also:
#   dlls            the imported DLLs, in file order
#   imports_<i>     the functions imported from the i-th DLL (from 0); an
#                   import by ordinal as "#<ordinal>"
#   delay_imports   the size of the delay-import directory, in hex

function(read_windows_module)
  run_tool(lines "PE File Base Relocations" "${OBJDUMP}" -p)
  set(exports "")
  set(image_format "")
  set(dlls "")
  set(delay_imports "0")
  set(address_entries "")
  set(named_entries "")
  set(section "")
  set(dll_index -1)
  foreach(line IN LISTS lines)
    if(line STREQUAL "")
      set(section "")
    elseif(line MATCHES "^Magic\t+[0-9a-fA-F]+\t+\\((PE32\\+?)\\)")
      set(image_format "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^Entry d [0-9a-fA-F]+ ([0-9a-fA-F]+) Delay Import Directory")
      set(delay_imports "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^\tDLL Name: (.+)$")
      math(EXPR dll_index "${dll_index} + 1")
      list(APPEND dlls "${CMAKE_MATCH_1}")
      set(imports_${dll_index} "")
      set(section imports)
    elseif(section STREQUAL "imports" AND line MATCHES "^\t[0-9a-fA-F]+\t? *([0-9]+) +([^ \t]+)")
      if(CMAKE_MATCH_2 STREQUAL "<none>")
        list(APPEND imports_${dll_index} "#${CMAKE_MATCH_1}")
      else()
        list(APPEND imports_${dll_index} "${CMAKE_MATCH_2}")
      endif()
    elseif(line MATCHES "^Export Address Table -- Ordinal Base")
      set(section address_table)
    elseif(section STREQUAL "address_table" AND line MATCHES "^\t< *([0-9]+)> \\+base< *([0-9]+)>")
      list(APPEND address_entries "${CMAKE_MATCH_1}")
      set(ordinal_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
    elseif(line MATCHES "^<Ordinal/Name Pointer> Table")
      set(section names)
    elseif(section STREQUAL "names" AND line MATCHES "^\t< *([0-9]+)> (.+)$")
      list(APPEND named_entries "${CMAKE_MATCH_1}")
      list(APPEND exports "${CMAKE_MATCH_2}")
    endif()
  endforeach()
  # Entries of the export address table that no name points at, by ordinal.
  foreach(entry IN LISTS address_entries)
    if(NOT entry IN_LIST named_entries)
      list(APPEND exports "#${ordinal_${entry}}")
    endif()
  endforeach()
  list(SORT exports)
  foreach(var exports image_format dlls delay_imports)
    set(${var} "${${var}}" PARENT_SCOPE)
  endforeach()
  if(dll_index GREATER_EQUAL 0)
    foreach(i RANGE ${dll_index})
      set(imports_${i} "${imports_${i}}" PARENT_SCOPE)
    endforeach()
  endif()
endfunction()

function(read_linux_module)
  if(NOT NM)
    message(FATAL_ERROR "check_exports: set NM for a Linux module")
  endif()
  run_tool(lines "" "${OBJDUMP}" -f)
  set(image_format "")
  foreach(line IN LISTS lines)
    if(line MATCHES "file format elf(32|64)-")
      set(image_format "ELF${CMAKE_MATCH_1}")
    endif()
  endforeach()

  # "VALUE TYPE NAME[@[@]VERSION]".  Lower-case types are local symbols
  # ("u", a unique global, excepted); the absolute symbols that name a
  # version definition are markers, not exports.
  run_tool(lines "" "${NM}" -D --defined-only)
  set(symbols "")
  set(versions "")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[0-9a-fA-F]* *([A-Za-z]) ([^ ]+)$")
      continue()
    endif()
    set(type "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    if(name MATCHES "^([^@]+)@@?(.+)$")
      set(name "${CMAKE_MATCH_1}")
      list(APPEND versions "${CMAKE_MATCH_2}")
    endif()
    if(type MATCHES "^[a-z]$" AND NOT type STREQUAL "u")
      continue()
    endif()
    list(APPEND symbols "${type} ${name}")
  endforeach()
  set(exports "")
  foreach(symbol IN LISTS symbols)
    string(REGEX REPLACE "^(.) (.*)$" "\\1" type "${symbol}")
    string(REGEX REPLACE "^(.) (.*)$" "\\2" name "${symbol}")
    if(type STREQUAL "A" AND name IN_LIST versions)
      continue()
    endif()
    # AddressSanitizer gives each exported variable an ODR indicator.
    if(SANITIZE MATCHES "address" AND name MATCHES "^__odr_asan")
      continue()
    endif()
    # clang's UndefinedBehaviorSanitizer names the type of each function
    # whose indirect calls it checks.
    if(SANITIZE MATCHES "undefined" AND name MATCHES "^_ZT[IS]F")
      continue()
    endif()
    list(APPEND exports "${name}")
  endforeach()
  list(SORT exports)
  set(exports "${exports}" PARENT_SCOPE)
  set(image_format "${image_format}" PARENT_SCOPE)
endfunction()

# ---- Checks ------------------------------------------------------------------

function(check_exports_only_mod_descrip)
  if(NOT exports STREQUAL "_mod_descrip")
    list(JOIN exports ", " shown)
    problem("exports [${shown}]; it must export exactly one symbol, _mod_descrip")
  endif()
endfunction()

function(check_image_format)
  if(SYSTEM STREQUAL "Windows")
    if(BITS EQUAL 64)
      set(expected "PE32+")
    else()
      set(expected "PE32")
    endif()
  else()
    set(expected "ELF${BITS}")
  endif()
  if(NOT image_format STREQUAL expected)
    problem("is a ${image_format} image, not ${expected}")
  endif()
endfunction()

# Windows system DLLs: the loader finds them in the system directory, so the
# module needs nothing installed beside it.
set(system_dlls
  kernel32.dll msvcrt.dll user32.dll gdi32.dll advapi32.dll ntdll.dll ucrtbase.dll ws2_32.dll
  shell32.dll ole32.dll oleaut32.dll shlwapi.dll bcrypt.dll comdlg32.dll)

function(check_system_dlls_only)
  if(dlls STREQUAL "")
    problem("imports no DLL at all (objdump -p output not understood?)")
  endif()
  foreach(dll IN LISTS dlls)
    string(TOLOWER "${dll}" name)
    if(NOT name IN_LIST system_dlls AND NOT name MATCHES "^api-ms-win-")
      problem("imports ${dll}, which is not a Windows system DLL")
    endif()
  endforeach()
  if(NOT delay_imports MATCHES "^0+$")
    problem("has a delay-import directory (0x${delay_imports} bytes); its DLLs are not checked")
  endif()
endfunction()

function(print_imports)
  set(i 0)
  foreach(dll IN LISTS dlls)
    list(LENGTH imports_${i} count)
    list(JOIN imports_${i} " " names)
    message(STATUS "${dll} (${count}): ${names}")
    math(EXPR i "${i} + 1")
  endforeach()
endfunction()

# Every imported function is in the allow-list file.
function(check_imports_allowed file)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "check_exports: ${file}: no such allow-list file")
  endif()
  file(STRINGS "${file}" entries)
  set(allowed "")
  set(line_number 0)
  foreach(entry IN LISTS entries)
    math(EXPR line_number "${line_number} + 1")
    string(STRIP "${entry}" entry)
    if(entry STREQUAL "" OR entry MATCHES "^#")
      continue()
    endif()
    if(NOT entry MATCHES "^([^ \t]+)[ \t]+([^ \t]+)$")
      message(FATAL_ERROR "check_exports: ${file}:${line_number}: \"${entry}\" is not \"DLL function\"")
    endif()
    string(TOLOWER "${CMAKE_MATCH_1}" dll)
    list(APPEND allowed "${dll} ${CMAKE_MATCH_2}")
  endforeach()
  set(i 0)
  foreach(dll IN LISTS dlls)
    string(TOLOWER "${dll}" name)
    foreach(function IN LISTS imports_${i})
      if(NOT "${name} ${function}" IN_LIST allowed)
        problem("imports ${function} from ${dll}, which ${file} does not allow")
      endif()
    endforeach()
    math(EXPR i "${i} + 1")
  endforeach()
endfunction()

# ---- The run -------------------------------------------------------------------

if(SYSTEM STREQUAL "Windows")
  read_windows_module()
  print_imports()
  check_exports_only_mod_descrip()
  check_image_format()
  check_system_dlls_only()
  if(ALLOW)
    check_imports_allowed("${ALLOW}")
  endif()
else()
  if(ALLOW)
    message(FATAL_ERROR "check_exports: ALLOW applies to Windows modules only")
  endif()
  read_linux_module()
  check_exports_only_mod_descrip()
  check_image_format()
endif()

list(JOIN exports ", " shown)
get_property(problems GLOBAL PROPERTY check_exports_problems)
if(problems GREATER 0)
  message(FATAL_ERROR "check_exports: ${MODULE}: ${problems} problem(s)")
endif()
message(STATUS "check_exports: ${MODULE}: ${image_format}, exports ${shown}")
