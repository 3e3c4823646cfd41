# The reporting helpers of the packaging tests, sourced by each of them. The
# sourcing script sets failures=0 and ends with its count.

pass() { echo "  ok    $1"; }
fail() { echo "  FAIL  $1"; failures=$((failures + 1)); }
skip() { echo "  skip  $1"; }

# check NAME COMMAND...: runs COMMAND quietly, shows its output on failure.
check() {
    local name=$1 output
    shift
    if output=$("$@" 2>&1); then
        pass "$name"
    else
        fail "$name"
        printf '%s\n' "$output" | tail -n 20 | sed 's/^/        /'
        return 1
    fi
}

# tree DIR: every file and link below DIR, relative, sorted.
tree() { (cd "$1" && find . -mindepth 1 \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort); }
