#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Completes command lines of the installed label tool with its installed bash completion, as
# bash-completion would on a TAB, and compares the candidates with what the tool itself reports.
# Run as: check_completion.sh BASH_COMPLETION COMPLETION_FILE BIN_DIR LABEL_FILE
set -uo pipefail
bash_completion=$1 completion=$2 bin_dir=$3 label_file=$4
# shellcheck source=/dev/null
source "$bash_completion" || exit 1
# shellcheck source=/dev/null
source "$completion" || exit 1
export PATH="$bin_dir:$PATH"
# Captions are UTF-8, which printf %q leaves alone only in a UTF-8 locale, as a user's shell has.
export LC_ALL=C.UTF-8
# No stray file of the working directory among the candidates.
scratch=$(mktemp -d) && trap 'rm -rf "$scratch"' EXIT && cd "$scratch" || exit 1
tool=K732-118-labels
failures=0

# The candidates for the last word of a command line (an empty last word: after a space).
complete_line() {
    local line=$1
    COMP_LINE=$line
    COMP_POINT=${#line}
    # Split as bash splits for completion: "=" is a word of its own.
    read -r -a COMP_WORDS <<<"${line//=/ = }"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _k732_118_labels "$tool" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort
}

expect() {
    local line=$1 expected actual
    expected=$(printf '%s\n' "${@:2}" | LC_ALL=C sort)
    actual=$(complete_line "$line")
    if [[ $actual != "$expected" ]]; then
        printf 'completing "%s":\n  expected: %s\n  got:      %s\n' "$line" \
            "$(echo $expected)" "$(echo $actual)" >&2
        failures=$((failures + 1))
    fi
}

# Every command that the tool's --help lists, and nothing else, at the first word.
mapfile -t commands < <("$tool" --help | sed -n '/^Commands/,/^$/s/^  \([a-z][a-z0-9-]*\).*/\1/p')
[[ ${#commands[@]} -ge 5 ]] || { echo "the tool's --help lists no commands" >&2; exit 1; }
expect "$tool " "${commands[@]}"
expect "$tool imp" import-svd
expect "$tool --v" --version

# Each command's options, from its own --help.
expect "$tool import-svd --" --device --help --into --only --output --pack --quiet --verbose
expect "$tool decode $label_file --s" --set
expect "$tool dump --" --base --big-endian --changed --device --diff --help --json --pack

# Set names from the file on the command line, or from the default file beside the tool; a
# word already typed narrows them.
expect "$tool show $label_file " Alarm Motor
expect "$tool decode $label_file --set " Alarm Motor
expect "$tool decode $label_file --set=M" Motor
cp "$label_file" "$bin_dir/K732-118.ini"
expect "$tool show A" Alarm
expect "$tool encode --set A" Alarm
# Captions of the chosen set, quoted for the shell where they hold blanks; the disabled
# boxes' "Unused" is no caption.
expect "$tool encode --set Motor Over" 'Over\ current' 'Over\ temperature'
expect "$tool encode $label_file --set Alarm " 'Supply\ low' 'Température\ haute' 'Door\ open'
expect "$tool encode --set Motor U"
rm -f "$bin_dir/K732-118.ini"

# Label files, directories and register descriptions where a file is wanted.
dir=$(dirname "$label_file")
expect "$tool import-svd --into $dir/K732-1" "$dir/K732-118.ini"

# Device names after --device, from the packs under CMSIS_PACK_ROOT: a part with several cores
# also as DEVICE:CORE; packs after --pack, with and without their version.
pdsc="$scratch/packs/Acme/Dual_DFP/1.0.0/Acme.Dual_DFP.pdsc"
mkdir -p "$(dirname "$pdsc")" && printf '%s\n' '<package><devices><family Dvendor="Acme:1">' \
    '<device Dname="DUAL55"><processor Pname="core0"/><processor Pname="core1"/></device>' \
    '<device Dname="SOLO1"/></family></devices></package>' >"$pdsc"
export CMSIS_PACK_ROOT="$scratch/packs"
expect "$tool reg --device " DUAL55 DUAL55:core0 DUAL55:core1 SOLO1
# Bash breaks words at ':', so the candidates are what follows the colon.
expect "$tool find --device DUAL55:" core0 core1
expect "$tool devices --pack A" Acme::Dual_DFP Acme::Dual_DFP@1.0.0

exit $((failures > 0))
