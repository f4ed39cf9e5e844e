# Turns a text file into a C++ source holding it as a constant byte array, so the program
# carries the text without reading any file at run time. Bytes are copied exactly (CRLF kept).
#   cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DNAMESPACE=<ns> -DSYMBOL=<name> -DHEADER=<inc> -P embed_text.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
# Sixteen bytes a line keeps the generated source readable in a diff or a debugger.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
set(byte_pattern "")
foreach(i RANGE 1 16)
  string(APPEND byte_pattern "'\\\\x[0-9a-f][0-9a-f]',")
endforeach()
string(REGEX REPLACE "(${byte_pattern})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} at build time; do not edit.\n"
"#include \"${HEADER}\"\n\n"
"namespace ${NAMESPACE} {\nnamespace {\n\n"
"constexpr char bytes[${size}] = {\n${bytes}\n};\n\n"
"}  // namespace\n\n"
"constinit const std::string_view ${SYMBOL}{bytes, sizeof bytes};\n\n"
"}  // namespace ${NAMESPACE}\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
