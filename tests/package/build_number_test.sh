#!/usr/bin/env bash
# build_number_test.sh <source folder>
# cmake/VandrelVersion.cmake in a project of its own: each commit's package version sorts after the one before, a
# build folder learns of a new commit at its next build and configures again only then, and a tree without git
# history, or one whose number is given, still configures.
set -uo pipefail
module=$(realpath "$1")/cmake/VandrelVersion.cmake
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
bad() { echo "FAIL: $*"; fail=1; }

export GIT_CONFIG_GLOBAL=/dev/null GIT_CONFIG_NOSYSTEM=1 GIT_AUTHOR_NAME=t GIT_AUTHOR_EMAIL=t@t GIT_COMMITTER_NAME=t \
  GIT_COMMITTER_EMAIL=t@t
tree=$work/tree
mkdir -p "$tree/cmake" && cp "$module" "$tree/cmake/"
cat > "$tree/CMakeLists.txt" << 'EOF'
cmake_minimum_required(VERSION 3.25)
project(Probe VERSION 0.1.0 LANGUAGES NONE)
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_SOURCE_DIR}/cmake)
include(VandrelVersion)
file(WRITE ${CMAKE_BINARY_DIR}/version ${VANDREL_PACKAGE_VERSION})
EOF
configure() { rm -rf "$work/build" && cmake -S "$tree" -B "$work/build" -G Ninja "$@" > "$work/log" 2>&1; }
version() { cat "$work/build/version"; }
commit() { git -C "$tree" commit -q --allow-empty -m "$1"; }
# The build after a commit configures again and gives the next number; one more build configures nothing.
expect_next() {
  local before
  before=$(version)
  ninja -C "$work/build" > "$work/log" 2>&1 || bad "build: $(cat "$work/log")"
  grep -q 'Re-running CMake' "$work/log" || bad "$1: the build did not configure again"
  dpkg --compare-versions "$before" lt "$(version)" || bad "$1: $(version) does not sort after $before"
  ninja -C "$work/build" > "$work/log" 2>&1 && ! grep -q 'Re-running CMake' "$work/log" ||
    bad "$1: a build with no new commit configured again"
}

configure && [[ $(version) == 0.1.0+0 ]] && grep -q 'no git history' "$work/log" || bad "without git: $(cat "$work/log")"
configure -DVANDREL_BUILD_NUMBER=77 && [[ $(version) == 0.1.0+77 ]] || bad "a given number: $(cat "$work/log")"

git -C "$tree" init -q && git -C "$tree" add -A && commit first
echo 'set(VANDREL_BUILD_NUMBER 9 CACHE STRING "Build number the program reports")' > "$work/earlier-cache.cmake"
# A build folder of an earlier version kept its number as a setting.
configure -C "$work/earlier-cache.cmake" && [[ $(version) == 0.1.0+1 ]] || bad "one commit: $(cat "$work/log")"
commit second && expect_next "a commit"
git -C "$tree" pack-refs --all && ninja -C "$work/build" > /dev/null
commit third && expect_next "a commit on a packed branch"
git -C "$tree" checkout -q --detach && commit fourth && expect_next "a commit on a detached HEAD"
[[ $(version) == 0.1.0+4 ]] || bad "four commits: $(version)"
exit $fail
