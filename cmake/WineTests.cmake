# GoogleTest, built from source for the target, and the way test programs are run:
# on Windows directly, when cross-compiling through tools/wine-exec (Wine, a throw-away
# scratch folder, the project's own prefix under the build folder).
set(GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/tools/wine-exec;${CMAKE_BINARY_DIR}")
endif()

# One test executable per subsystem; ctest runs each as one process.
function(veltrimox_add_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE veltrimox_test_support gtest)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
endfunction()
