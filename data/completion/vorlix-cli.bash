# bash completion for vorlix-cli: commands, their options, the values some options take,
# and .xls files and folders for the workbook arguments.

_vorlix_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local IFS=$'\n'
    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            info | search | export | images | dump | streams | records)
                command=${COMP_WORDS[i]}
                break
                ;;
        esac
    done
    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W $'info\nsearch\nexport\nimages\ndump\nstreams\nrecords\n--help\n--version' -- "$cur"))
        return
    fi

    case $prev in
        --password | --delimiter | --sheet)
            return
            ;;
        --password-file | -o | --output | --output-dir)
            compopt -o filenames 2>/dev/null
            if [[ $command == images || $prev == --output-dir ]]; then
                COMPREPLY=($(compgen -d -- "$cur"))
            else
                COMPREPLY=($(compgen -f -- "$cur"))
            fi
            return
            ;;
        --locale)
            COMPREPLY=($(compgen -W "$(locale -a 2>/dev/null)" -- "$cur"))
            return
            ;;
        -j | --jobs)
            COMPREPLY=($(compgen -W "$(seq 1 "$(nproc 2>/dev/null || echo 1)")" -- "$cur"))
            return
            ;;
        --eol)
            COMPREPLY=($(compgen -W $'crlf\nlf' -- "$cur"))
            return
            ;;
        --values)
            COMPREPLY=($(compgen -W $'display\nraw' -- "$cur"))
            return
            ;;
        --encoding)
            COMPREPLY=($(compgen -W $'UTF-8\nUTF-16LE\nUTF-16BE\nwindows-1252\nISO-8859-1\nISO-8859-15\nlatin1\nUS-ASCII\nKOI8-R\nKOI8-U\nShift_JIS\nGB18030' -- "$cur"))
            return
            ;;
    esac

    local options="--help"
    case $command in
        info) options+=" --contents --json --all-formulas --password --password-file --locale" ;;
        search) options+=" --match --case-sensitive --regex --whole-word --json --all-formulas -j --jobs --password --password-file --locale" ;;
        export) options+=" --one-sheet --separate --all-in-one --csv --txt -o --output --output-dir -r --recursive --sheet --delimiter --encoding --bom --eol --values --formulas --all-formulas -j --jobs --password --password-file --locale" ;;
        images) options+=" -o --output --password --password-file" ;;
        dump) options+=" --password --password-file --strict-formulas --all-formulas --no-drawings" ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "${options// /$'\n'}" -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -X '!*.[xX][lL][sS]' -- "$cur") $(compgen -d -- "$cur"))
}

complete -F _vorlix_cli vorlix-cli
