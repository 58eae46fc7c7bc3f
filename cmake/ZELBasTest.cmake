# add_zelbas_test(<target> <source>... [LIBRARIES <library>...] [PROPERTIES <name> <value>...])
# A GoogleTest program linked with the given libraries and gtest_main, whose
# tests CTest discovers one by one; PROPERTIES are set on each test.
find_package(GTest REQUIRED)
include(GoogleTest)

function(add_zelbas_test target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LIBRARIES;PROPERTIES")
  add_executable(${target} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${target} PRIVATE ${arg_LIBRARIES} GTest::gtest GTest::gtest_main)
  # The helpers every test may use, the modules' own included:
  # AllocationScope.h, TempDir.h, ...
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  if(arg_PROPERTIES)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES ${arg_PROPERTIES})
  else()
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
