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
