# Sourced by the tests of the README's example programs.
#   readme_shows_example SOURCE_DIR examples/cpp/NAME.cpp
# Fails (through the caller's fail) unless the code block that follows the line
# naming the file in the README is that file word for word.
readme_shows_example() {
  local source=$1 file=$2 pattern block
  pattern=$(printf '%s' "$file" | sed 's/[.\/]/\\&/g')
  block=$(awk "/$pattern/ { armed = 1 }
               armed && /^\`\`\`cpp/ { inside = 1; next }
               inside && /^\`\`\`/ { exit }
               inside { print }" "$source/README.md")
  [ -n "$block" ] || fail "README.md shows no code block after naming $file"
  diff <(printf '%s\n' "$block") "$source/$file" >&2 || fail "the README's block differs from $file"
}
