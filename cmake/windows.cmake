# Every executable is the same byte for byte from the same sources: the header's time stamp is SOURCE_DATE_EPOCH
# when it is set, else a fixed one, and no path of the build machine is kept. GNU ld reads the variable while it
# links; LLD takes the stamp as an option.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(OCHRELIGHT_TIMESTAMP $ENV{SOURCE_DATE_EPOCH})
else()
  set(OCHRELIGHT_TIMESTAMP 0)
endif()
if(NOT OCHRELIGHT_TIMESTAMP MATCHES "^[0-9]+$" OR OCHRELIGHT_TIMESTAMP GREATER 4294967295)
  message(FATAL_ERROR "SOURCE_DATE_EPOCH is \"${OCHRELIGHT_TIMESTAMP}\": a PE time stamp needs seconds from 0 to 2^32-1")
endif()
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${OCHRELIGHT_TIMESTAMP})
add_link_options(
  $<$<CXX_COMPILER_ID:GNU>:-Wl,--insert-timestamp>
  $<$<CXX_COMPILER_ID:Clang>:-Wl,-Xlink=-timestamp:${OCHRELIGHT_TIMESTAMP}>)
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${PROJECT_BINARY_DIR}/=)

# A PE32 (PE32+ on x86-64) GUI executable with its own entry routine and no C runtime, hardened, laid out in three
# sections (code with constants and imports, zeroed state, relocations) so that its headers take one 512-byte unit.
# The build's word size names its Wine prefix kind and its package.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(OCHRELIGHT_WINEARCH win64)
  set(OCHRELIGHT_PACKAGE_SYSTEM "64-bit Windows")
  # The x64 convention decorates no C names; 64-bit address space layout randomisation uses all of it.
  set(OCHRELIGHT_ENTRY EntryPoint)
  set(OCHRELIGHT_ARCH_LINK_OPTIONS -Wl,--high-entropy-va)
  # Windows walks an x64 stack only through the unwind data of each function that saves registers, takes stack or
  # calls out; without it an exception raised in the OpenGL driver under the window procedure, a crash dump or a
  # debugger would unwind it wrongly. The map names the functions, for the check that the table covers them.
  set(OCHRELIGHT_ARCH_COMPILE_OPTIONS -fasynchronous-unwind-tables)
  set(OCHRELIGHT_MAP_OPTION -Wl,-Map=${PROJECT_BINARY_DIR}/@name@.map)
  set(E2E_MAP ${PROJECT_BINARY_DIR}/Ochrelight.map)
else()
  set(OCHRELIGHT_WINEARCH win32)
  set(OCHRELIGHT_PACKAGE_SYSTEM "32-bit Windows")
  set(OCHRELIGHT_ENTRY _EntryPoint)
  # Exception handlers on x86 are registered at run time: the image declares that it registers none, and it needs
  # no unwind tables.
  set(OCHRELIGHT_ARCH_LINK_OPTIONS -Wl,--no-seh)
  # No stack probes, which would need the C runtime's, and pushes, which are shorter than stores. A frame of a page
  # or more could then step over the stack's guard page and crash on Windows: the build refuses one.
  set(OCHRELIGHT_ARCH_COMPILE_OPTIONS -fno-asynchronous-unwind-tables -fno-unwind-tables -Wframe-larger-than=4096
      $<$<CXX_COMPILER_ID:GNU>:-mno-accumulate-outgoing-args -mno-stack-arg-probe -mpreferred-stack-boundary=2>)
  set(OCHRELIGHT_MAP_OPTION "")
  set(E2E_MAP "")
endif()
function(add_bare_executable name)
  add_executable(${name} WIN32 ${ARGN})
  string(CONFIGURE "${OCHRELIGHT_MAP_OPTION}" map_option @ONLY)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE
    -Wall -Wextra -Werror
    -Os -fno-builtin -fno-exceptions -fno-rtti -fno-stack-protector -fno-ident -fomit-frame-pointer
    ${OCHRELIGHT_ARCH_COMPILE_OPTIONS}
  )
  target_link_options(${name} PRIVATE
    -nostdlib -nostartfiles -s
    -Wl,-e,${OCHRELIGHT_ENTRY}
    -Wl,--dynamicbase,--nxcompat,--tsaware
    # Windows Vista and later, on every build and from either linker, rather than each linker's own default.
    -Wl,--major-os-version,6,--minor-os-version,0,--major-subsystem-version,6,--minor-subsystem-version,0
    ${OCHRELIGHT_ARCH_LINK_OPTIONS} ${map_option}
    $<$<CXX_COMPILER_ID:GNU>:-Wl,-T,${PROJECT_SOURCE_DIR}/cmake/three-sections.ld>
    $<$<CXX_COMPILER_ID:Clang>:-Wl,-Xlink=-merge:.rdata=.text>
  )
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/cmake/three-sections.ld)
  # OpenGL is not linked: the product loads it at run time from the system directory.
  target_link_libraries(${name} PRIVATE kernel32 user32 gdi32)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
