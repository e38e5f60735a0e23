# bash completion for verbatra: its options, and for --from and --to the
# short names of the formats, asked of the program itself so that they
# are always those it knows.
_verbatra_formats() {
    local section=$1
    "${COMP_WORDS[0]}" --list-formats 2>/dev/null | awk -v want="$section" '
        /^Source formats/ { part = "from"; next }
        /^Target formats/ { part = "to"; next }
        part == want && $1 != "" { print $1 }'
}

_verbatra() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
        -f|--from)
            COMPREPLY=($(compgen -W "auto $(_verbatra_formats from)" -- "$cur"))
            return ;;
        -t|--to)
            COMPREPLY=($(compgen -W "$(_verbatra_formats to)" -- "$cur"))
            return ;;
        --format)
            COMPREPLY=($(compgen -W "jsonl csv" -- "$cur"))
            return ;;
        --layout)
            COMPREPLY=($(compgen -W "archivematica" -- "$cur"))
            return ;;
        -j|--jobs)
            return ;;
        -o|--output-dir)
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        --report|--resume|--files-from|--dump-stream)
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "-f --from -t --to -r --recursive -o --output-dir -j --jobs --report
            --files-from --resume -q --quiet --layout --no-keep-dates --dump-stream --identify
            --format --list-formats --version -h --help" -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -F _verbatra verbatra
