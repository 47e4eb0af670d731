# bash completion for plimbrook-convert                   -*- shell-script -*-
# Made by make_completions from plimbrook-convert's option table; do not edit.

_plimbrook_convert()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local command= files_only= words i
    COMPREPLY=()
    # The command is the first word that is no option nor an option's value.
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            --) files_only=1 ;;
            --format|-F|--comment|-c|--template|-t|--size|-s|--save-format|--output-dir|-d|--output|-o) [[ $files_only ]] || ((i++)) ;;
            -*) ;;
            *) [[ $command ]] || command=${COMP_WORDS[i]} ;;
        esac
    done
    if [[ ! $files_only && $COMP_CWORD -gt 1 ]]; then
        case $prev in
            --format|-F)
                case $command in
                    to-bbd) words='swc fig ufo ufosd gd3' ;;
                    to-srm) words='gd3' ;;
                    info) words='gd3' ;;
                    *) words='swc fig ufo ufosd gd3' ;;
                esac
                COMPREPLY=($(compgen -W "$words" -- "$cur")) ;;
            --comment|-c)
                COMPREPLY=() ;;
            --template|-t)
                COMPREPLY=($(compgen -f -- "$cur")) ;;
            --size|-s)
                case $command in
                    to-bbd) words='2 8 16 32' ;;
                    to-srm) words='auto 1 2 4 8 16 32' ;;
                    *) words='2 8 16 32 auto 1 4' ;;
                esac
                COMPREPLY=($(compgen -W "$words" -- "$cur")) ;;
            --save-format)
                case $command in
                    to-srm) words='srm retron5' ;;
                    *) words='srm retron5' ;;
                esac
                COMPREPLY=($(compgen -W "$words" -- "$cur")) ;;
            --output-dir|-d)
                COMPREPLY=($(compgen -d -- "$cur")) ;;
            --output|-o)
                COMPREPLY=($(compgen -f -- "$cur")) ;;
            *) false ;;
        esac && return 0
    fi
    if [[ ! $files_only && $cur == -* ]]; then
        case $command in
            to-bbd) words='--format -F --comment -c --template -t --size -s --output-dir -d --output -o --force -f --no-clobber -n --quiet -q --verbose -v --progress --help -h --version -V' ;;
            to-srm) words='--format -F --size -s --save-format --output-dir -d --output -o --force -f --no-clobber -n --quiet -q --verbose -v --progress --help -h --version -V' ;;
            comment) words='--raw --help -h --version -V' ;;
            info) words='--format -F --json --help -h --version -V' ;;
            *) words='--format -F --comment -c --template -t --size -s --save-format --output-dir -d --output -o --force -f --no-clobber -n --quiet -q --verbose -v --progress --raw --json --help -h --version -V' ;;
        esac
        COMPREPLY=($(compgen -W "$words" -- "$cur"))
    elif [[ ! $command ]]; then
        COMPREPLY=($(compgen -W 'to-bbd to-srm comment info' -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _plimbrook_convert plimbrook-convert
