# The product: a PE32 GUI executable with its own entry routine and no C runtime.
add_executable(Ochrelight WIN32 ${OCHRELIGHT_SOURCES})
target_include_directories(Ochrelight PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(Ochrelight PRIVATE
  -Wall -Wextra -Werror
  -Os -ffreestanding -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
  -fno-unwind-tables -fno-stack-protector -fno-ident -ffunction-sections -fdata-sections
)
target_link_options(Ochrelight PRIVATE
  -nostdlib -nostartfiles -s
  -Wl,-e,_EntryPoint
  -Wl,--gc-sections
  -Wl,--dynamicbase,--nxcompat,--tsaware,--no-seh
)
# OpenGL is not linked: it is loaded at run time from the system directory.
target_link_libraries(Ochrelight PRIVATE kernel32 user32 gdi32)
set_target_properties(Ochrelight PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})

# The end-to-end driver: an ordinary Win32 program that sees Ochrelight only through the platform's API.
add_executable(e2e_driver tests/e2e/driver.cpp tests/e2e/driver_support.cpp)
target_compile_options(e2e_driver PRIVATE -Wall -Wextra -Werror -O1)
target_link_options(e2e_driver PRIVATE -static)
target_link_libraries(e2e_driver PRIVATE gdi32)

set(E2E_SESSION ${PROJECT_SOURCE_DIR}/tests/e2e/wine-session)
set(E2E_PREFIX ${PROJECT_BINARY_DIR}/wineprefix)
set(E2E_SHOTS ${PROJECT_BINARY_DIR}/e2e-shots)
get_filename_component(E2E_BUILD ${PROJECT_BINARY_DIR} NAME)

add_test(NAME e2e.${E2E_BUILD}
  COMMAND ${E2E_SESSION} ${E2E_PREFIX} ${E2E_SHOTS}
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:e2e_driver> $<TARGET_FILE:Ochrelight> ${E2E_SHOTS})
set_tests_properties(e2e.${E2E_BUILD} PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE)
