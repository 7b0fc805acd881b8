# Builds a preset twice from scratch, in two directories of different names at different times, and compares
# every executable and DLL byte for byte; prints each one's SHA-256. Each build runs one step at a time, as a test that
# takes one core beside others.
# Usage: cmake -DSOURCE=DIR -DPRESET=NAME -DWORK=DIR -P reproducible.cmake

file(REMOVE_RECURSE ${WORK})
foreach(build first second-build-elsewhere)
  execute_process(COMMAND ${CMAKE_COMMAND} --preset ${PRESET} -B ${WORK}/${build}
                  WORKING_DIRECTORY ${SOURCE} OUTPUT_QUIET RESULT_VARIABLE failed)
  if(NOT failed)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK}/${build} --parallel 1 OUTPUT_QUIET RESULT_VARIABLE failed)
  endif()
  if(failed)
    message(FATAL_ERROR "building ${PRESET} in ${WORK}/${build} failed")
  endif()
  # Link times then differ by a second at least.
  execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 1)
endforeach()

file(GLOB_RECURSE images RELATIVE ${WORK}/first ${WORK}/first/*.exe ${WORK}/first/*.dll)
# CMake's own probe of the compiler is no product of the build.
list(FILTER images EXCLUDE REGEX "^CMakeFiles/")
set(differ "")
foreach(image IN LISTS images)
  file(SHA256 ${WORK}/first/${image} one)
  set(other "missing")
  if(EXISTS ${WORK}/second-build-elsewhere/${image})
    file(SHA256 ${WORK}/second-build-elsewhere/${image} other)
  endif()
  if(one STREQUAL other)
    message("same   ${one}  ${image}")
  else()
    message("DIFFER ${one} ${other}  ${image}")
    list(APPEND differ ${image})
  endif()
endforeach()
list(LENGTH images count)
if(count EQUAL 0)
  message(FATAL_ERROR "no executable was built in ${WORK}/first")
elseif(differ)
  message(FATAL_ERROR "not reproducible: ${differ}")
endif()
message("${count} executables and DLLs the same in both builds")
file(REMOVE_RECURSE ${WORK})
