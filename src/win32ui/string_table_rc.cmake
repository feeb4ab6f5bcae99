# Writes the resource script's STRINGTABLE from the program's own string table, so the texts are
# written once: the ids from platform/string_table.h, the texts from platform/string_table.cpp,
# and string 176 (the about box's copyright line) from operator/app_identity.h.
#   cmake -DHEADER=... -DSOURCE=... -DIDENTITY=... -DOUTPUT=... -P string_table_rc.cmake
cmake_minimum_required(VERSION 3.25)

file(READ ${HEADER} header)
file(READ ${SOURCE} source)
file(READ ${IDENTITY} identity)

# Adjacent C++ literals ("a" "b", across lines) as one resource literal; \" becomes "".
function(join_literals text out_var)
  string(REGEX REPLACE "\"[ \t\r\n]*\"" "" joined "${text}")
  string(STRIP "${joined}" joined)
  string(REPLACE "\\\"" "\"\"" joined "${joined}")
  set(${out_var} "${joined}" PARENT_SCOPE)
endfunction()

set(lines "")
set(count 0)
set(rest "${source}")
while(TRUE)
  string(REGEX MATCH "{(IDS_[A-Z0-9_]+),([^}]*)}" entry "${rest}")
  if(NOT entry)
    break()
  endif()
  set(name ${CMAKE_MATCH_1})
  join_literals("${CMAKE_MATCH_2}" text)
  string(REGEX MATCH "inline constexpr int ${name} = ([0-9]+);" id_line "${header}")
  if(NOT id_line)
    message(FATAL_ERROR "string_table_rc: ${name} has no id in ${HEADER}")
  endif()
  string(APPEND lines "  ${CMAKE_MATCH_1}, ${text}\n")
  math(EXPR count "${count} + 1")
  string(FIND "${rest}" "${entry}" at)
  string(LENGTH "${entry}" length)
  math(EXPR after "${at} + ${length}")
  string(SUBSTRING "${rest}" ${after} -1 rest)
endwhile()
if(count EQUAL 0)
  message(FATAL_ERROR "string_table_rc: no texts found in ${SOURCE}")
endif()

string(REGEX MATCH "kCopyrightLine =[ \t\r\n]*(\"[^;]*\");" copyright "${identity}")
if(NOT copyright)
  message(FATAL_ERROR "string_table_rc: no kCopyrightLine in ${IDENTITY}")
endif()
join_literals("${CMAKE_MATCH_1}" copyright_text)
string(APPEND lines "  176, ${copyright_text}\n")

set(content "// Generated from the program's string table by string_table_rc.cmake: do not edit.\n")
string(APPEND content "#pragma code_page(65001)\nSTRINGTABLE\nBEGIN\n${lines}END\n")
# Copied over the output only when it changes, so the resource script is not rebuilt for nothing.
file(WRITE ${OUTPUT}.new "${content}")
configure_file(${OUTPUT}.new ${OUTPUT} COPYONLY)
file(REMOVE ${OUTPUT}.new)
