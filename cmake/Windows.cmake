# Windows (MinGW-w64 cross) pieces: the import libraries the modules link
# against, made from our own .def lists, and the stand-in host split into
# libmx.dll and libmex.dll as a real host ships it.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(MEX_EXTENSION mexw64)
else()
  set(MEX_EXTENSION mexw32)
endif()

# No MinGW runtime DLL may be needed beside a module: libgcc, libstdc++ and
# winpthread go into every binary.
add_link_options(-static)

# Import libraries: exactly the names in windows/*.def, which the static
# check also holds the modules' import tables against.
set(MEX_IMPORT_DIR ${PROJECT_BINARY_DIR}/importlibs)
set(mex_import_libs)
# libmx_ops: the further libmx names of the private helper (imageops/).
foreach(lib libmx libmex libmx_ops)
  set(def ${PROJECT_SOURCE_DIR}/windows/${lib}.def)
  if(lib STREQUAL "libmx_ops")
    set(def ${PROJECT_SOURCE_DIR}/imageops/${lib}.def)
  endif()
  add_custom_command(OUTPUT ${MEX_IMPORT_DIR}/${lib}.a
    COMMAND ${CMAKE_COMMAND} -E make_directory ${MEX_IMPORT_DIR}
    COMMAND ${MINGW_DLLTOOL} -d ${def} -l ${MEX_IMPORT_DIR}/${lib}.a
    DEPENDS ${def}
    COMMENT "Import library ${lib}.a from ${lib}.def")
  list(APPEND mex_import_libs ${MEX_IMPORT_DIR}/${lib}.a)
endforeach()
add_custom_target(mex_import_libs DEPENDS ${mex_import_libs})
add_library(mex_imports INTERFACE)
list(REMOVE_ITEM mex_import_libs ${MEX_IMPORT_DIR}/libmx_ops.a)
target_link_libraries(mex_imports INTERFACE ${mex_import_libs})
add_dependencies(mex_imports mex_import_libs)

# The stand-in host as two DLLs. Linking each with its .def lists (libmx:
# the modules' names and the private helper's) means a name missing from the
# stand-in fails the link; its own standin* calls are exported through their
# dllexport marks.
add_library(standin_mx SHARED standin/mx.cpp ${PROJECT_SOURCE_DIR}/windows/libmx.def
                              ${PROJECT_SOURCE_DIR}/imageops/libmx_ops.def)
add_library(standin_mex SHARED standin/mex.cpp ${PROJECT_SOURCE_DIR}/windows/libmex.def)
target_link_libraries(standin_mex PRIVATE standin_mx)
foreach(half standin_mx standin_mex)
  string(REPLACE "standin_" "lib" dll ${half})
  target_include_directories(${half} PRIVATE ${PROJECT_SOURCE_DIR}/standin ${PROJECT_SOURCE_DIR}/host)
  set_target_properties(${half} PROPERTIES OUTPUT_NAME ${dll} PREFIX "" IMPORT_PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/host)
endforeach()
add_library(standin INTERFACE)
target_link_libraries(standin INTERFACE standin_mx standin_mex)
target_include_directories(standin INTERFACE ${PROJECT_SOURCE_DIR}/standin ${PROJECT_SOURCE_DIR}/host)
target_compile_definitions(standin INTERFACE STANDIN_DLL)

# <Name>.mexw64 / <Name>.mexw32 in mex/, linked against the .def import
# libraries only.
function(lantrel_add_windows_module name glue core)
  string(TOLOWER ${name} lower)
  add_library(${lower}_windows MODULE ${glue})
  target_link_libraries(${lower}_windows PRIVATE ${core} mex_imports)
  set_target_properties(${lower}_windows PROPERTIES
    OUTPUT_NAME ${name} PREFIX "" SUFFIX ".${MEX_EXTENSION}"
    LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/mex)
endfunction()

# The toolbox's private helper: mex/private/<name>.mexw64 (or .mexw32).
function(lantrel_add_windows_private_module name glue core)
  add_library(${name}_windows MODULE ${glue})
  target_link_libraries(${name}_windows PRIVATE ${core} mex_imports ${MEX_IMPORT_DIR}/libmx_ops.a)
  set_target_properties(${name}_windows PROPERTIES
    OUTPUT_NAME ${name} PREFIX "" SUFFIX ".${MEX_EXTENSION}"
    LIBRARY_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/mex/private)
  # Its maths on fixed images, for the comparison with Linux under Wine.
  add_executable(imageops_bits ${PROJECT_SOURCE_DIR}/tests/imageops_bits.cpp)
  target_link_libraries(imageops_bits PRIVATE ${core})
  set_target_properties(imageops_bits PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/host)
endfunction()
