# Helpers for the comparison groups of scripts/bench-compare.

# best_of N CMD... : the best wall time of N runs of CMD, in seconds.
best_of() {
  local n=$1; shift
  local best="" t
  for _ in $(seq 1 "$n"); do
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

# median_of N CMD... : the median wall time of N runs of CMD, in seconds (for runs so short that
# the best one says more about luck than about the program).
median_of() {
  local n=$1; shift
  local times=() start end
  for _ in $(seq 1 "$n"); do
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; return 1; }
    end=$(date +%s.%N)
    times+=("$(echo "$end - $start" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g | sed -n "$(( (n + 1) / 2 ))p"
}

# compare LABEL OURS_SECONDS THEIRS_SECONDS [OUR_FILE THEIR_FILE] : prints one line with the
# ratio theirs/ours and records it, with the files' sizes, for the closing table.
compare() {
  local ratio size_ours="" size_theirs=""
  ratio=$(echo "$3 / $2" | bc -l)
  printf '%-40s quillet %8.3f s   other %8.3f s   speed-up x%.2f\n' "$1" "$2" "$3" "$ratio"
  if [ $# -ge 5 ]; then
    size_ours=$(stat -c %s "$4" 2>/dev/null || true)
    size_theirs=$(stat -c %s "$5" 2>/dev/null || true)
  fi
  printf '%s\t%.2f\t%.3f\t%.3f\t%s\t%s\n' "$1" "$ratio" "$2" "$3" "$size_ours" "$size_theirs" \
    >>"$BENCH_WORK/ratios.tsv"
}

# closing_table : every ratio recorded by compare, with the output sizes where known.
closing_table() {
  [ -s "$BENCH_WORK/ratios.tsv" ] || return 0
  echo "== every ratio =="
  printf '%-44s %8s %9s %9s %12s %12s\n' "comparison" "speed-up" "quillet" "other" \
    "quillet B" "other B"
  while IFS=$'\t' read -r label ratio ours theirs size_ours size_theirs; do
    printf '%-44s %7sx %8ss %8ss %12s %12s\n' "$label" "$ratio" "$ours" "$theirs" \
      "${size_ours:--}" "${size_theirs:--}"
  done <"$BENCH_WORK/ratios.tsv"
}
