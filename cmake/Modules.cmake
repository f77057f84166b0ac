# The numerical cores, the stand-in host and the modules built against it,
# and (where Octave's headers are present) the modules built for Octave.

# Each module's sources, from cmake/sources.txt (format: see there): the
# modules in LANTREL_MODULE_NAMES, and for each its entry source in
# LANTREL_SOURCES_<name>_entry and its core sources in LANTREL_SOURCES_<name>_core.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/sources.txt)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/sources.txt source_lines REGEX "^[^#]*[^ \t#]")
set(LANTREL_MODULE_NAMES)
foreach(line ${source_lines})
  if(NOT line MATCHES "^([A-Za-z][A-Za-z0-9_]*)[ \t]+(entry|core)[ \t]+([^ \t]+)[ \t]*$")
    message(FATAL_ERROR "cmake/sources.txt: cannot read '${line}'")
  endif()
  if(NOT CMAKE_MATCH_1 IN_LIST LANTREL_MODULE_NAMES)
    list(APPEND LANTREL_MODULE_NAMES ${CMAKE_MATCH_1})
  endif()
  list(APPEND LANTREL_SOURCES_${CMAKE_MATCH_1}_${CMAKE_MATCH_2} ${PROJECT_SOURCE_DIR}/${CMAKE_MATCH_3})
endforeach()
foreach(name ${LANTREL_MODULE_NAMES})
  list(LENGTH LANTREL_SOURCES_${name}_entry entries)
  if(NOT entries EQUAL 1 OR NOT LANTREL_SOURCES_${name}_core)
    message(FATAL_ERROR "cmake/sources.txt: ${name} needs one entry source and at least one core source")
  endif()
endforeach()

# Stand-in host: one shared library here; the Windows build splits it into
# libmx and libmex.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/Windows.cmake)
else()
  add_library(standin SHARED standin/mx.cpp standin/mex.cpp standin/faultalloc.cpp)
  set_target_properties(standin PROPERTIES CXX_VISIBILITY_PRESET default)
  target_include_directories(standin PUBLIC ${PROJECT_SOURCE_DIR}/standin ${PROJECT_SOURCE_DIR}/host)
  # The modules' C allocator goes through the stand-in (see standin/faultalloc.h),
  # so tests can count and fail every allocation a call makes.
  set(STANDIN_WRAP_ALLOC
    -Wl,--wrap=malloc -Wl,--wrap=calloc -Wl,--wrap=realloc -Wl,--wrap=free
    -Wl,--wrap=aligned_alloc -Wl,--wrap=posix_memalign)
endif()

add_library(standin_loader STATIC standin/loader.cpp)
target_link_libraries(standin_loader PUBLIC standin ${CMAKE_DL_LIBS})

set(MODULE_EXPORTS ${PROJECT_SOURCE_DIR}/cmake/mex.map)

# A .mex for GNU Octave, which the host resolves at load time: <target>
# builds <dir>/<name>.mex from <glue> and the library <core>.
function(lantrel_octave_mex target name glue core dir)
  add_library(${target} MODULE ${glue})
  target_link_libraries(${target} PRIVATE ${core})
  target_compile_options(${target} PRIVATE ${LANTREL_FLAGS_octave})
  target_include_directories(${target} PRIVATE ${OCTAVE_INCLUDE_DIR})
  target_link_options(${target} PRIVATE -Wl,--version-script=${MODULE_EXPORTS})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME ${name} PREFIX "" SUFFIX ".mex" LIBRARY_OUTPUT_DIRECTORY ${dir})
endfunction()

# <dir>/<name>.so against the stand-in host, its C allocator wrapped.
function(lantrel_standin_module target name glue core dir)
  add_library(${target} MODULE ${glue})
  target_link_libraries(${target} PRIVATE ${core} standin)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${name} PREFIX "" SUFFIX ".so" LIBRARY_OUTPUT_DIRECTORY ${dir})
  target_link_options(${target} PRIVATE -Wl,--version-script=${MODULE_EXPORTS} ${STANDIN_WRAP_ALLOC})
  # Clang's sanitizer runtimes live in the executable, so a sanitized
  # module has undefined symbols by design.
  if(NOT LANTREL_FUZZ)
    target_link_options(${target} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()

# lantrel_add_module(<Name> <glue source> <core library>)
function(lantrel_add_module name glue core)
  string(TOLOWER ${name} lower)
  if(name MATCHES "^[a-z]")
    lantrel_add_private_module(${name} ${glue} ${core})
    return()
  endif()
  set_property(GLOBAL APPEND PROPERTY LANTREL_MODULES ${name})
  if(WIN32)
    lantrel_add_windows_module(${name} ${glue} ${core})
    return()
  endif()
  # Against the stand-in host: what the C++ tests, benchmarks and tools load.
  lantrel_standin_module(${lower}_standin ${name} ${glue} ${core} ${PROJECT_BINARY_DIR}/standin)

  # For GNU Octave: a .mex that the host resolves at load time.
  if(OCTAVE_INCLUDE_DIR AND NOT LANTREL_FUZZ)
    lantrel_octave_mex(${lower}_octave ${name} ${glue} ${core} ${PROJECT_BINARY_DIR}/octave)
    # The help stub goes beside the binary so that `help` finds it; copied
    # whenever it changes, not only when the module relinks.
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/octave/${name}.m
      COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/matlab/${name}.m ${PROJECT_BINARY_DIR}/octave/${name}.m
      DEPENDS ${PROJECT_SOURCE_DIR}/matlab/${name}.m)
    add_custom_target(${lower}_octave_help ALL DEPENDS ${PROJECT_BINARY_DIR}/octave/${name}.m)
  endif()
