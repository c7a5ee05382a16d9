#!/usr/bin/env bash
# Checks, from a built build folder, what `cmake --install` lays out and what
# `cpack -G DEB` packs: every file in its place, the desktop entry and the
# metainfo valid, both installed programs answering --version without a
# display, the command line's manual page and completion knowing every
# command and option of its --help, and a package that depends on Qt 6
# Widgets and holds the files.
set -uo pipefail
build="$(cd "${1:?usage: check_install.sh BUILD_DIR}" && pwd)"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
status=0
fail() {
  echo "check_install: $*" >&2
  status=1
}

id=org.zandrel.Zandrel
files=(
  usr/bin/zandrel
  usr/bin/zandrel-cli
  usr/share/applications/$id.desktop
  usr/share/metainfo/$id.metainfo.xml
  usr/share/icons/hicolor/scalable/apps/zandrel.svg
  usr/share/icons/hicolor/48x48/apps/zandrel.png
  usr/share/icons/hicolor/128x128/apps/zandrel.png
  usr/share/icons/hicolor/256x256/apps/zandrel.png
  usr/share/doc/zandrel/readme.txt
  usr/share/doc/zandrel/readme_en.txt
  usr/share/zandrel/translations/zandrel_en.qm
  usr/share/man/man1/zandrel.1
  usr/share/man/man1/zandrel-cli.1
  usr/share/bash-completion/completions/zandrel-cli
)

DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null || fail "cmake --install failed"
for f in "${files[@]}"; do
  [ -s "$stage/$f" ] || fail "not installed: /$f"
done
for size in 48 128 256; do
  file "$stage/usr/share/icons/hicolor/${size}x${size}/apps/zandrel.png" |
    grep -q "PNG image data, $size x $size" || fail "the ${size}px icon is not ${size}x${size}"
done

desktop="$stage/usr/share/applications/$id.desktop"
messages="$(desktop-file-validate "$desktop" 2>&1)" || fail "desktop-file-validate failed"
[ -z "$messages" ] || fail "desktop-file-validate: $messages"
grep -qx 'Exec=zandrel %F' "$desktop" || fail "the desktop entry's Exec does not take files"
appstreamcli validate --no-net "$stage/usr/share/metainfo/$id.metainfo.xml" ||
  fail "appstreamcli validate failed"

version="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$stage/usr/bin/zandrel" --version)"
[[ "$version" =~ ^zandrel\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "zandrel --version printed '$version'"
[ "$("$stage/usr/bin/zandrel-cli" --version)" = "$version" ] || fail "the two versions differ"
grep -q "<release version=\"${version#zandrel }\"" "$stage/usr/share/metainfo/$id.metainfo.xml" ||
  fail "the metainfo has no release $version"
man --warnings -l "$stage/usr/share/man/man1/zandrel.1" "$stage/usr/share/man/man1/zandrel-cli.1" \
  2>&1 >/dev/null | grep . && fail "the manual pages have warnings"

# Every command word and option that zandrel-cli --help names is in its
# manual page and its completion, and the completion offers them.
usage="$("$stage/usr/bin/zandrel-cli" --help)"
commands="$(grep -o '^Usage: zandrel-cli \[[a-z0-9|]*\]' <<<"$usage" | grep -o '\[.*\]' | tr -d '[]' | tr '|' ' ')"
mapfile -t options < <(grep -oE '(^|[ ,])--?[a-z][a-z0-9-]*' <<<"$usage" | tr -d ' ,' | sort -u)
[ -n "$commands" ] && [ ${#options[@]} -ge 20 ] || fail "cannot read the commands and options of --help"
manual="$(cat "$stage/usr/share/man/man1/zandrel-cli.1")"
completion="$stage/usr/share/bash-completion/completions/zandrel-cli"
complete_line() {
  # The completions offered at the end of the line given, its words split on
  # blanks and "=" a word of its own, as bash splits them.
  bash -c 'source /usr/share/bash-completion/bash_completion
    source "$0"
    COMP_LINE="$1"; COMP_POINT=${#COMP_LINE}
    read -ra COMP_WORDS <<<"${COMP_LINE//=/ = }"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _zandrel_cli zandrel-cli "${COMP_WORDS[-1]}" "${COMP_WORDS[-2]}"
    printf "%s\n" "${COMPREPLY[@]}"' "$completion" "$1"
}
offered_commands="$(cd "$stage" && complete_line "zandrel-cli ")"
offered_options="$(cd "$stage" && complete_line "zandrel-cli all --")"
for c in $commands; do
  grep -q "^\.B $c\$" <<<"$manual" || fail "the manual page does not describe the command $c"
  grep -qx "$c" <<<"$offered_commands" || fail "the completion does not offer the command $c"
done
for o in "${options[@]}"; do
  # As the page writes it ("\-\-dry\-run"), not inside a longer option.
  written="$(sed 's/[\\.]/\\&/g' <<<"${o//-/\\-}")"
  grep -qE -- "(^|[^-a-z\\])$written([^-a-z0-9\\]|\$)" <<<"$manual" ||
    fail "the manual page does not name $o"
  if [[ $o == --* ]]; then
    grep -qx -- "$o" <<<"$offered_options" || fail "the completion does not offer $o"
  fi
done
for line in "-o " "--output=" "--tag-ini " "--files-from " "--files-from="; do
  [ "$(cd "$stage" && complete_line "zandrel-cli ${line}usr/share/doc/zandrel/readme.")" = \
    usr/share/doc/zandrel/readme.txt ] || fail "the completion gives ${line% } no file name"
done

rm -f "$build"/zandrel_*.deb
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack -G DEB failed"
deb="$(ls "$build"/zandrel_*.deb 2>/dev/null | head -n 1)"
if [ -n "$deb" ]; then
  depends="$(dpkg-deb -f "$deb" Depends)"
  for dep in libqt6widgets6 fonts-noto-cjk qt6-translations-l10n; do
    [[ "$depends" == *"$dep"* ]] || fail "the package does not depend on $dep: $depends"
  done
  for field in Maintainer Section Description; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "the package has no $field"
  done
  contents="$(dpkg-deb -c "$deb")"
  for f in "${files[@]}"; do
    grep -q " \./$f\$" <<<"$contents" || fail "not in the package: /$f"
  done
  echo "check_install: $(basename "$deb"), Depends: $depends"
else
  fail "no package was made"
fi
[ $status -eq 0 ] && echo "check_install: install layout and package are complete"
exit $status
