#!/bin/sh
# vantor-cli's options as its --help gives them (from the tool's one table of options)
# against its manual page and the READMEs: every option the manual page or a README gives
# the tool is one it takes, and the manual page's OPTIONS section describes every one.
#
# usage: options.sh VANTOR-CLI MANPAGE README...
set -eu
export LC_ALL=C
tool=$1
manpage=$2
shift 2
failed=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The long options in a text, one a line, each once ("\-" of roff read as "-").
long() { sed 's/\\-/-/g' | grep -o -- '--[a-z][a-z-]*' | sort -u; }

"$tool" --help | sed -n '/^Options:/,/^$/p' | long >"$scratch/table"
[ "$(wc -l <"$scratch/table")" -ge 10 ] || {
    echo "FAIL: $tool --help lists fewer than 10 options"
    failed=1
}
# Lines that run another program (the compiler in an example) name its options, not these.
grep -vE '^(sdcc|usb-vantor|vantor-sim) ' "$manpage" | long >"$scratch/man"
sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$manpage" | long >"$scratch/described"
for readme in "$@"; do
    grep 'vantor-cli' "$readme" | long >>"$scratch/readmes"
done
sort -u -o "$scratch/readmes" "$scratch/readmes"

for option in $(comm -13 "$scratch/table" "$scratch/man"); do
    echo "FAIL: $manpage names $option, which $tool does not take"
    failed=1
done
for option in $(comm -13 "$scratch/table" "$scratch/readmes"); do
    echo "FAIL: a README gives vantor-cli $option, which it does not take"
    failed=1
done
for option in $(comm -23 "$scratch/table" "$scratch/described"); do
    echo "FAIL: $manpage's OPTIONS do not describe $option"
    failed=1
done
[ $failed -eq 0 ] && echo "PASS: $(wc -l <"$scratch/table") options agree with $manpage and the READMEs"
exit $failed
