#!/bin/sh
# Installs the build tree into a scratch prefix, checks the installed files,
# and runs the installed command on the samples: it must find the installed
# plugin by itself, also after the whole prefix has moved, and answer what
# the build tree's command answers.
#
# Usage: install-tree-test.sh CMAKE BUILD SCRATCH EXAMPLES BINDIR PLUGINDIR MANDIR DOCDIR
set -eu
cmake=$1 build=$2 scratch=$3 examples=$4 bindir=$5 plugindir=$6 mandir=$7 docdir=$8

rm -rf "$scratch"
mkdir -p "$scratch"
"$cmake" --install "$build" --prefix "$scratch/prefix" >/dev/null

prefix=$scratch/prefix
fail() { echo "install tree: $*" >&2; exit 1; }
for file in "$bindir/addoscope" "$plugindir/Addoscope.wdx64" "$plugindir/Addoscope.lng" \
        "$plugindir/Addoscope.ini.sample" "$mandir/man1/addoscope.1.gz" "$docdir/README.md" "$docdir/copyright"; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done
[ -x "$prefix/$bindir/addoscope" ] || fail "the command is not executable"

# The manual page carries the sections the help text promises.
page=$(gzip -dc "$prefix/$mandir/man1/addoscope.1.gz")
for section in OPTIONS "OUTPUT FORMATS" "EXIT STATUS" EXAMPLES; do
    printf '%s\n' "$page" | grep -q "^\.SH \"*$section\"*\$" || fail "the manual page has no $section section"
done

"$build/bin/addoscope" --columns Type,Name,Version,Compatibility "$examples" > "$scratch/expected"
"$build/bin/addoscope" --json "$examples" >> "$scratch/expected"
check_prefix() {
    "$1/$bindir/addoscope" --columns Type,Name,Version,Compatibility "$examples" > "$scratch/got"
    "$1/$bindir/addoscope" --json "$examples" >> "$scratch/got"
    cmp -s "$scratch/expected" "$scratch/got" || { diff "$scratch/expected" "$scratch/got" >&2; fail "$2"; }
}
check_prefix "$prefix" "the installed command answers differently"
mv "$prefix" "$scratch/moved"
check_prefix "$scratch/moved" "the installed command no longer finds its plugin after a move"
version=$("$scratch/moved/$bindir/addoscope" --version | head -n 1)
case "$version" in "addoscope "[0-9]*.[0-9]*) ;; *) fail "--version says '$version'" ;; esac
rm -rf "$scratch"
echo "install tree: ok ($version)"
