# Turns a binary file into a C++ source holding its bytes:
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DSYMBOL=Name -P embed.cmake
file(READ "${INPUT}" HEX HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," BYTES "${HEX}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n    " BYTES "${BYTES}")
get_filename_component(NAME "${INPUT}" NAME)
file(WRITE "${OUTPUT}" "// Generated from ${NAME} at build time; do not edit.
#include <cstddef>

extern const unsigned char ${SYMBOL}[];
extern const std::size_t ${SYMBOL}Size;
const unsigned char ${SYMBOL}[] = {
    ${BYTES}};
const std::size_t ${SYMBOL}Size = sizeof(${SYMBOL});
")
