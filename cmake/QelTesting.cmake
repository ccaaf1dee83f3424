# GoogleTest cross-built from Debian's source, and the helper that registers a test binary.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(QEL_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
add_subdirectory(${QEL_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

set(QEL_WINEPREFIX "${CMAKE_BINARY_DIR}/../wine" CACHE PATH "Private Wine prefix of the test session")

# qel_add_gtest(<target> <sources>...): a GoogleTest binary run under Wine by ctest.
function(qel_add_gtest target)
  add_executable(${target} ${ARGN})
  target_link_libraries(${target} PRIVATE GTest::gmock GTest::gtest_main)
  add_test(NAME ${target} COMMAND ${PROJECT_SOURCE_DIR}/cmake/run-gtest.sh $<TARGET_FILE:${target}>
           WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  set_tests_properties(${target} PROPERTIES ENVIRONMENT "WINEPREFIX=${QEL_WINEPREFIX}" TIMEOUT 600)
endfunction()
