# Installs the build into a scratch prefix, builds the host against it twice,
# through find_package(cmpr) and through pkg-config, and runs each under the
# guarding script, as every program that loads the shipped library must run.
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
run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/lib/pkgconfig pkg-config --cflags --libs cmpr)
separate_arguments(flags UNIX_COMMAND "${last_out}")
run(${CC} -std=c99 -Wall -Wextra -pedantic -Werror ${SRC}/host.c ${flags} -o ${WORK}/consumer_pc)
foreach(host ${WORK}/consumer/consumer ${WORK}/consumer_pc)
  run(${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib sh ${SRC}/run_guarded.sh ${host})
endforeach()
