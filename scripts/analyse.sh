#!/usr/bin/env bash
# Runs the analysers and fails on any finding: clang-tidy (the committed
# .clang-tidy) and cppcheck over the program's sources, and a clang-format
# check over every C++ file of the project. Extra arguments go to cmake;
# the build is the analyse preset's (its compile_commands.json feeds both
# analysers).
set -eu
cd "$(dirname "$0")/.."
. scripts/common.sh
install_missing "${BUILD_PACKAGES[@]}" clang-tidy cppcheck clang-format
build=build/analyse # the analyse preset's folder
program_dirs=(classes text chat config history netcore desktop platform net ui app)

# The build makes the moc output and the generated headers the analysers read.
cmake --preset analyse "$@" >/dev/null
cmake --build --preset analyse -j"$(nproc)"

mapfile -t program_sources < <(find "${program_dirs[@]}" -name '*.cpp' | sort)
mapfile -t all_cxx < <(find "${program_dirs[@]}" tests bench \( -name '*.cpp' -o -name '*.h' -o -name '*.h.in' \) | sort)
status=0

echo "== clang-tidy: ${#program_sources[@]} files"
if command -v run-clang-tidy >/dev/null; then
  # Each argument is a regular expression matched against the database's paths.
  run-clang-tidy -quiet -p "$build" -j "$(nproc)" "${program_sources[@]/#/^$PWD/}" || status=1
else
  for file in "${program_sources[@]}"; do clang-tidy --quiet -p "$build" "$file" || status=1; done
fi

echo "== cppcheck"
# Only the program's files of the database (paths relative to here); system
# headers are not analysed.
mkdir -p "$build/cppcheck"
filters=()
for dir in "${program_dirs[@]}"; do filters+=("--file-filter=$dir/*.cpp"); done
cppcheck --project="$build/compile_commands.json" "${filters[@]}" -j "$(nproc)" --quiet \
  --enable=warning,performance,portability --library=qt --inline-suppr --error-exitcode=1 \
  --suppress=missingIncludeSystem --cppcheck-build-dir="$build/cppcheck" || status=1

echo "== clang-format: ${#all_cxx[@]} files"
clang-format --dry-run --Werror "${all_cxx[@]}" || status=1

[ "$status" -eq 0 ] && echo "analysers: no finding" || echo "analysers: findings above"
exit "$status"
