# Sourced by the side-by-side scripts. best_ms COMMAND...: the best CPU time (user + system) of the
# command over $runs runs, in milliseconds with two decimals.
best_ms() {
    local best='' times user system elapsed TIMEFORMAT='%3U %3S'
    for ((i = 0; i < runs; ++i)); do
        times=$({ time "$@" >/dev/null 2>&1; } 2>&1)
        read -r user system <<<"$times"
        elapsed=$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%d", (u + s) * 1000000 }')
        if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
    done
    awk -v us="$best" 'BEGIN { printf "%.2f", us / 1000 }'
}

# require PROGRAM...: each is an executable path or a command on the PATH; else the script stops,
# naming the first one missing.
require() {
    local program
    for program; do
        if [[ $program == */* ]]; then
            [ -x "$program" ] || { echo "missing $program (build it, or install its package)" >&2; exit 1; }
        else
            command -v "$program" >/dev/null || { echo "missing $program (scripts/setup.sh installs it)" >&2; exit 1; }
        fi
    done
}

# minus A B: A - B with one decimal (a figure less the start-up cost measured beside it).
minus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a - b }'; }
# speed_ratio THEIRS OURS: the reference's time divided by ours (above 1: we are faster), or "-".
speed_ratio() { awk -v theirs="$1" -v ours="$2" 'BEGIN { if (ours > 0) printf "%.2f", theirs / ours; else print "-" }'; }
