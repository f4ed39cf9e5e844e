# pvo_library(<name> [DEPS ...] [PRIVATE_DEPS ...] [TEST_DEPS ...] [THREAD_TESTS])
#
# One static library from src/*.cpp with its public headers in include/<name>/, and one
# GoogleTest executable from tests/*.cpp.
# THREAD_TESTS marks the test executable for the ThreadSanitizer build (label "threads").
function(pvo_library name)
  cmake_parse_arguments(ARG "THREAD_TESTS" "" "DEPS;PRIVATE_DEPS;TEST_DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp)
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                     PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})

  if(PVO_BUILD_TESTS)
    file(GLOB test_srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
    if(test_srcs)
      add_executable(${name}-tests ${test_srcs})
      target_include_directories(${name}-tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src
                                                       ${CMAKE_CURRENT_SOURCE_DIR}/tests)
      target_link_libraries(${name}-tests PRIVATE ${name} ${ARG_PRIVATE_DEPS} ${ARG_TEST_DEPS}
                                                  GTest::gmock GTest::gtest_main)
      # One label each: a list would be split apart on its way through gtest_discover_tests.
      set(label unit)
      if(ARG_THREAD_TESTS)
        set(label threads)
        set_property(GLOBAL APPEND PROPERTY PVO_THREAD_TEST_TARGETS ${name}-tests)
        target_link_libraries(${name}-tests PRIVATE pvo-tsan-suppressions)
      endif()
      gtest_discover_tests(${name}-tests
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 120 LABELS ${label})
    endif()
  endif()
endfunction()

# pvo_fuzz_target(<name> SOURCES ... [INCLUDES ...] [LIBS ...])
#
# One libFuzzer executable (option PVO_WITH_FUZZ), with AddressSanitizer and UBSan, listed in
# the `fuzz-targets` target that scripts/run-fuzz.sh builds. It needs clang 16 with libc++ 16:
# clang's own libstdc++ support lacks std::expected. The sources under test are compiled in
# directly, so nothing else of the project is built with this toolchain.
function(pvo_fuzz_target name)
  cmake_parse_arguments(ARG "" "" "SOURCES;INCLUDES;LIBS" ${ARGN})
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang" OR CMAKE_CXX_COMPILER_VERSION VERSION_LESS 16)
    message(FATAL_ERROR "PVO_WITH_FUZZ needs clang 16 or newer (CMAKE_CXX_COMPILER=clang++-16)")
  endif()
  set(flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -stdlib=libc++)
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${ARG_INCLUDES})
  target_compile_options(${name} PRIVATE ${flags} -O1 -g -fno-omit-frame-pointer)
  target_link_options(${name} PRIVATE ${flags})
  # Debian's libFuzzer runtime is built against libstdc++; it lives beside libc++ in the
  # process under its own namespace.
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} -l:libstdc++.so.6)
  set_property(GLOBAL APPEND PROPERTY PVO_FUZZ_TARGETS ${name})
endfunction()
