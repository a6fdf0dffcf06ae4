# Installs the build into a fresh prefix, then uses only what is installed:
# builds the C client through find_package(Tarvex10) and again through
# pkg-config with the system's compiler, runs both, and runs the installed
# command, which must find the installed component by itself.
#
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... [-DCLIENT_FLAGS=...] -P installed_tree.cmake
#
# CLIENT_FLAGS are extra compiler and linker flags for the clients, e.g. the
# sanitizers that the installed libraries were built with. With PYTHON and
# PYTHON_DIR (the package's folder under the prefix), the installed Python
# package is used as well, unless the libraries carry a sanitizer.
foreach(variable BUILD_DIR SOURCE_DIR WORK_DIR)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
set(sample ${SOURCE_DIR}/tests/data/system_ffmpeg.mpg)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file bin/tarvex10 include/tarvex10/automation.h include/tarvex10/platform.h include/tarvex10/tarvex10.h
        include/tarvex10/automation.hpp)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# find_package.
run("configuring the client" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/cli/client -B ${WORK_DIR}/client
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release "-DCMAKE_C_FLAGS=${CLIENT_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${CLIENT_FLAGS}")
run("building the client" ${CMAKE_COMMAND} --build ${WORK_DIR}/client)
file(READ ${WORK_DIR}/client/component.txt component)
cmake_path(IS_PREFIX prefix "${component}" NORMALIZE inside)
if(NOT inside OR NOT EXISTS "${component}")
  message(FATAL_ERROR "TARVEX10_COMPONENT is not the installed component: ${component}")
endif()
run("the find_package client" ${WORK_DIR}/client/tarvex10_client ${component} ${sample} ${WORK_DIR}/cmake-cut.mpg)
message(STATUS "find_package client: ${output}")

# pkg-config, with the system's C compiler.
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
foreach(libdir lib lib64 lib/x86_64-linux-gnu lib/aarch64-linux-gnu)
  if(EXISTS ${prefix}/${libdir}/pkgconfig/tarvex10.pc)
    set(ENV{PKG_CONFIG_PATH} ${prefix}/${libdir}/pkgconfig)
  endif()
endforeach()
run("pkg-config" pkg-config --cflags --libs tarvex10)
string(STRIP "${output}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
run("pkg-config --variable=component" pkg-config --variable=component tarvex10)
string(STRIP "${output}" pc_component)
file(REAL_PATH "${pc_component}" pc_component)
file(REAL_PATH "${component}" real_component)
if(NOT pc_component STREQUAL real_component)
  message(FATAL_ERROR "pkg-config names ${pc_component}, the package ${real_component}")
endif()
separate_arguments(client_flags UNIX_COMMAND "${CLIENT_FLAGS}")
run("compiling with cc" cc -std=c11 -Wall -Wextra -Werror ${client_flags} ${SOURCE_DIR}/tests/cli/client/client.c
  ${flags} -ldl -o ${WORK_DIR}/pc-client)
run("the pkg-config client" ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib
  ${WORK_DIR}/pc-client ${pc_component} ${sample} ${WORK_DIR}/pc-cut.mpg)
message(STATUS "pkg-config client: ${output}")

# Both clients cut the same range with the same component.
file(SHA256 ${WORK_DIR}/cmake-cut.mpg first)
file(SHA256 ${WORK_DIR}/pc-cut.mpg second)
if(NOT first STREQUAL second)
  message(FATAL_ERROR "the two clients' cuts differ")
endif()

# The installed command finds the installed component on its own, through a
# private registry since this one is empty.
run("the installed command" ${CMAKE_COMMAND} -E env TVX_REGISTRY=${WORK_DIR}/registry
  ${prefix}/bin/tarvex10 cut --linear --force --verbose ${sample} ${WORK_DIR}/command-cut.mpg 1000ms 4000ms 6000ms)
file(SHA256 ${WORK_DIR}/command-cut.mpg third)
if(NOT first STREQUAL third)
  message(FATAL_ERROR "the installed command's cut differs from the clients'")
endif()
string(FIND "${output}" "${prefix}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "the installed command did not use the installed component:\n${output}")
endif()

# The installed Python package finds the installed libraries by itself.
if(PYTHON AND PYTHON_DIR AND NOT CLIENT_FLAGS)
  file(WRITE ${WORK_DIR}/use_package.py "import tarvex10, tarvex10._native as n\n"
    "m = tarvex10.Dispatch('Tarvex10.clsKwVidoMoviesA')\n"
    "m.filename = '${sample}'\n"
    "m.openMovie()\n"
    "print(m.getLengthInMS(), n.platform_dir())\n")
  run("the installed Python package" ${CMAKE_COMMAND} -E env --unset=TARVEX10_LIBRARY_DIR
    PYTHONPATH=${prefix}/${PYTHON_DIR} TVX_REGISTRY=${WORK_DIR}/python-registry ${PYTHON} ${WORK_DIR}/use_package.py)
  string(STRIP "${output}" output)
  file(REAL_PATH ${prefix} real_prefix)
  if(NOT output MATCHES "^6000 ${real_prefix}/" AND NOT output MATCHES "^6000 ${prefix}/")
    message(FATAL_ERROR "the installed Python package did not use the installed libraries: ${output}")
  endif()
  message(STATUS "Python package: ${output}")
endif()
