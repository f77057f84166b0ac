# The compiler flags of cmake/flags.txt, which the Octave package and
# build_mex read too. The language standard and the symbol visibility become
# CMake's own settings (a target may ask for other visibility, as the stand-in
# host does); every other flag is a compile option of every target, but
# those of the group octave (LANTREL_FLAGS_octave), which only the targets
# built against Octave's mex.h take.

set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/flags.txt)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/flags.txt flag_lines REGEX "^[a-z0-9-]+[ \t]+-")
set(flag_groups all opt x86-32 warn octave)
foreach(group ${flag_groups})
  set(LANTREL_FLAGS_${group})
endforeach()
foreach(line ${flag_lines})
  if(NOT line MATCHES "^([a-z0-9-]+)[ \t]+([^ \t]+)[ \t]*$")
    message(FATAL_ERROR "cmake/flags.txt: cannot read '${line}'")
  endif()
  if(NOT CMAKE_MATCH_1 IN_LIST flag_groups)
    message(FATAL_ERROR "cmake/flags.txt: unknown group '${CMAKE_MATCH_1}'")
  endif()
  list(APPEND LANTREL_FLAGS_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
endforeach()

set(LANTREL_FLAGS_target ${LANTREL_FLAGS_all})
# 32-bit x86: an i686 target, or a 64-bit x86 one built for 32-bit pointers.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" OR
   (CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 4))
  list(APPEND LANTREL_FLAGS_target ${LANTREL_FLAGS_x86-32})
endif()

set(options ${LANTREL_FLAGS_warn})
foreach(flag ${LANTREL_FLAGS_target})
  if(flag MATCHES "^-std=c\\+\\+([0-9]+)$")
    set(CMAKE_CXX_STANDARD ${CMAKE_MATCH_1})
    set(CMAKE_CXX_STANDARD_REQUIRED ON)
    set(CMAKE_CXX_EXTENSIONS OFF)
  elseif(flag MATCHES "^-fvisibility=(.+)$")
    set(CMAKE_CXX_VISIBILITY_PRESET ${CMAKE_MATCH_1})
  else()
    list(APPEND options ${flag})
  endif()
endforeach()
add_compile_options(${options})

# Release is the optimisation every other build uses; the other types keep
# CMake's own (Debug -O0 -g, RelWithDebInfo for the fuzzers).
string(REPLACE ";" " " opt "${LANTREL_FLAGS_opt}")
set(CMAKE_CXX_FLAGS_RELEASE "${opt}")
set(CMAKE_C_FLAGS_RELEASE "${opt}")
