# Installs the build into a scratch prefix, builds the host against the shared
# and the static library, each through find_package(cmpr) and through
# pkg-config (static: a wholly static program, as firmware links it), and runs
# each under the guarding script, as every program that holds the shipped
# library must run.
# A cross build does all this with its toolchain file (TOOLCHAIN) and runs
# the hosts through its emulator (EMULATOR).  Last, the .pc file of a build
# for Debian's /usr and multiarch libdir must lead to its folders wherever
# the install lands.  A cmake -P script cannot exit with 77 (CMake < 3.29):
# where the guarding script skipped, a line says so and the test counts as
# skipped.
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

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
set(toolchain)
if(TOOLCHAIN)
  set(toolchain -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN})
endif()
run(${CMAKE_COMMAND} -S ${SRC} -B ${WORK}/consumer -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${CC} ${toolchain})
run(${CMAKE_COMMAND} --build ${WORK}/consumer)
foreach(static "" --static)  # the shared library, then libcmpr.a
  run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/lib/pkgconfig
      pkg-config --cflags --libs ${static} cmpr)
  separate_arguments(flags UNIX_COMMAND "${last_out}")
  run(${CC} -std=c99 -Wall -Wextra -pedantic -Werror ${SRC}/host.c ${flags} ${static}
      -o ${WORK}/consumer_pc${static})
endforeach()
foreach(host consumer/consumer consumer/consumer_static consumer_pc consumer_pc--static)
  run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib sh ${SRC}/run_guarded.sh
      ${WORK}/${host} ${EMULATOR})
endforeach()

if(NOT TOOLCHAIN)
  run(${CMAKE_COMMAND} -S ${SRC}/../.. -B ${WORK}/multiarch -DCMAKE_INSTALL_PREFIX=/usr
      -DCMAKE_INSTALL_LIBDIR=lib/x86_64-linux-gnu -DCMPR_BUILD_TESTS=OFF -DCMPR_BUILD_TOOLS=OFF
      -DCMPR_BUILD_BENCH=OFF)
  file(COPY ${WORK}/multiarch/src/cmpr.pc DESTINATION ${WORK}/root/usr/lib/x86_64-linux-gnu/pkgconfig)
  set(dirs)
  foreach(var includedir libdir)
    run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${WORK}/root/usr/lib/x86_64-linux-gnu/pkgconfig
        pkg-config --variable=${var} cmpr)
    string(STRIP "${last_out}" dir)
    cmake_path(NORMAL_PATH dir)
    list(APPEND dirs ${dir})
  endforeach()
  if(NOT dirs STREQUAL "${WORK}/root/usr/include;${WORK}/root/usr/lib/x86_64-linux-gnu")
    message(FATAL_ERROR "the multiarch .pc file leads astray: ${dirs}")
  endif()
endif()
