# GoogleTest: the host's packaged libraries, or, in a cross build, the
# sources that the googletest package installs, built for the target.
option(CMPR_GTEST_FROM_SOURCE "Build GoogleTest from CMPR_GTEST_SOURCE_DIR for the target"
       ${CMAKE_CROSSCOMPILING})
set(CMPR_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (package googletest)")
if(CMPR_GTEST_FROM_SOURCE)
  if(NOT EXISTS ${CMPR_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "no GoogleTest sources in ${CMPR_GTEST_SOURCE_DIR}: install googletest")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${CMPR_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # g++ 12 warns wrongly about libstdc++'s string code that GoogleTest uses.
    target_compile_options(gtest PRIVATE -Wno-restrict)
  endif()
  if(NOT TARGET GTest::gtest)  # older sources name the targets only without namespace
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
else()
  find_package(GTest REQUIRED)
endif()
