#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the tree with the validators the desktops and
# Debian use.   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

# Exactly these files: no test data, no private key.
diff -u - <(cd "$prefix" && find . -type f | sed 's|^\./||' | sort) <<'LIST'
bin/kestrane
bin/kestrane-cli
share/applications/com.tev.Kestrane.desktop
share/bash-completion/completions/kestrane
share/doc/kestrane/changelog.gz
share/doc/kestrane/copyright
share/doc/kestrane/examples/release.sh
share/icons/hicolor/128x128/apps/kestrane.png
share/icons/hicolor/16x16/apps/kestrane.png
share/icons/hicolor/24x24/apps/kestrane.png
share/icons/hicolor/256x256/apps/kestrane.png
share/icons/hicolor/32x32/apps/kestrane.png
share/icons/hicolor/48x48/apps/kestrane.png
share/icons/hicolor/64x64/apps/kestrane.png
share/icons/hicolor/scalable/apps/kestrane.svg
share/man/man1/kestrane.1.gz
share/metainfo/com.tev.Kestrane.metainfo.xml
LIST

# kestrane-cli shares the man page and the completion.
for link in share/man/man1/kestrane-cli.1.gz:kestrane.1.gz share/bash-completion/completions/kestrane-cli:kestrane; do
    [[ $(readlink "$prefix/${link%%:*}") == "${link#*:}" ]] || { echo "${link%%:*} is no link to ${link#*:}"; exit 1; }
done

desktop-file-validate "$prefix/share/applications/com.tev.Kestrane.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/com.tev.Kestrane.metainfo.xml" >/dev/null
for icon in "$prefix"/share/icons/hicolor/*x*/apps/kestrane.png; do
    size=${icon%/apps/*}
    size=${size##*/}
    file "$icon" | grep -q "PNG image data, ${size/x/ x }," || { echo "not a $size PNG: $icon"; exit 1; }
done

man_page=$prefix/share/man/man1/kestrane.1.gz
warnings=$(zcat "$man_page" | groff -ww -z -man 2>&1)
[[ -z $warnings ]] || { echo "groff: $warnings"; exit 1; }
lexgrog "$man_page" | grep -q '"kestrane - ' || { echo "lexgrog finds no NAME line"; exit 1; }
manual=$(MANWIDTH=100 man --warnings -l "$man_page" 2>&1)
# Every option the program's usage text names is described.
for option in $("$prefix/bin/kestrane" -help | grep -oE '(^|[ [])-[a-z]+' | tr -d ' [' | sort -u); do
    grep -qE "^ +$option( |$)" <<<"$manual" || { echo "the man page does not describe $option"; exit 1; }
done
echo "install tree, desktop entry, metainfo, icons and man page check out"
