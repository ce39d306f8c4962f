#!/usr/bin/env bash
# Prints the table of figures (lanchat_bench --markdown) into bench/README.md,
# between its two marker comments, so that the README says what the code
# measures and judges. With --check, only compares and fails if they differ.
#
#   bench/readme_table.sh [--check] [LANCHAT_BENCH]
#
# Without LANCHAT_BENCH, builds it in build/benchmark as bench/run.sh does.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
readme=$here/README.md
check=false
if [ "${1:-}" = --check ]; then
  check=true
  shift
fi
bench=${1:-}
if [ -z "$bench" ]; then
  cd "$here/.."
  cmake --preset benchmark >/dev/null
  cmake --build --preset benchmark -j"$(nproc)" --target lanchat_bench >/dev/null
  bench=build/benchmark/bench/lanchat_bench
fi
begin='<!-- figures: begin'
end='<!-- figures: end'
if [ "$(grep -c -e "^$begin" -e "^$end" "$readme")" != 2 ]; then
  echo "FAIL: $readme needs one '$begin ... -->' and one '$end -->' line"
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --markdown >"$work/table"
awk -v table="$work/table" -v begin="^$begin" -v end="^$end" '
  $0 ~ begin { print; while ((getline line < table) > 0) print line; skip = 1; next }
  $0 ~ end { skip = 0 }
  !skip' "$readme" >"$work/README.md"
if $check; then
  diff -u "$readme" "$work/README.md" || {
    echo "FAIL: the table of figures in bench/README.md is not what lanchat_bench --markdown prints; run bench/readme_table.sh"
    exit 1
  }
elif ! cmp -s "$readme" "$work/README.md"; then
  cat "$work/README.md" >"$readme"
  echo "bench/README.md: table of figures rewritten"
fi
