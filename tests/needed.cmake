# cmpr_needed(FILE ALLOWED OUT): the libraries that the ELF file FILE needs
# (its NEEDED entries, read with READELF, the target's readelf) go to OUT;
# fails unless each is one of ALLOWED, a regular expression of names before
# ".so.": the C library and, per use, its dynamic loader, zlib and libcmpr.
# No C++ runtime and no libgcc_s, which a firmware image may not carry.
function(cmpr_needed file allowed out)
  execute_process(COMMAND ${READELF} -d ${file} OUTPUT_VARIABLE dynamic COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]+\\]" needed "${dynamic}")
  list(TRANSFORM needed REPLACE ".*\\[(.*)\\]" "\\1")
  set(extra ${needed})
  list(FILTER extra EXCLUDE REGEX "^(${allowed})\\.so\\.")
  if(extra)
    message(FATAL_ERROR "${file} needs ${extra} beside the C library\n  needed: ${needed}")
  endif()
  set(${out} "${needed}" PARENT_SCOPE)
endfunction()
