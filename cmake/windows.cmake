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
)
target_link_libraries(Ochrelight PRIVATE kernel32 user32 gdi32 opengl32)
set_target_properties(Ochrelight PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
