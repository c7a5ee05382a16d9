# bash completion for zandrel-cli

_zandrel_cli() {
  local cur prev words cword split
  # -s: "--files-from=list.txt" completes the name after "=".
  _init_completion -s || return

  case "$prev" in
    -o | --output | --tag-ini | --files-from)
      _filedir
      return
      ;;
    --frames | --range)
      return
      ;;
  esac
  # The second number of --range.
  if [[ $cword -ge 3 && ${words[cword - 2]} == --range ]]; then
    return
  fi

  local i
  for ((i = 1; i < cword; i++)); do
    if [[ ${words[i]} == -- ]]; then
      _filedir
      return
    fi
  done

  $split && return

  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W '--output --range --frames --no-version-break
      --no-channel-break --no-freq-break --no-crc-break --no-id3v2 --no-id3v1
      --tag-ini --yes --abort-on-error --json --quiet --files-from --dry-run
      --no-clobber --full-id3v2 --split-xing --wav-any-chunk --ogg-whole --extended
      --help --version --' -- "$cur"))
    return
  fi
  if [[ $cword -eq 1 ]]; then
    COMPREPLY=($(compgen -W 'mp3 ogg wav all crc' -- "$cur"))
  fi
  _filedir
} &&
  complete -F _zandrel_cli zandrel-cli
