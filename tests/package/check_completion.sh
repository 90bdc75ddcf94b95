#!/usr/bin/env bash
# The bash completions: they parse, and completing offers what the programs take.
#   check_completion.sh COMPLETIONS_DIR LANVEY_SCAN LANVEY_DB
set -u
dir=$1 scan=$2 db=$3
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

for file in "$dir/lanvey-scan" "$dir/lanvey-db"; do
    bash -n "$file" || fail "$file does not parse"
done

# Loaded the way bash-completion loads them, then asked as if TAB was pressed at the end
# of the line; prints the offers, one a line.
complete_line() {
    bash --norc --noprofile -c '
        source /usr/share/bash-completion/bash_completion || exit 1
        source "$1" || exit 1
        shift
        COMP_LINE=$1
        COMP_POINT=${#COMP_LINE}
        read -r -a COMP_WORDS <<<"$COMP_LINE"
        [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        func=$(complete -p "${COMP_WORDS[0]}" | sed -n "s/.*-F \([^ ]*\) .*/\1/p")
        "$func" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
        printf "%s\n" "${COMPREPLY[@]}" | sort
    ' complete_line "$@"
}

expect_offers() {
    local file=$1 line=$2 want=$3 got
    got=$(complete_line "$file" "$line" | tr '\n' ' ' | sed 's/ $//')
    if [ "$got" = "$want" ]; then
        echo "ok: '$line' -> $got"
    else
        fail "'$line' offered '$got', expected '$want'"
    fi
}

# Every option lanvey-scan --help names, and no other.
want=$("$scan" --help | grep -o -- '--[a-z][a-z-]*' | sort -u | tr '\n' ' ' | sed 's/ $//')
[ -n "$want" ] || fail "lanvey-scan --help names no option"
expect_offers "$dir/lanvey-scan" "lanvey-scan --" "$want"
expect_offers "$dir/lanvey-scan" "lanvey-scan --fo" "--format"
expect_offers "$dir/lanvey-scan" "lanvey-scan --format " "csv json table"
expect_offers "$dir/lanvey-scan" "lanvey-scan --threads " ""

# lanvey-db: the commands of its usage, then each command's options.
want=$("$db" --help | sed -n 's/^[a-z: ]*lanvey-db \[--db FILE\] \([a-z]*\).*/\1/p' | sort -u | tr '\n' ' ' | sed 's/ $//')
[ -n "$want" ] || fail "lanvey-db --help names no command"
expect_offers "$dir/lanvey-db" "lanvey-db " "$want"
expect_offers "$dir/lanvey-db" "lanvey-db --db x.lvdat ex" "export"
expect_offers "$dir/lanvey-db" "lanvey-db export out --format " "csv ethers hosts json"
expect_offers "$dir/lanvey-db" "lanvey-db list --format " "csv json table"
expect_offers "$dir/lanvey-db" "lanvey-db import x --" "--db --keep --replace"
# The add options are the ones lanvey-db's usage gives for add.
want=$( ("$db" --help | sed -n '/ add IP MAC/,/--color/p' | grep -o -- '--[a-z]*' | grep -v -- '--db'; echo --db) |
    sort -u | tr '\n' ' ' | sed 's/ $//')
expect_offers "$dir/lanvey-db" "lanvey-db add 198.18.0.1 02:00:00:00:00:01 --" "$want"

if [ $failures -ne 0 ]; then
    echo "$failures completion checks failed"
    exit 1
fi
echo "every completion check passed"
