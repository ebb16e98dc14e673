# Writes OUT: every PNG of ART_DIR as a byte array, with a table TABLE of ENTRY records { name (file name
# without .png), data, size } ending with a nil name. HEADER declares ENTRY and TABLE.
# Run as: cmake -DART_DIR=... -DOUT=... -DHEADER=... -DENTRY=... -DTABLE=... -P EmbedPng.cmake
file(GLOB pngs "${ART_DIR}/*.png")
list(SORT pngs)
set(body "// Made by the build from the PNGs of ${ART_DIR}: do not edit.\n#include \"${HEADER}\"\n\nnamespace {\n")
set(table "")
set(i 0)
foreach(p ${pngs})
  get_filename_component(name "${p}" NAME_WE)
  file(READ "${p}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND body "const unsigned char kArt${i}[] = {${bytes}};\n")
  string(APPEND table "    {\"${name}\", kArt${i}, sizeof kArt${i}},\n")
  math(EXPR i "${i} + 1")
endforeach()
string(APPEND body "}  // namespace\n\nconst ${ENTRY} ${TABLE}[] = {\n${table}    {nullptr, nullptr, 0}};\n")
file(WRITE "${OUT}.new" "${body}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
