#!/usr/bin/env bash
# Runs every fuzz target of a build folder for the given seconds, each from its seeds (fuzz/seeds/<target>)
# and the corpus earlier runs grew (<build>/fuzz-corpus/<target>). Findings land in <build>/fuzz-findings/.
# Exits non-zero when any target found a crash.
#   fuzz/run.sh build-fuzz 60
set -uo pipefail

build=${1:?build folder}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)

# Long enough to go past every limit of the readers: 64 levels of nesting, 256-character versions, the
# 120-byte excerpts of error messages.
declare -A max_len=(
  [fuzz_settings_file]=16384 [fuzz_scheme_json]=16384 [fuzz_key_setting]=8192
  [fuzz_any_codable]=8192 [fuzz_version]=1024 [fuzz_desktop_entry]=8192
)

failed=()
for target in "${!max_len[@]}"; do
  binary="$build/fuzz/$target"
  [[ -x "$binary" ]] || { echo "fuzz: $binary is missing" >&2; failed+=("$target"); continue; }
  corpus="$build/fuzz-corpus/$target"
  findings="$build/fuzz-findings/$target"
  mkdir -p "$corpus" "$findings"
  echo "fuzz: $target for ${seconds}s"
  if ! "$binary" "$corpus" "$here/seeds/$target" -max_len="${max_len[$target]}" -max_total_time="$seconds" \
      -artifact_prefix="$findings/" -print_final_stats=1 2> "$build/fuzz-findings/$target.log"; then
    failed+=("$target")
    tail -40 "$build/fuzz-findings/$target.log" >&2
  else
    grep -E "stat::number_of_executed_units|cov:" "$build/fuzz-findings/$target.log" | tail -2
  fi
done

if ((${#failed[@]})); then
  echo "fuzz: findings in ${failed[*]} (see $build/fuzz-findings)" >&2
  exit 1
fi
echo "fuzz: no findings"
