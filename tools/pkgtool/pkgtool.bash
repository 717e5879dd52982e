# bash completion for pkgtool: its commands, their options, and the files
# each takes (package files, descriptions, key files, device roots, and the
# package names of a root's database for `query ROOT --files`).

_pkgtool_package_files() {
    COMPREPLY+=($(compgen -f -X '!*.[nd]pk' -- "$1") $(compgen -d -- "$1"))
}

_pkgtool() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local command=${COMP_WORDS[1]}
    COMPREPLY=()
    compopt -o filenames 2>/dev/null
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W 'build inspect verify diff query --help --version' -- "$cur"))
        return
    fi
    case $command in
    build)
        case $prev in
        -s | --sign) COMPREPLY=($(compgen -W 'none legacy eddsa both' -- "$cur")); return ;;
        -o | --output | -k | --keys) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        esac
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '-o --output -k --keys -s --sign' -- "$cur"))
        else
            COMPREPLY=($(compgen -f -X '!*.desc' -- "$cur") $(compgen -d -- "$cur"))
        fi
        ;;
    inspect | verify | diff)
        if [[ $cur == -* ]]; then
            case $command in
            inspect) COMPREPLY=($(compgen -W '--json' -- "$cur")) ;;
            verify) COMPREPLY=($(compgen -W '-q --quiet' -- "$cur")) ;;
            esac
        else
            _pkgtool_package_files "$cur"
        fi
        ;;
    query)
        case $prev in
        --files)
            local root=${COMP_WORDS[2]} entry names=()
            for entry in "$root"/flash/var/pdb/*/; do
                [[ -d $entry ]] && names+=("$(basename "$entry")")
            done
            COMPREPLY=($(compgen -W "${names[*]}" -- "$cur"))
            return
            ;;
        --owner)
            # Paths as on the device, completed from what lies below the root.
            local root=${COMP_WORDS[2]} path
            [[ $cur == /* ]] || cur=/$cur
            for path in $(compgen -f -- "$root$cur"); do
                [[ -d $path ]] && path+=/
                COMPREPLY+=("${path#"$root"}")
            done
            compopt -o nospace 2>/dev/null
            return
            ;;
        esac
        if ((COMP_CWORD == 2)); then
            COMPREPLY=($(compgen -d -- "$cur"))
        else
            COMPREPLY=($(compgen -W '--files --owner --check' -- "$cur"))
        fi
        ;;
    esac
}
complete -F _pkgtool pkgtool
