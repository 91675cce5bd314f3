# Writes the rules of a public_suffix_list.dat (comment lines and blank lines left out) as a C++ string.
# cmake -DIN=public_suffix_list.dat -DOUT=public_suffix_list.cpp -P embed_suffix_list.cmake
file(READ ${IN} rules)
# Comments stand on lines of their own, and no rule holds "//".
string(REGEX REPLACE "//[^\n]*" "" rules "${rules}")
string(REGEX REPLACE "\n\n+" "\n" rules "${rules}")
file(WRITE ${OUT} "// Generated from ${IN}.\nnamespace vw {\nextern const char kPublicSuffixList[];\n"
                  "const char kPublicSuffixList[] = R\"psl(${rules})psl\";\n}  // namespace vw\n")
