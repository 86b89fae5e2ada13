# Writes the boot image (made by tav-bootgen) into a C++ file as the two symbols the
# runtime's boot loader looks for.
# Called as: cmake -DIMAGE=<boot.tavbin> -DOUTPUT=<file.cpp> -P embed.cmake
file(READ ${IMAGE} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
if(size EQUAL 0)
  message(FATAL_ERROR "${IMAGE} is empty")
endif()
# Sixteen bytes a line keeps the file readable in a diff and quick to compile.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REPEAT "0x..," 16 line)
string(REGEX REPLACE "(${line})" "\\1\n  " bytes "${bytes}")
set(body "// Generated from library/boot by tav-bootgen and embed.cmake: do not edit.\n")
string(APPEND body "#include <cstddef>\n#include <cstdint>\n\n")
string(APPEND body "extern \"C\" {\n")
string(APPEND body "extern const uint8_t tav_boot_image[];\n")
string(APPEND body "extern const size_t tav_boot_image_size;\n")
string(APPEND body "const uint8_t tav_boot_image[] = {\n  ${bytes}\n};\n")
string(APPEND body "const size_t tav_boot_image_size = ${size};\n")
string(APPEND body "}\n")
file(WRITE ${OUTPUT}.tmp "${body}")
file(COPY_FILE ${OUTPUT}.tmp ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.tmp)
