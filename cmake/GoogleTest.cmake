# GoogleTest from Debian's source copy, built with whatever compiler this build uses
# (the cross compilers have no prebuilt library).
set(TOVK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${TOVK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# One test executable per folder of test sources: the portable files, plus the files of
# this build's backend folder (win32/ or posix/) when there is one.
function(tovk_add_test name folder)
    file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp ${folder}/${TOVK_BACKEND}/*.cpp)
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
    # Under Wine each process start costs, so one CTest test per executable. A test that
    # hangs (a damaged mailbox walked in a loop, a Wine process waiting on a dialog) must
    # fail the run instead of stalling it; the limit is far above what a whole executable
    # takes under Wine on a loaded machine.
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "TOVK_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data"
        TIMEOUT 600)
endfunction()
