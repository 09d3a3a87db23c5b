# Installs the build into a scratch prefix, builds the host against the shared
# and the static library, each through find_package(cmpr) and through
# pkg-config (static: a wholly static program, as firmware links it), and runs
# each under the guarding script, as every program that holds the shipped
# library must run.
# A cmake -P script cannot exit with 77 (CMake < 3.29): where the guarding
# script skipped, a line says so and the test counts as skipped.
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
run(${CMAKE_COMMAND} -S ${SRC} -B ${WORK}/consumer -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${CC})
run(${CMAKE_COMMAND} --build ${WORK}/consumer)
foreach(static "" --static)  # the shared library, then libcmpr.a
  run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/lib/pkgconfig
      pkg-config --cflags --libs ${static} cmpr)
  separate_arguments(flags UNIX_COMMAND "${last_out}")
  run(${CC} -std=c99 -Wall -Wextra -pedantic -Werror ${SRC}/host.c ${flags} ${static}
      -o ${WORK}/consumer_pc${static})
endforeach()
foreach(host consumer/consumer consumer/consumer_static consumer_pc consumer_pc--static)
  run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib sh ${SRC}/run_guarded.sh ${WORK}/${host})
endforeach()
