# Warnings and sanitizers shared by every target of the project.
add_library(cmpr_flags INTERFACE)
target_compile_options(cmpr_flags INTERFACE -Wall -Wextra $<$<BOOL:${CMPR_WERROR}>:-Werror>)

if(CMPR_SANITIZE)
  set(_san -fsanitize=${CMPR_SANITIZE} -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(cmpr_flags INTERFACE ${_san})
  target_link_options(cmpr_flags INTERFACE ${_san})
endif()
