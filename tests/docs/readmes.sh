#!/bin/sh
# The English README and its Traditional Chinese translation kept in step: the same
# headings at the same levels in the same order, the same commands in their code blocks
# (comments aside), the same files linked and shown, and every link to a heading of the
# same file landing on one.
#
# usage: readmes.sh README.md README.zh-TW.md
set -eu
export LC_ALL=C
english=$1
chinese=$2
failed=0

# The lines outside code blocks.
prose() { awk '/^```/ { inside = !inside; next } !inside' "$1"; }
# The level of each heading: "##" for a section, "###" for a subsection.
levels() { prose "$1" | sed -n 's/^\(#\{1,6\}\) .*/\1/p'; }
# The commands of the code blocks, without their comments.
commands() {
    awk '/^```/ { inside = !inside; next } inside' "$1" | sed 's/[[:space:]]*#[[:space:]].*$//; s/[[:space:]]*$//'
}
# The files the text links to or shows (links within the page and to the other language
# aside).
targets() {
    grep -o '](\([^)#][^)]*\))' "$1" | sed 's/^](//; s/)$//' | grep -v '^README' | sort -u
}
# GitHub's anchor of each heading: lower case, punctuation dropped, blanks as hyphens.
anchors() {
    prose "$1" | sed -n 's/^#\{1,6\} //p' | tr 'A-Z' 'a-z' |
        sed 's/[][!"$%&'\''()*+,./:;<=>?@\\^`{|}~]//g; s/ /-/g'
}
# The anchors the text links to.
links() { grep -o '](#[^)]*)' "$1" | sed 's/^](#//; s/)$//' | sort -u; }

same() {
    what=$1
    shift
    "$@" "$english" >"$scratch/en"
    "$@" "$chinese" >"$scratch/zh"
    if ! diff "$scratch/en" "$scratch/zh" >"$scratch/diff"; then
        echo "FAIL: $what differ between $english (<) and $chinese (>):"
        cat "$scratch/diff"
        failed=1
    fi
}

landing() {
    anchors "$1" | sort -u >"$scratch/anchors"
    for link in $(links "$1"); do
        if ! grep -qxF "$link" "$scratch/anchors"; then
            echo "FAIL: $1 links to #$link, which is no heading of it"
            failed=1
        fi
    done
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
same "the headings' levels" levels
same "the commands" commands
same "the linked files" targets
landing "$english"
landing "$chinese"
[ "$(levels "$english" | wc -l)" -ge 10 ] || {
    echo "FAIL: $english has fewer than 10 headings"
    failed=1
}
[ $failed -eq 0 ] && echo "PASS: $english and $chinese are in step"
exit $failed
