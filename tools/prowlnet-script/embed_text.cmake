# Writes the text of the file IN into the header OUT as the C++ raw string literal NAME, so that a
# script the program runs stays a file of its own in the source tree.
file(READ "${IN}" text)
file(WRITE "${OUT}"
  "// Generated from ${IN}; edit that file.\n#pragma once\n\n"
  "inline constexpr char ${NAME}[] = R\"embedded(${text})embedded\";\n")
