# The numerical cores, the stand-in host and the modules built against it,
# and (where Octave's headers are present) the modules built for Octave.

add_library(smoothing_core STATIC smoothing/store.cpp smoothing/solver.cpp smoothing/schedule.cpp
  smoothing/kernels.cpp)
target_include_directories(smoothing_core PUBLIC ${PROJECT_SOURCE_DIR}/smoothing)

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

# lantrel_add_module(<Name> <glue source> <core library>)
function(lantrel_add_module name glue core)
  string(TOLOWER ${name} lower)
  set_property(GLOBAL APPEND PROPERTY LANTREL_MODULES ${name})
  if(WIN32)
    lantrel_add_windows_module(${name} ${glue} ${core})
    return()
  endif()
  # Against the stand-in host: what the C++ tests, benchmarks and tools load.
  add_library(${lower}_standin MODULE ${glue})
  target_link_libraries(${lower}_standin PRIVATE ${core} standin)
  set_target_properties(${lower}_standin PROPERTIES
    OUTPUT_NAME ${name} PREFIX "" SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/standin)
  if(NOT WIN32)
    target_link_options(${lower}_standin PRIVATE -Wl,--version-script=${MODULE_EXPORTS} ${STANDIN_WRAP_ALLOC})
    # Clang's sanitizer runtimes live in the executable, so a sanitized
    # module has undefined symbols by design.
    if(NOT LANTREL_FUZZ)
      target_link_options(${lower}_standin PRIVATE -Wl,--no-undefined)
    endif()
  endif()

  # For GNU Octave: a .mex that the host resolves at load time.
  if(OCTAVE_INCLUDE_DIR AND NOT LANTREL_FUZZ)
    add_library(${lower}_octave MODULE ${glue})
    target_link_libraries(${lower}_octave PRIVATE ${core})
    target_compile_definitions(${lower}_octave PRIVATE MEXAPI_OCTAVE)
    target_include_directories(${lower}_octave PRIVATE ${OCTAVE_INCLUDE_DIR})
    target_link_options(${lower}_octave PRIVATE -Wl,--version-script=${MODULE_EXPORTS})
    set_target_properties(${lower}_octave PROPERTIES
      OUTPUT_NAME ${name} PREFIX "" SUFFIX ".mex"
      LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/octave)
    # The help stub goes beside the binary so that `help` finds it; copied
    # whenever it changes, not only when the module relinks.
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/octave/${name}.m
      COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/matlab/${name}.m ${PROJECT_BINARY_DIR}/octave/${name}.m
      DEPENDS ${PROJECT_SOURCE_DIR}/matlab/${name}.m)
    add_custom_target(${lower}_octave_help ALL DEPENDS ${PROJECT_BINARY_DIR}/octave/${name}.m)
  endif()
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

lantrel_add_module(Lantrel smoothing/lantrel_mex.cpp smoothing_core)

add_library(pathvariation_core STATIC pathvariation/pathwalk.cpp pathvariation/directions.cpp)
target_include_directories(pathvariation_core PUBLIC ${PROJECT_SOURCE_DIR}/pathvariation)

lantrel_add_module(Ostrave pathvariation/ostrave_mex.cpp pathvariation_core)

# The helper functions and the friendly interface go beside the modules too,
# so that one addpath('build/octave') brings everything.
if(OCTAVE_INCLUDE_DIR AND NOT LANTREL_FUZZ)
  set(helpers imageLuma imageToUnit lantrelWeights lantrelSmooth ostraveDirections ostraveTable ostraveVariation)
  set(helper_files)
  foreach(name ${helpers})
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/octave/${name}.m
      COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/matlab/${name}.m ${PROJECT_BINARY_DIR}/octave/${name}.m
      DEPENDS ${PROJECT_SOURCE_DIR}/matlab/${name}.m)
    list(APPEND helper_files ${PROJECT_BINARY_DIR}/octave/${name}.m)
  endforeach()
  add_custom_target(octave_helpers ALL DEPENDS ${helper_files})
endif()
