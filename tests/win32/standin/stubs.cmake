# Writes Stubs.h from the SDK's WebView2.h: for each interface named, Stubs<I>, which
# implements every method of I and of its bases below IUnknown with an answer of E_NOTIMPL, so
# the stand-in overrides only what the shell calls, with the SDK's own signatures.
#   cmake -DHEADER=WebView2.h -DOUTPUT=Stubs.h "-DINTERFACES=I1;I2" -P stubs.cmake
file(READ ${HEADER} sdk)
# CMake's lists split at semicolons: the statements' ends are kept as @ while the text is cut.
string(REPLACE ";" "@" sdk "${sdk}")

# The methods of one interface and its bases, as "RESULT NAME(PARAMETERS)" lines.
function(methods_of name out)
  string(FIND "${sdk}" "\n    ${name} : public " at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${HEADER} declares no interface ${name}")
  endif()
  string(SUBSTRING "${sdk}" ${at} 200000 block)
  string(FIND "${block}" "\n    }@" end)
  string(SUBSTRING "${block}" 0 ${end} block)
  string(REGEX MATCH " : public ([A-Za-z0-9_]+)" base "${block}")
  set(base ${CMAKE_MATCH_1})
  string(REGEX REPLACE "/\\*[^*]*\\*/" "" block "${block}")
  string(REGEX REPLACE "DECLSPEC_XFGVIRT\\([^)]*\\)" "" block "${block}")
  string(REGEX REPLACE "[ \t\r\n]+" " " block "${block}")
  string(REGEX MATCHALL "virtual [A-Z]+ STDMETHODCALLTYPE [A-Za-z0-9_]+\\([^@]*\\) = 0@" found "${block}")
  set(lines "")
  if(NOT base STREQUAL "IUnknown")
    methods_of(${base} lines)
  endif()
  foreach(method ${found})
    string(REGEX REPLACE "^virtual ([A-Z]+) STDMETHODCALLTYPE ([A-Za-z0-9_]+)\\( ?(.*) ?\\) = 0@$" "\\1 STDMETHODCALLTYPE \\2(\\3)"
           method "${method}")
    string(APPEND lines "  ${method} override { return E_NOTIMPL; }\n")
  endforeach()
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

set(text "#pragma once\n// Made by tests/win32/standin/stubs.cmake from the WebView2 SDK's header.\n")
string(APPEND text "#include <WebView2.h>\n\n#pragma GCC diagnostic ignored \"-Wunused-parameter\"\n\n")
string(APPEND text "namespace standin {\n\ntemplate <typename I>\nstruct Stubs;\n")
foreach(name ${INTERFACES})
  methods_of(${name} lines)
  string(APPEND text "\ntemplate <>\nstruct Stubs<${name}> : ${name} {\n${lines}}@\n")
endforeach()
string(APPEND text "\n}  // namespace standin\n")
string(REPLACE "@" ";" text "${text}")
file(WRITE ${OUTPUT}.new "${text}")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
