# bash completion of kestrane-cli
_kestrane_cli() {
  local current=${COMP_WORDS[COMP_CWORD]}
  local first=${COMP_WORDS[1]}
  local words
  case $COMP_CWORD in
    1) words="list watch calibrate firmware messages feedback check-updates --help" ;;
    *)
      case $first in
        list) words="--json --help" ;;
        watch) words="--json --help" ;;
        calibrate)
          if [ "$COMP_CWORD" -eq 4 ]; then words="min max min="; else words="--yes --help"; fi ;;
        firmware)
          if [ "$COMP_CWORD" -eq 2 ]; then words="update change recover --verbose --help"
          else words="--verbose --secure --plain --help"; fi ;;
        feedback)
          if [ "$COMP_CWORD" -eq 2 ]; then words="list send --help"; fi ;;
        *) words="--help" ;;
      esac ;;
  esac
  COMPREPLY=($(compgen -W "$words" -- "$current"))
}
complete -F _kestrane_cli kestrane-cli
