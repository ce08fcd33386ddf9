#!/usr/bin/env bash
# Every command and option that a program's --help prints must be in its manual page, and
# those of drivelink-cli also in its bash completion. A new option fails this test until
# both are brought up to date.
# Usage: help-coverage.sh PACKAGING_DIR DRIVELINK DRIVELINK_CLI DRIVELINK_SIM
set -uo pipefail

packaging=$1
failures=0

# The options a help text names: --word tokens anywhere in it.
options_of() { grep -oE -- '(^|[^A-Za-z0-9-])--[a-z][a-z0-9-]*' | grep -oE -- '--[a-z0-9-]+' | sort -u; }
# The commands of drivelink-cli's help: the first word of each line of its Commands section.
commands_of() { sed -n '/^Commands:/,/^$/p' | sed -nE 's/^  ([a-z][a-z-]*)( .*)?$/\1/p' | sort -u; }
# The manual page as plain words: font changes and escaped hyphens taken out.
man_text() { sed -E 's/\\f[BIRP]//g; s/\\-/-/g' "$1"; }
has_word() { grep -qE -- "(^|[^A-Za-z0-9-])$1([^A-Za-z0-9-]|\$)"; }

missing() {
    echo "$1: '$2' is printed by --help but missing from $3"
    failures=$((failures + 1))
}

check_program() {
    local program=$1 page=$2 help text
    help=$(QT_QPA_PLATFORM=offscreen "$program" --help 2>/dev/null) || true
    [[ -n $help ]] || { echo "$program printed no help"; failures=$((failures + 1)); return; }
    text=$(man_text "$packaging/man/$page")
    while read -r option; do
        has_word "$option" <<<"$text" || missing "$(basename "$program")" "$option" "man/$page"
    done < <(options_of <<<"$help")
}

check_program "$2" drivelink.1
check_program "$4" drivelink-sim.1
check_program "$3" drivelink-cli.1

help=$(QT_QPA_PLATFORM=offscreen "$3" --help)
completion=$(cat "$packaging/drivelink-cli.bash-completion")
cli_man=$(man_text "$packaging/man/drivelink-cli.1")
while read -r option; do
    has_word "$option" <<<"$completion" || missing drivelink-cli "$option" "the bash completion"
done < <(options_of <<<"$help")
commands=$(commands_of <<<"$help")
[[ -n $commands ]] || { echo "no commands found in drivelink-cli --help"; failures=$((failures + 1)); }
while read -r command; do
    [[ -n $command ]] || continue
    has_word "$command" <<<"$(grep -E '^ *local commands=' <<<"$completion")" ||
        missing drivelink-cli "$command" "the completion's command list"
    grep -qE "^\.BR? \"?$command\"?( |$)" <<<"$cli_man" ||
        missing drivelink-cli "$command" "man/drivelink-cli.1 (a .B or .BR entry)"
done <<<"$commands"

if ((failures > 0)); then
    echo "$failures entries missing"
    exit 1
fi
echo "every command and option of --help is documented and completed"
