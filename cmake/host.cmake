# Unit tests: the product's own sources, built for this machine against the platform stand-in.
find_package(GTest REQUIRED)

add_library(standin STATIC tests/standin/standin.cpp)
target_include_directories(standin PUBLIC tests/standin PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(standin PRIVATE -Wall -Wextra -Werror)

add_library(product STATIC ${OCHRELIGHT_SOURCES})
target_include_directories(product PUBLIC ${PROJECT_SOURCE_DIR} tests/standin)
target_compile_options(product PRIVATE -Wall -Wextra -Werror)

add_executable(unit_tests
  tests/unit/entry_test.cpp
  tests/unit/opengl_test.cpp
  tests/unit/pixel_format_test.cpp
  tests/unit/window_proc_test.cpp
  tests/unit/cause_test.cpp
  tests/e2e/reading.cpp
)
target_compile_options(unit_tests PRIVATE -Wall -Wextra -Werror)
target_link_libraries(unit_tests PRIVATE product standin GTest::gtest_main)

include(GoogleTest)
gtest_discover_tests(unit_tests)
