#!/usr/bin/env bash
# The installed package as users meet it: `cmake --install` into a fresh prefix, then
# a program built with find_package(Mivora) and one built with pkg-config, each
# printing a page; the command's --version and its man page.
# Environment: MIVORA_SOURCE_DIR, MIVORA_BUILD_DIR, MIVORA_VERSION, CMAKE_COMMAND, CXX.
set -uo pipefail
: "${MIVORA_BUILD_DIR:?the build folder}" "${MIVORA_VERSION:?the project version}"
cmake=${CMAKE_COMMAND:-cmake}
consumer=$(cd "$(dirname "$0")/consumer" && pwd)
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

"$cmake" --install "$MIVORA_BUILD_DIR" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; echo "FAIL: cmake --install failed" >&2; exit 1; }
libdir=$(find "$prefix" -name libmivora.a -printf '%h\n' | head -1)
[ -n "$libdir" ] || fail "libmivora.a was not installed"
[ -f "$prefix/include/mivora/Mivora.h" ] || fail "Mivora.h was not installed in include/mivora"

# check_page PDF WHO: PDF is a sound page holding the consumer's text.
check_page() {
  qpdf --check "$1" >/dev/null 2>&1 || fail "$2: $1 fails qpdf --check"
  pdftotext "$1" - 2>/dev/null | grep -q "Installed and linked" || fail "$2: its page lacks its text"
}

# find_package, exactly as the README says.
if "$cmake" -S "$consumer" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="${CXX:-c++}" >"$work/cmake.log" 2>&1 &&
  "$cmake" --build "$work/cmake-build" >>"$work/cmake.log" 2>&1; then
  version=$("$work/cmake-build/consumer" "$work/cmake.pdf") || fail "find_package: the program failed"
  [ "$version" = "$MIVORA_VERSION" ] || fail "find_package: MivoraVersion.h says '$version', not $MIVORA_VERSION"
  check_page "$work/cmake.pdf" find_package
else
  fail "find_package(Mivora) with Mivora::Mivora does not build:"
  tail -25 "$work/cmake.log" >&2
fi

# pkg-config: a static library, so its dependencies come with --static.
export PKG_CONFIG_PATH=$libdir/pkgconfig
[ "$(pkg-config --modversion mivora 2>&1)" = "$MIVORA_VERSION" ] ||
  fail "pkg-config --modversion mivora: $(pkg-config --modversion mivora 2>&1)"
# shellcheck disable=SC2046
if "${CXX:-c++}" -std=c++20 "$consumer/main.cpp" -o "$work/pc-consumer" $(pkg-config --cflags mivora) \
  $(pkg-config --libs --static mivora) >"$work/pc.log" 2>&1; then
  version=$("$work/pc-consumer" "$work/pc.pdf") || fail "pkg-config: the program failed"
  [ "$version" = "$MIVORA_VERSION" ] || fail "pkg-config: MivoraVersion.h says '$version'"
  check_page "$work/pc.pdf" pkg-config
else
  fail "pkg-config --static mivora does not link a program:"
  grep -m 12 -E "undefined reference|error" "$work/pc.log" >&2
fi

# The command and its man page.
[ "$("$prefix/bin/mivora" --version)" = "mivora $MIVORA_VERSION" ] ||
  fail "mivora --version says '$("$prefix/bin/mivora" --version)'"
page=$prefix/share/man/man1/mivora.1
if [ -f "$page" ]; then
  LC_ALL=C MANWIDTH=100 man -l "$page" >"$work/man.txt" 2>"$work/man.err" || fail "man -l cannot format mivora.1"
  grep -q "mivora $MIVORA_VERSION" "$work/man.txt" || fail "the man page does not give the version"
  [ ! -s "$work/man.err" ] || fail "troff warns about the man page: $(head -3 "$work/man.err")"
  # Every option of every command's --help is in the page.
  for command in $("$prefix/bin/mivora" --help | awk '/^Subcommands:/ {on=1; next} on && !NF {exit} on {print $1}'); do
    for option in $("$prefix/bin/mivora" "$command" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u | grep -vx -- --help); do
      grep -qF -- "$option" "$work/man.txt" || fail "the man page lacks $command $option"
    done
  done
else
  fail "the man page mivora.1 was not installed in share/man/man1"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "installed package: find_package, pkg-config, --version and the man page work"