endfunction()

# The toolbox's private helper (see cmake/sources.txt): built for Windows
# (Windows.cmake), against the stand-in host, and against Octave's own mex.h
# into private/ beside the toolbox's functions, with the stub that reports
# it missing where it is not built.
function(lantrel_add_private_module name glue core)
  set_property(GLOBAL APPEND PROPERTY LANTREL_PRIVATE_MODULES ${name})
  if(WIN32)
    lantrel_add_windows_private_module(${name} ${glue} ${core})
    return()
  endif()
  # Against the stand-in host too, for module_driver (standin/private/); it
  # allocates through operator new, which the tests fail in turn too.
  if(NOT LANTREL_FUZZ)
    lantrel_standin_module(${name}_standin ${name} ${glue} ${core} ${PROJECT_BINARY_DIR}/standin/private)
    target_link_options(${name}_standin PRIVATE -Wl,--wrap=_Znwm -Wl,--wrap=_Znam)
  endif()
  if(NOT OCTAVE_INCLUDE_DIR OR LANTREL_FUZZ)
    return()
  endif()
  lantrel_octave_mex(${name}_octave ${name} ${glue} ${core} ${PROJECT_BINARY_DIR}/octave/private)
  set(stub ${PROJECT_SOURCE_DIR}/matlab/private/${name}.m)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/octave/private/${name}.m
    COMMAND ${CMAKE_COMMAND} -E copy ${stub} ${PROJECT_BINARY_DIR}/octave/private/${name}.m
    DEPENDS ${stub})
  add_custom_target(${name}_octave_stub ALL DEPENDS ${PROJECT_BINARY_DIR}/octave/private/${name}.m)
endfunction()

if(NOT CMAKE_CROSSCOMPILING AND NOT DEFINED OCTAVE_INCLUDE_DIR)
  find_program(MKOCTFILE mkoctfile)
  if(MKOCTFILE)
    execute_process(COMMAND ${MKOCTFILE} -p OCTINCLUDEDIR OUTPUT_VARIABLE dir OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(EXISTS "${dir}/mex.h")
      set(OCTAVE_INCLUDE_DIR ${dir} CACHE PATH "Octave's include directory (with mex.h)")
    endif()
  endif()
endif()

# Each module's core is a library named after the folder of its entry
# source (smoothing_core, pathvariation_core), which the tests link too.
foreach(name ${LANTREL_MODULE_NAMES})
  get_filename_component(folder ${LANTREL_SOURCES_${name}_entry} DIRECTORY)
  get_filename_component(core ${folder} NAME)
  add_library(${core}_core STATIC ${LANTREL_SOURCES_${name}_core})
  target_include_directories(${core}_core PUBLIC ${folder})
  lantrel_add_module(${name} ${LANTREL_SOURCES_${name}_entry} ${core}_core)
endforeach()

# The helper functions and the friendly interface go beside the modules too,
# so that one addpath('build/octave') brings everything: every .m file of
# matlab/ but the modules' help files (copied with their modules), the
# package overview and build_mex. tests/octave/run_tests.m tests the same set.
if(OCTAVE_INCLUDE_DIR AND NOT LANTREL_FUZZ)
  file(GLOB helpers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}/matlab ${PROJECT_SOURCE_DIR}/matlab/*.m)
  list(TRANSFORM helpers REPLACE "\\.m$" "")
  list(REMOVE_ITEM helpers Contents build_mex ${LANTREL_MODULE_NAMES})
  set(helper_files)
  foreach(name ${helpers})
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/octave/${name}.m
      COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/matlab/${name}.m ${PROJECT_BINARY_DIR}/octave/${name}.m
      DEPENDS ${PROJECT_SOURCE_DIR}/matlab/${name}.m)
    list(APPEND helper_files ${PROJECT_BINARY_DIR}/octave/${name}.m)
  endforeach()
  # Their private functions (the compiled helper's stub is copied with it).
  file(GLOB private_helpers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}/matlab ${PROJECT_SOURCE_DIR}/matlab/private/*.m)
  list(REMOVE_ITEM private_helpers private/lantrelops.m)
  foreach(file ${private_helpers})
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/octave/${file}
      COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/matlab/${file} ${PROJECT_BINARY_DIR}/octave/${file}
      DEPENDS ${PROJECT_SOURCE_DIR}/matlab/${file})
    list(APPEND helper_files ${PROJECT_BINARY_DIR}/octave/${file})
  endforeach()
  # The sample photo too, so that file_in_loadpath('ladybird.png') finds it
  # there as in the installed package.
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/octave/ladybird.png
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/data/ladybird.png ${PROJECT_BINARY_DIR}/octave/ladybird.png
    DEPENDS ${PROJECT_SOURCE_DIR}/data/ladybird.png)
  list(APPEND helper_files ${PROJECT_BINARY_DIR}/octave/ladybird.png)
  add_custom_target(octave_helpers ALL DEPENDS ${helper_files})
endif()