endfunction()

# The executable's manifest and version resource, compiled apart from the code, as windres takes none of its options.
# The authors are the licence's.
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE OCHRELIGHT_COPYRIGHT REGEX "^Copyright " LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright \\(c\\) [0-9, -]+ " "" OCHRELIGHT_AUTHORS "${OCHRELIGHT_COPYRIGHT}")
configure_file(cmake/resources.rc.in resources.rc @ONLY)
# What the driver's check of the version resource expects.
set(OCHRELIGHT_VERSION_DEFINITIONS OCHRELIGHT_VERSION="${PROJECT_VERSION}" OCHRELIGHT_AUTHORS="${OCHRELIGHT_AUTHORS}"
    OCHRELIGHT_COPYRIGHT="${OCHRELIGHT_COPYRIGHT}")
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/resources.o
  COMMAND ${CMAKE_RC_COMPILER} -O coff -i ${PROJECT_BINARY_DIR}/resources.rc -o ${PROJECT_BINARY_DIR}/resources.o
  DEPENDS ${PROJECT_BINARY_DIR}/resources.rc ${PROJECT_SOURCE_DIR}/cmake/ochrelight.manifest)
set_source_files_properties(${PROJECT_BINARY_DIR}/resources.o PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
add_bare_executable(Ochrelight ${OCHRELIGHT_SOURCES} ${PROJECT_BINARY_DIR}/resources.o)

# The end-to-end driver: an ordinary Win32 program that sees Ochrelight only through the platform's API.
add_executable(e2e_driver tests/e2e/driver.cpp tests/e2e/driver_support.cpp tests/e2e/faults.cpp tests/e2e/kit.cpp
  tests/e2e/load.cpp tests/e2e/probe.cpp tests/e2e/reading.cpp render/opengl.cpp render/pixel_format.cpp)
target_include_directories(e2e_driver PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(e2e_driver PRIVATE -Wall -Wextra -Werror -O1)
target_compile_definitions(e2e_driver PRIVATE ${OCHRELIGHT_VERSION_DEFINITIONS})
target_link_options(e2e_driver PRIVATE -static)
target_link_libraries(e2e_driver PRIVATE gdi32 gdiplus psapi version advapi32 dwmapi)

# A planted opengl32.dll for the DLL-planting scenario, kept out of the executable's own folder.
add_library(marker_opengl32 SHARED tests/e2e/marker_opengl32.cpp)
target_compile_options(marker_opengl32 PRIVATE -Wall -Wextra -Werror)
target_link_options(marker_opengl32 PRIVATE -static -Wl,--kill-at)
set_target_properties(marker_opengl32 PROPERTIES
  OUTPUT_NAME opengl32 PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/marker)
add_dependencies(e2e_driver marker_opengl32)

# The stand-in's records, built against the platform's own headers: a layout that differs does not compile.
add_library(standin_layout OBJECT tests/standin/layout_check.cpp)
target_compile_options(standin_layout PRIVATE -Wall -Wextra -Werror)

get_filename_component(E2E_BUILD ${PROJECT_BINARY_DIR} NAME)
# A 64-bit build's sessions run in a 64-bit prefix; a 32-bit build's, where they run in the guest, in its own guest.
set(E2E_SESSION ${CMAKE_COMMAND} -E env WINEARCH=${OCHRELIGHT_WINEARCH} OCHRELIGHT_GUEST_NAME=${E2E_BUILD}
    ${PROJECT_SOURCE_DIR}/tests/e2e/wine-session)
set(E2E_PREFIX ${PROJECT_BINARY_DIR}/wineprefix)
set(E2E_SHOTS ${PROJECT_BINARY_DIR}/e2e-shots)

# Where this host runs no 32-bit code, a serving guest of each 32-bit build's own runs its sessions (tests/README.md).
# The two builds' guests run at once, each with half the host's cores, rounded down (one on a host of one: 1 / cores
# adds it there alone). A main run on Wine's virtual desktop or bare X is as fast on one emulated processor as on two,
# and on a loaded host two emulated processors wait on each other; openbox's takes twice as long on one, but the two
# builds' runs now overlap.
# A guest runs one session at a time: its processors are a share of the host's, and a main run keeps them busy for
# minutes, so a session beside one would stretch both toward their bounds.
set(E2E_FIXTURES wine.${E2E_BUILD})
set(E2E_GUEST_FIXTURE "")
set(E2E_IN_GUEST FALSE)
set(E2E_PLACE "")
if(OCHRELIGHT_WINEARCH STREQUAL win32)
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/host-kind OUTPUT_VARIABLE E2E_HOST_KIND
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(E2E_HOST_KIND STREQUAL guest)
    set(E2E_IN_GUEST TRUE)
    set(E2E_PLACE RESOURCE_LOCK guest-processor.${E2E_BUILD})
    cmake_host_system_information(RESULT E2E_HOST_CORES QUERY NUMBER_OF_LOGICAL_CORES)
    math(EXPR E2E_GUEST_CPUS "${E2E_HOST_CORES} / 2 + 1 / ${E2E_HOST_CORES}")
    set(E2E_GUEST_FIXTURE guest.${E2E_BUILD})
    add_test(NAME guest-start.${E2E_BUILD}
      COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/guest start ${E2E_BUILD} ${E2E_GUEST_CPUS})
    add_test(NAME guest-stop.${E2E_BUILD} COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/guest stop ${E2E_BUILD})
    set_tests_properties(guest-start.${E2E_BUILD} PROPERTIES FIXTURES_SETUP ${E2E_GUEST_FIXTURE} TIMEOUT 900)
    set_tests_properties(guest-stop.${E2E_BUILD} PROPERTIES FIXTURES_CLEANUP ${E2E_GUEST_FIXTURE} TIMEOUT 300)
    list(APPEND E2E_FIXTURES ${E2E_GUEST_FIXTURE})
  endif()
endif()

# The Wine prefix every test of this build runs a copy of, made once.
add_test(NAME wineprefix.${E2E_BUILD} COMMAND ${E2E_SESSION} ${E2E_PREFIX} ${E2E_SHOTS} true)
set_tests_properties(wineprefix.${E2E_BUILD} PROPERTIES
  FIXTURES_SETUP wine.${E2E_BUILD} FIXTURES_REQUIRED "${E2E_GUEST_FIXTURE}" ${E2E_PLACE})

# The executable's headers, manifest and version resource, read on this host with pefile: no Wine, no X server.
math(EXPR E2E_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
add_test(NAME pe-headers.${E2E_BUILD}
  COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/pe_headers.py $<TARGET_FILE:Ochrelight> ${E2E_BITS} ${PROJECT_VERSION}
          ${OCHRELIGHT_AUTHORS} ${OCHRELIGHT_COPYRIGHT} ${E2E_MAP})

# One driver session on one desktop, running the named scenario (all everyday and load ones when empty) in the
# session's environment; the test is named NAME.DESKTOP.BUILD. The bounds only catch a hang: in the emulated guest,
# under a window manager, the main run takes up to about ten minutes.
function(add_e2e_test name desktop scenario environment)
  set(shots ${E2E_SHOTS}/${desktop}/${name})
  add_test(NAME ${name}.${desktop}.${E2E_BUILD}
    COMMAND ${E2E_SESSION} ${E2E_PREFIX} ${shots}
            ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:e2e_driver> $<TARGET_FILE:Ochrelight> ${shots} ${scenario})
  set_tests_properties(${name}.${desktop}.${E2E_BUILD} PROPERTIES
    ENVIRONMENT "OCHRELIGHT_DESKTOP=${desktop};OCHRELIGHT_SESSION_TIMEOUT=1500;${environment}"
    FIXTURES_REQUIRED "${E2E_FIXTURES}" TIMEOUT 2400 ${E2E_PLACE})
  # Each guest's sessions, one after another, are the run's longest chain. Its main runs start first (a cost above any
  # test's), in a clean tree too, where CTest has no timings of earlier runs and would start the fault sessions first
  # instead.
  if(E2E_IN_GUEST AND name STREQUAL "e2e")
    set_tests_properties(${name}.${desktop}.${E2E_BUILD} PROPERTIES COST 100000)
  endif()
endfunction()

# Every session on each of the three desktops: the main run, and three sessions set up for one fault each: a planted
# opengl32.dll, OpenGL switched off, and an X server without GLX, where no pixel format can be had at all.
foreach(desktop virtual-desktop openbox bare-x)
  add_e2e_test(e2e ${desktop} "" "")
  add_e2e_test(e2e-planting ${desktop} planting "WINEDLLOVERRIDES=opengl32=n,b")
  add_e2e_test(e2e-no-opengl ${desktop} no-opengl "WINEDLLOVERRIDES=opengl32=d")
  add_e2e_test(e2e-no-glx ${desktop} no-gl-display "OCHRELIGHT_XVFB_ARGS=-extension GLX")
endforeach()

# The main run's screenshot, written by the platform's PNG encoder, decoded by another: Pillow's. The screen is mostly
# the first frame's ochre.
add_test(NAME screenshot.${E2E_BUILD} COMMAND /usr/bin/python3 -c [[
import sys
from PIL import Image
image = Image.open(sys.argv[1]).convert("RGB")
count, colour = max(image.getcolors(1 << 20))
ok = image.size == (1024, 768) and colour == (217, 191, 128)
print("%s %s: %dx%d, %d pixels of %s the commonest" % ("ok  " if ok else "FAIL", sys.argv[1], *image.size, count, colour))
sys.exit(0 if ok else 1)]] ${E2E_SHOTS}/virtual-desktop/e2e/first-frame.png)
set_tests_properties(screenshot.${E2E_BUILD} PROPERTIES DEPENDS e2e.virtual-desktop.${E2E_BUILD})

# Three more axes, each other value once on Wine's virtual desktop: Mesa's softpipe, a 16-bit screen (the depth the
# program's own pixel format asks for) and 144 DPI (the 150 % scaling of many laptops). A main run in the emulated
# guest takes minutes, so there only the 64-bit build, which runs here, has them.
if(NOT E2E_IN_GUEST)
  add_e2e_test(e2e-softpipe virtual-desktop "" "OCHRELIGHT_GL_DRIVER=softpipe")
  add_e2e_test(e2e-16-bit virtual-desktop "" "OCHRELIGHT_SCREEN_DEPTH=16")
  add_e2e_test(e2e-144-dpi virtual-desktop "" "OCHRELIGHT_DPI=144")
endif()

# The 32-bit build refuses a frame that would need a stack probe: a function with an 8 KiB array does not compile.
if(OCHRELIGHT_WINEARCH STREQUAL win32)
  add_bare_executable(frame_guard tests/e2e/frame_guard.cpp)
  set_target_properties(frame_guard PROPERTIES EXCLUDE_FROM_ALL TRUE)
  # It passes only where the build fails and the compiler names the frame as the reason.
  add_test(NAME frame-guard.${E2E_BUILD} COMMAND sh -c [[
    out=$("$1" --build "$2" --target frame_guard 2>&1) && { echo "$out"; echo "FAIL frame_guard built"; exit 1; }
    echo "$out"
    echo "$out" | grep -qE 'frame size.*(larger than|exceeds limit)' || { echo "FAIL the build failed, not on the frame"; exit 1; }
    echo "ok   the 8 KiB frame is refused"]] sh ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR})
endif()

# Two builds of this configuration from scratch, in directories of other names and at other times, give the same
# bytes.
add_test(NAME reproducible.${E2E_BUILD}
  COMMAND nice -n 19 ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DPRESET=${E2E_BUILD}
          -DWORK=${PROJECT_BINARY_DIR}/reproducible -P ${PROJECT_SOURCE_DIR}/tests/reproducible.cmake)
# They build one step at a time on one core, at the lowest priority, and come last (a cost below any test's, which
# CTest takes over its timings of earlier runs): they have no bound but their timeout, and the sessions have bounds on
# screen updates.
set_tests_properties(reproducible.${E2E_BUILD} PROPERTIES TIMEOUT 900 COST -1)

# The benchmark and its floor: the same window painted by GDI alone. Run by tools/bench, not by the tests.
add_bare_executable(gdi_floor bench/floor.cpp)
add_executable(bench bench/bench.cpp tests/e2e/driver_support.cpp tests/e2e/probe.cpp render/pixel_format.cpp)
target_include_directories(bench PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(bench PRIVATE -Wall -Wextra -Werror -O2)
target_link_options(bench PRIVATE -static)
target_link_libraries(bench PRIVATE gdi32 gdiplus imagehlp psapi)

add_executable(gl_costs bench/gl_costs.cpp render/opengl.cpp)
target_include_directories(gl_costs PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(gl_costs PRIVATE -Wall -Wextra -Werror -O2)
target_link_options(gl_costs PRIVATE -static)
target_link_libraries(gl_costs PRIVATE gdi32)

# The package: the executable, a read-me for Windows users, the licence and the SHA-256 of each, in one zip file in
# build/.
configure_file(cmake/package-readme.txt.in README.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
# The verify kit's read-me; tools/release packs it with the executable and the driver.
configure_file(cmake/verify.txt.in VERIFY.txt @ONLY NEWLINE_STYLE CRLF)
install(TARGETS Ochrelight RUNTIME DESTINATION .)
install(FILES ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_BINARY_DIR}/LICENSE.txt DESTINATION .)
install(CODE [[
  set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
  set(sums "")
  foreach(name Ochrelight.exe README.txt LICENSE.txt)
    file(SHA256 "${root}/${name}" sum)
    string(APPEND sums "${sum}  ${name}\n")
  endforeach()
  file(WRITE "${root}/SHA256SUMS" "${sums}")
]])
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME Ochrelight-${PROJECT_VERSION}-${OCHRELIGHT_WINEARCH})
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_SOURCE_DIR}/build)
include(CPack)
