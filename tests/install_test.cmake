# Installs the build into a scratch prefix, then builds a small C host
# program against it twice, through find_package(cmpr) and through
# pkg-config, and runs each under the guarding script, as every program that
# loads the shipped library must run.  Where that script cannot guard (its
# exit status 77), stops with a line that marks the test skipped.
set(prefix ${WORK}/prefix)
set(guarded ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${prefix}/lib sh ${SRC}/../shared_host_reboot.sh --run)
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
foreach(f include/cmpr.h include/cmpr_config.h lib/libcmpr.so lib/cmake/cmpr/cmprConfig.cmake lib/pkgconfig/cmpr.pc)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

run(${CMAKE_COMMAND} -S ${SRC} -B ${WORK}/consumer -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_C_COMPILER=${CC} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK}/consumer)
run(${guarded} ${WORK}/consumer/consumer)

run(${CMAKE_COMMAND} -E env PKG_CONFIG_PATH=${prefix}/lib/pkgconfig pkg-config --cflags --libs cmpr)
separate_arguments(flags UNIX_COMMAND "${last_out}")
run(${CC} -std=c99 -Wall -Wextra -pedantic -Werror ${SRC}/main.c ${flags} -o ${WORK}/consumer_pc)
run(${guarded} ${WORK}/consumer_pc)
