# SPDX-License-Identifier: MIT
# bash completion for K732-118-labels: its commands and their options, read from the tool's own
# --help so that they always match the installed tool, and the set names and captions of the
# label file on the command line (or of the default file beside the tool).

# The commands, one a line, from the list in the tool's --help.
_k732_118_labels_commands()
{
    "$1" --help 2>/dev/null | sed -n '/^Commands/,/^$/s/^  \([a-z][a-z0-9-]*\).*/\1/p'
}

_k732_118_labels_options()
{
    "$1" "$2" --help 2>/dev/null |
        sed -n '/^Options:/,/^$/{s/^  \(-[^ ,]*, \)\{0,1\}\(--[a-z0-9-]*\).*/\2/p}'
}

# The options that take a value: their help line names it as <VALUE>.
_k732_118_labels_valued_options()
{
    "$1" "$2" --help 2>/dev/null |
        sed -n '/^Options:/,/^$/{s/^  \(-[^ ,]*, \)\{0,1\}\(--[a-z0-9-]*\) <.*/\2/p}'
}

# The set names of the label file, with the caller's tool and file.
_k732_118_labels_sets()
{
    "$tool" show "${file[@]}" 2>/dev/null | cut -f1
}

# Adds the lines of standard input that start with the word being completed, quoted for the
# command line.
_k732_118_labels_reply()
{
    local word
    while IFS= read -r word; do
        [[ -n $word && $word == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$word")")
    done
}

_k732_118_labels()
{
    local cur prev words cword split
    # Device names hold colons (VENDOR::DEVICE:CORE), which are no word breaks here.
    _init_completion -s -n : || return

    local tool=${words[0]} command=${words[1]}
    if ((cword == 1)); then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--help --help-all --version' -- "$cur"))
        else
            _k732_118_labels_reply < <(_k732_118_labels_commands "$tool")
        fi
        return
    fi

    local valued
    valued=" $(_k732_118_labels_valued_options "$tool" "$command" | tr '\n' ' ')"

    # The words so far, as the tool reads them: the positional arguments and the --set given.
    local i word set="" positional=()
    for ((i = 2; i < cword; i++)); do
        word=${words[i]}
        if [[ $word == --set=* ]]; then
            set=${word#--set=}
        elif [[ $valued == *" $word "* ]]; then
            ((i++))
            [[ $word == --set ]] && set=${words[i]}
        elif [[ $word != -* ]]; then
            positional+=("$word")
        fi
    done
    # The tool takes the first positional argument for FILE when it is an existing file or ends
    # in .ini; otherwise it reads the default file itself.
    local file=()
    if ((${#positional[@]})) && [[ -f ${positional[0]} || ${positional[0]} == *.ini ]]; then
        file=("${positional[0]}")
        positional=("${positional[@]:1}")
    fi

    if [[ $valued == *" $prev "* ]]; then
        case $prev in
        --set) _k732_118_labels_reply < <(_k732_118_labels_sets) ;;
        --into) _filedir ini ;;
        --device)
            # Each device, and each core of a part with several as DEVICE:CORE.
            _k732_118_labels_reply < <("$tool" devices 2>/dev/null |
                awk -F '\t' '{ print $1; if ($2 != "") print $1 ":" $2 }' | sort -u)
            __ltrim_colon_completions "$cur"
            ;;
        --pack)
            _k732_118_labels_reply < <("$tool" devices 2>/dev/null | cut -f4 |
                sed 'p;s/@.*//' | sort -u)
            __ltrim_colon_completions "$cur"
            ;;
        --only) ;;
        *) _filedir ;;
        esac
        return
    fi
    $split && return

    if [[ $cur == -* ]]; then
        _k732_118_labels_reply < <(_k732_118_labels_options "$tool" "$command")
        return
    fi

    case $command in
    show)
        if ((${#file[@]} == 0 && ${#positional[@]} == 0)); then
            _filedir ini
            _k732_118_labels_reply < <(_k732_118_labels_sets)
        elif ((${#positional[@]} == 0)); then
            _k732_118_labels_reply < <(_k732_118_labels_sets)
        fi
        ;;
    encode)
        if [[ -n $set ]]; then
            ((${#file[@]} || ${#positional[@]})) || _filedir ini
            _k732_118_labels_reply < <("$tool" show "${file[@]}" "$set" 2>/dev/null |
                awk -F '\t' '$3 == "enabled" { print $2 }')
        else
            ((${#file[@]})) || _filedir ini
        fi
        ;;
    decode | check)
        ((${#file[@]} || ${#positional[@]})) || _filedir ini
        ;;
    import-svd)
        ((${#positional[@]})) || _filedir svd
        ;;
    dump)
        # SVD, then the dump, which may be of any name.
        if ((${#positional[@]})); then
            _filedir
        else
            _filedir svd
        fi
        ;;
    *)
        _filedir
        ;;
    esac
} && complete -F _k732_118_labels K732-118-labels
