# Writes OUTPUT, a C++ source holding each picture's bytes as one string literal and the table
# of their names, from PICTURES: name=path pairs separated by ';'. Run by the build whenever a
# picture changes (cmake -P).
set(body "")
set(table "")
foreach(pair IN LISTS PICTURES)
    string(FIND "${pair}" "=" equals)
    string(SUBSTRING "${pair}" 0 ${equals} name)
    math(EXPR from "${equals} + 1")
    string(SUBSTRING "${pair}" ${from} -1 path)
    file(READ "${path}" hex HEX)
    # 32 bytes a line, each "\xNN": a hex escape ends at the next backslash. Whole-string
    # replacements: a loop over pieces of a picture this size takes minutes.
    string(REGEX REPLACE "(................................................................)"
                         "\\1\n" hex "${hex}")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" hex "${hex}")
    string(REPLACE "\n" "\"\n    \"" lines "${hex}")
    set(lines "    \"${lines}\"\n")
    string(APPEND body "const char k_${name}[] =\n${lines};\n")
    string(APPEND table "    {\"${name}\", k_${name}, sizeof k_${name} - 1},\n")
endforeach()
file(WRITE "${OUTPUT}.new" "// Made by embed_pictures.cmake from the product's pictures at build time.
#include \"gtk_pictures.h\"

namespace qor::ui::gtk {

namespace {

${body}
}  // namespace

const PictureBytes kPictures[] = {
${table}};
const size_t kPictureCount = sizeof kPictures / sizeof kPictures[0];

}  // namespace qor::ui::gtk
")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
