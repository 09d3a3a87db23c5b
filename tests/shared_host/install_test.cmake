# The installed package, as a firmware project takes it; HALF says which
# half runs (two tests, so that each stays short).
#
# HALF=consumer installs the build into a scratch prefix and builds the host
# (host.c) against it each way a firmware project may: through
# find_package(cmpr) in a C project and in a C and C++ project, shared and
# static, and through pkg-config (static: a wholly static program linked with
# --gc-sections, which must leave out the building blocks the host does not
# call).  None may need more than the C library, zlib where the wrappers are
# built, and libcmpr.so for the shared builds: their NEEDED entries are
# printed and checked.  Each host then runs under the guarding script, as
# every program that holds the shipped library must run.
#
# HALF=layout builds the library for Debian's /usr (unoptimised: only the
# layout counts), stages its install under DESTDIR, and checks that it lands
# in the multiarch libdir (lib/MULTIARCH) and is found there through its .pc
# file and its CMake package.
#
# A cross build does all this with its toolchain file (TOOLCHAIN), its
# binutils (READELF, NM) and its emulator (EMULATOR).  A cmake -P script
# cannot exit with 77 (CMake < 3.29): where the guarding script skipped, a
# line says so and the test counts as skipped.
include(${SRC}/../needed.cmake)
set(prefix ${WORK}/prefix)
file(REMOVE_RECURSE ${WORK})
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc EQUAL 77)
    message(FATAL_ERROR "install_consumer SKIPPED: ${out}")
  elseif(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  set(last_out "${out}" PARENT_SCOPE)
endfunction()
# The value of pkg-config's VARIABLE for cmpr, from the .pc files in DIR.
function(pc_variable dir variable out)
  run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${dir} pkg-config --variable=${variable} cmpr)
  string(STRIP "${last_out}" value)
  cmake_path(NORMAL_PATH value)
  set(${out} ${value} PARENT_SCOPE)
endfunction()

set(compilers -DCMAKE_C_COMPILER=${CC} -DCMAKE_CXX_COMPILER=${CXX})
if(TOOLCHAIN)
  list(APPEND compilers -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
if(HALF STREQUAL "layout")
  set(usr ${WORK}/root/usr)
  run(${CMAKE_COMMAND} -S ${SRC}/../.. -B ${WORK}/usr-build ${compilers}
      -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_BUILD_TYPE=Debug -DCMPR_BUILD_TESTS=OFF
      -DCMPR_BUILD_TOOLS=OFF -DCMPR_BUILD_BENCH=OFF)
  run(${CMAKE_COMMAND} --build ${WORK}/usr-build -j2)
  run(${CMAKE_COMMAND} -E env DESTDIR=${WORK}/root ${CMAKE_COMMAND} --install ${WORK}/usr-build)
  set(dirs)
  foreach(var includedir libdir)
    pc_variable(${usr}/lib/${MULTIARCH}/pkgconfig ${var} dir)
    list(APPEND dirs ${dir})
  endforeach()
  if(NOT dirs STREQUAL "${usr}/include;${usr}/lib/${MULTIARCH}")
    message(FATAL_ERROR "the .pc file of a /usr install leads astray: ${dirs}")
  endif()
  run(${CMAKE_COMMAND} -S ${SRC} -B ${WORK}/usr-consumer -DCMAKE_PREFIX_PATH=${usr} -DWITH_CXX=ON
      ${compilers})
  run(${CMAKE_COMMAND} --build ${WORK}/usr-consumer)
  file(STRINGS ${WORK}/usr-consumer/CMakeCache.txt found REGEX "^cmpr_DIR:")
  if(NOT found STREQUAL "cmpr_DIR:PATH=${usr}/lib/${MULTIARCH}/cmake/cmpr")
    message(FATAL_ERROR "the CMake package of a /usr install: ${found}")
  endif()
  return()
endif()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
set(hosts)
foreach(cxx OFF ON)
  set(dir ${WORK}/cmake-c)
  if(cxx)
    string(APPEND dir "-cxx")
  endif()
  run(${CMAKE_COMMAND} -S ${SRC} -B ${dir} -DCMAKE_PREFIX_PATH=${prefix} -DWITH_CXX=${cxx}
      ${compilers})
  run(${CMAKE_COMMAND} --build ${dir})
  list(APPEND hosts ${dir}/consumer ${dir}/consumer_static)
endforeach()
foreach(static "" --static)  # the shared library, then libcmpr.a
  run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/${LIBDIR}/pkgconfig
      pkg-config --cflags --libs ${static} cmpr cmpr_check)
  separate_arguments(flags UNIX_COMMAND "${last_out}")
  if(static)
    list(APPEND flags -static -Wl,--gc-sections)
  endif()
  run(${CC} -std=c99 -Wall -Wextra -pedantic -Werror ${SRC}/host.c ${flags}
      -o ${WORK}/pkg-config${static})
  list(APPEND hosts ${WORK}/pkg-config${static})
endforeach()
foreach(host IN LISTS hosts)
  cmpr_needed(${host} "libc|ld-linux-armhf|libz|libcmpr|libcmpr_check" needed)
  cmake_path(RELATIVE_PATH host BASE_DIRECTORY ${WORK} OUTPUT_VARIABLE name)
  if(NOT needed)
    set(needed "none (static)")
  endif()
  message(STATUS "NEEDED ${name}: ${needed}")
endforeach()
run(${NM} ${WORK}/pkg-config--static)
foreach(unused dump_tree get_table put_word)
  if(last_out MATCHES " ${unused}\n")
    message(FATAL_ERROR "--gc-sections left ${unused} in a static host that does not call it")
  endif()
endforeach()

foreach(host IN LISTS hosts)
  run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/${LIBDIR} sh ${SRC}/run_guarded.sh
      ${host} ${EMULATOR})
endforeach()
