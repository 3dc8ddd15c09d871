#!/usr/bin/env bash
# The layer check catches each kind of fault planted in a scratch copy of the tree, and passes the clean copy.
# Usage: check_layers_test.sh <source folder> <configured build folder>
set -euo pipefail
source_dir=$1
build_dir=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -a "$source_dir/src" "$source_dir/tests" "$source_dir/scripts" "$scratch/"
mkdir "$scratch/build"
cp "$build_dir/layer-links.tsv" "$scratch/build/"
failures=0

# expect <name> <exit code> <text the output must hold>
expect() {
  local name=$1 code=$2 text=$3 output status=0
  output=$("$scratch/scripts/check-layers.sh" "$scratch/build" 2>&1) || status=$?
  if [[ $status -ne $code || $output != *"$text"* ]]; then
    echo "FAIL $name: exit $status, wanted $code and \"$text\"; output:"
    echo "$output"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

# planted <file> <line> <name> <text the output must hold>: the check fails on one line planted in a new file.
planted() {
  printf '%s\n' "$2" > "$scratch/$1"
  expect "$3" 1 "$4"
  rm -f "$scratch/$1"
}

expect "clean tree" 0 "every file and target uses only"

planted src/engine/planted.h '#include "../ui/prefs/preference_pane.h"' \
  "relative include up" \
  'src/engine/planted.h includes "../ui/prefs/preference_pane.h" (src/ui/prefs/preference_pane.h): engine may not use ui/prefs'

planted src/engine/planted.cpp '  #  include <catalogue/built_in_vd_action.h>' \
  "angle-bracket include up" \
  'src/engine/planted.cpp includes <catalogue/built_in_vd_action.h> (src/catalogue/built_in_vd_action.h): engine may not use catalogue'

planted src/core/planted.cpp '#include <QImage>' \
  "Qt Gui header in core" \
  'src/core/planted.cpp includes <QImage>: core may not use Qt Gui'

planted tests/engine/planted_test.cpp '#include "ui/prefs/preference_pane.h"' \
  "test of a higher layer" \
  'tests/engine/planted_test.cpp includes "ui/prefs/preference_pane.h" (src/ui/prefs/preference_pane.h): engine may not use ui/prefs'

cp "$build_dir/layer-links.tsv" "$scratch/links.tsv"
sed -E 's/^(vandrel_engine\t([^\t]*\t){2})/\1Qt6::Widgets;/' "$scratch/links.tsv" > "$scratch/build/layer-links.tsv"
expect "Qt Widgets linked by the engine" 1 'src/engine: vandrel_engine links Qt6::Widgets: engine may not use Qt Widgets'
sed -E 's/^(vandrel_platform\t([^\t]*\t){2})/\1vandrel_clip;/' "$scratch/links.tsv" > "$scratch/build/layer-links.tsv"
expect "platform linking clip" 1 'src/platform: vandrel_platform links vandrel_clip: platform may not use clip'
cp "$scratch/links.tsv" "$scratch/build/layer-links.tsv"

rm "$scratch/build/layer-links.tsv"
expect "unconfigured build" 2 "configure the build first"

exit $((failures > 0))
