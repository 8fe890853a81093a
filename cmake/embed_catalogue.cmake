# Writes a compiled catalogue (.mo) as a C++ byte array, so the translations live inside the
# executable and no file has to ship beside it.
#   cmake -DINPUT=de.mo -DOUTPUT=catalogue_de.cpp -DSYMBOL=de -DSOURCE=po/de.po -P embed_catalogue.cmake
foreach(variable INPUT OUTPUT SYMBOL SOURCE)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "embed_catalogue.cmake: ${variable} is not set")
  endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(size EQUAL 0)
  message(FATAL_ERROR "embed_catalogue.cmake: ${INPUT} is empty")
endif()
# Sixteen bytes a line keeps the generated file readable in a diff or a debugger.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")

file(WRITE "${OUTPUT}" "// Generated from ${SOURCE} at build time; edit the translation file instead.
#include <cstddef>

namespace dpc::catalogue {

extern const unsigned char ${SYMBOL}[];
extern const std::size_t ${SYMBOL}_size;

const unsigned char ${SYMBOL}[] = {
    ${bytes}
};
const std::size_t ${SYMBOL}_size = ${size};

}  // namespace dpc::catalogue
")
