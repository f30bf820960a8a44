# Sourced by the benchmark scripts: timing a command and summing up repetitions.

# Seconds taken by a command (its output is discarded); fails, giving no figure, when the command does.
time_command() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || return 1
    end=$(date +%s%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'
}

# Whether figure $1 is larger (smaller) than the best so far, $2; anything beats no figure yet.
larger() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(b == "" || a > b) }'; }
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(b == "" || a < b) }'; }

# "median (min-max)" of the figures given, two decimals.
median_range() {
    printf "%s\n" "$@" | sort -n | awk '{ r[NR] = $1 } END {
        m = (NR % 2) ? r[(NR + 1) / 2] : (r[NR / 2] + r[NR / 2 + 1]) / 2
        printf "%.2f (%.2f-%.2f)", m, r[1], r[NR] }'
}
