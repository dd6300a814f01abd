#!/bin/sh
# kestrova-cli must run on a system without the converter module for code page 932: its tables
# are built in. In a private mount namespace an empty tmpfs hides the system's converter modules;
# there iconv must fail on CP932 (the module really is gone) while kestrova-cli gives the same
# bytes as outside. Exits 77 (skipped) where no such namespace can be made.
#
# Usage: without_cp932_module.sh KESTROVA_CLI DATA_FOLDER GCONV_FOLDER
set -u
cli=$1
data=$2
gconv=$3

skip() {
    echo "SKIPPED: $*"
    exit 77
}
fail() {
    echo "FAILED: $*"
    exit 1
}
# 0x82 0xA0 is HIRAGANA LETTER A in code page 932.
iconvReadsCp932() {
    printf '\202\240' | iconv -f CP932 -t UTF-8 >/dev/null 2>&1
}

# Every command writes its output, its messages and its exit status to folder/N.
runAll() {
    mkdir "$1" || exit 1
    n=0
    while read -r file args; do
        n=$((n + 1))
        # shellcheck disable=SC2086 # args holds several words
        "$cli" $args "$data/$file" </dev/null >"$1/$n" 2>&1
        echo "exit status $?" >>"$1/$n"
    done <<EOF
mail-sjis-crlf.txt align --output-code sjis
mail-utf8-lf.txt align --output-code sjis --columns 16 --kinsoku 1
mail-euc-lf.txt align --output-code jis
mail-utf8-lf.txt convert --to sjis
mail-jis-lf.txt convert --to sjis
mail-euc-lf.txt convert --to sjis --report
mail-sjis-crlf.txt convert --to utf8
mail-sjis-cr.txt convert --to utf8 --crlf
mail-sjis-crlf.txt convert --to euc
mail-sjis-crlf.txt detect
mail-sjis-cr.txt detect
mail-utf8-lf.txt detect
EOF
}

if [ "${4:-}" = hidden ]; then
    # Inside the namespace: hide the modules, prove them gone, run.
    work=$5
    mount -t tmpfs none "$gconv" || fail "cannot cover $gconv inside the namespace"
    unset GCONV_PATH
    if iconvReadsCp932; then
        fail "iconv still reads CP932 with $gconv hidden: the test hides nothing"
    fi
    runAll "$work/hidden"
    exit 0
fi

[ -e "$gconv/gconv-modules" ] || [ -e "$gconv/gconv-modules.cache" ] ||
    skip "no converter modules in $gconv"
iconvReadsCp932 || skip "iconv here reads no CP932 even before hiding the modules"

# A user namespace mapping this user to root where unprivileged ones are allowed; a mount
# namespace alone where running as root with CAP_SYS_ADMIN (a container may forbid both).
namespace=
for how in "--user --map-root-user --mount" "--mount"; do
    # shellcheck disable=SC2086,SC2016 # how holds several words; $0 is for the inner shell
    if unshare $how sh -c 'mount -t tmpfs none "$0"' "$gconv" >/dev/null 2>&1; then
        namespace=$how
        break
    fi
done
[ -n "$namespace" ] ||
    skip "unshare cannot make a mount namespace here (no user namespaces, no CAP_SYS_ADMIN)"

work=$(mktemp -d) || fail "mktemp -d failed"
trap 'rm -rf "$work"' EXIT
runAll "$work/outside"
for result in "$work/outside"/*; do
    tail -n 1 "$result" | grep -qx "exit status 0" ||
        fail "kestrova-cli fails even with the modules in place: $(cat "$result")"
done
# shellcheck disable=SC2086 # namespace holds several words
unshare $namespace sh "$0" "$cli" "$data" "$gconv" hidden "$work" || exit 1

failures=0
compared=0
for result in "$work/outside"/*; do
    n=${result##*/}
    compared=$((compared + 1))
    if ! cmp -s "$result" "$work/hidden/$n"; then
        echo "FAILED: command $n differs without the modules:"
        tail -n 3 "$work/hidden/$n"
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] || exit 1
echo "kestrova-cli gave the same bytes for $compared commands with $gconv hidden (unshare $namespace)"
