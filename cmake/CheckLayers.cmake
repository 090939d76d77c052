# Checks that every source file includes only the layers below its own, and the few edges
# against that order that docs/architecture.md allows by name.
#
#   cmake -DSOURCE_DIR=<source root> -P cmake/CheckLayers.cmake
#
# A layer may include itself and the layers listed for it. Files outside the listed folders
# (tests, benchmarks) may include anything. An include is found as the compiler finds it: a
# quoted name beside the including file first ("x.h", "../model/x.h"), then from the source
# root, where a name in angle brackets is looked for too; directives written with spaces
# ("  #include", "#  include") count like any other.

cmake_policy(SET CMP0057 NEW)

set(layers platform xls/model xls/format xls/formula xls/read xls/write app/commands app/window
           cli python)
set(allowed_platform "")
set(allowed_xls/model platform)
set(allowed_xls/format platform xls/model)
set(allowed_xls/formula platform xls/model)
set(allowed_xls/read platform xls/model xls/format xls/formula)
set(allowed_xls/write platform xls/model xls/format)
set(below_commands platform xls/model xls/format xls/formula xls/read xls/write)
set(allowed_app/commands ${below_commands})
# The window, the command line and the Python module stand side by side on the commands.
set(allowed_app/window ${below_commands} app/commands)
set(allowed_cli ${below_commands} app/commands)
set(allowed_python ${below_commands} app/commands)

# The edges the design needs against the order: the file object runs the reader, a cell
# formats its display text, the workbook owns the format catalogue and the link table.
set(allowed_edges
    "xls/model/TXLSFile.cpp -> xls/read/TXLSReader.h"
    "xls/model/TCells.cpp -> xls/format/TFormatStrings.h"
    "xls/model/TCells.cpp -> xls/format/ValueFormatter.h"
    "xls/model/TWorkbook.cpp -> xls/format/TFormatStrings.h"
    "xls/model/TWorkbook.cpp -> xls/formula/TXLSLinkTable.h")

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "SOURCE_DIR is not set")
endif()
get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)

# The layer a path from the source root belongs to (the longest layer folder that holds
# it), or "".
function(layer_of path out)
  set(found "")
  set(found_length 0)
  foreach(candidate IN LISTS layers)
    string(LENGTH "${candidate}/" n)
    string(SUBSTRING "${path}" 0 ${n} prefix)
    if(prefix STREQUAL "${candidate}/" AND n GREATER found_length)
      set(found "${candidate}")
      set(found_length ${n})
    endif()
  endforeach()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

# The file an include directive of `source` names, as a path from the source root.
function(resolve_include source directive out)
  string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*([\"<])([^\">]+)[\">].*" "\\1;\\2" parts
                       "${directive}")
  list(GET parts 0 delimiter)
  list(GET parts 1 name)
  get_filename_component(folder "${source}" DIRECTORY)
  if(delimiter STREQUAL "\"" AND EXISTS "${SOURCE_DIR}/${folder}/${name}")
    set(path "${folder}/${name}")
  else()
    set(path "${name}")
  endif()
  cmake_path(NORMAL_PATH path)
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

set(violations 0)
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
       "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(source IN LISTS sources)
    # A file of a layer nested in this one's folder is checked as that layer's.
    layer_of("${source}" source_layer)
    if(NOT source_layer STREQUAL layer)
      continue()
    endif()
    file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line IN LISTS includes)
      resolve_include("${source}" "${line}" included)
      layer_of("${included}" target_layer)
      if(target_layer STREQUAL "" OR target_layer STREQUAL layer)
        continue()
      endif()
      if(target_layer IN_LIST allowed_${layer})
        continue()
      endif()
      if("${source} -> ${included}" IN_LIST allowed_edges)
        continue()
      endif()
      message(SEND_ERROR "${source} includes ${included}: ${layer} may not depend on ${target_layer}")
      math(EXPR violations "${violations} + 1")
    endforeach()
  endforeach()
endforeach()

if(violations GREATER 0)
  message(FATAL_ERROR "${violations} include(s) against the layers")
endif()
message(STATUS "Every include follows the layers")
