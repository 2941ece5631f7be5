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

# compare LABEL OURS_SECONDS THEIRS_SECONDS : prints one line with the ratio theirs/ours.
compare() {
  printf '%-40s quillet %8.3f s   other %8.3f s   speed-up x%.2f\n' "$1" "$2" "$3" \
    "$(echo "$3 / $2" | bc -l)"
}
