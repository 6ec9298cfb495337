#!/bin/sh
# Runs every fuzz target of a build folder for SECONDS each:
#   tests/fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
# New corpus entries and any crash go to BUILD_DIR/fuzz-corpus/<target> and
# BUILD_DIR/fuzz-crashes/<target>; the seeds in tests/fuzz/corpus are only read.
# Exits non-zero when a target finds a crash or a property violation.
set -u
cd "$(dirname "$0")/../.."
build=$1
seconds=$2
shift 2
targets=${*:-"fuzz_image fuzz_keymap fuzz_games fuzz_asm fuzz_i8080 fuzz_recording"}
status=0
for t in $targets; do
    name=${t#fuzz_}
    corpus="$build/fuzz-corpus/$name"
    crashes="$build/fuzz-crashes/$name"
    mkdir -p "$corpus" "$crashes"
    dict=""
    [ -f "tests/fuzz/$name.dict" ] && dict="-dict=tests/fuzz/$name.dict"
    echo "== $t: $seconds s"
    if ! "$build/fuzz/$t" $dict -max_total_time="$seconds" -timeout=20 -print_final_stats=1 \
            -artifact_prefix="$crashes/" "$corpus" "tests/fuzz/corpus/$name" >"$build/fuzz-$name.log" 2>&1; then
        echo "$t FAILED: see $build/fuzz-$name.log and $crashes/"
        tail -n 40 "$build/fuzz-$name.log"
        status=1
    fi
    grep -E '^(#[0-9]+[[:space:]]+DONE|stat::number_of_executed_units|stat::average_exec_per_sec)' "$build/fuzz-$name.log"
done
exit $status
