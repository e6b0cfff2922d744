# Writes a C++ source that holds a text file as a string_view constant, so that a script kept in
# its own file (read, diffed and checked as itself) is compiled into the library.
# Run with -DINPUT=<file> -DOUTPUT=<source> -DNAMESPACE=<ns> -DNAME=<constant>.
file(READ "${INPUT}" content)
string(FIND "${content}" ")tavro_embed\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} holds the raw string's closing delimiter")
endif()
get_filename_component(input_name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
  "// Generated at build time from ${input_name}; edit that file instead.\n"
  "#include <string_view>\n\n"
  "namespace ${NAMESPACE} {\n"
  "extern const std::string_view ${NAME};\n"
  "const std::string_view ${NAME} = R\"tavro_embed(${content})tavro_embed\";\n"
  "}\n")
# Only a changed script rebuilds what includes it.
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
