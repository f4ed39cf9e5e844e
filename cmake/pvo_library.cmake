# pvo_library(<name> [DEPS ...] [PRIVATE_DEPS ...] [TEST_DEPS ...] [THREAD_TESTS])
#
# One static library from src/*.cpp with its public headers in include/<name>/, and one
# GoogleTest executable from tests/*.cpp. A library without sources yet is an INTERFACE
# target, so the graph can be laid out before every module exists.
# THREAD_TESTS marks the test executable for the ThreadSanitizer build (label "threads").
function(pvo_library name)
  cmake_parse_arguments(ARG "THREAD_TESTS" "" "DEPS;PRIVATE_DEPS;TEST_DEPS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp)
  if(srcs)
    add_library(${name} STATIC ${srcs})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                                       PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/include)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()

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
