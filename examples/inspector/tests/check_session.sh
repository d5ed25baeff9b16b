#!/usr/bin/env bash
# Runs the inspector on scripted sessions and checks what a user would see.
#
#   check_session.sh <inspector> <sample scene> <work folder> <case>
#
# Cases:
#   normal   a session over a copy of the sample scene: its key output lines,
#            exit status 0, and the saved file read back by a second session
#   damaged  a scene file cut short: one clear message, exit status 1, and
#            the file left as it was
#   readonly a save into a folder that cannot be written: the message, and
#            the previous file there unchanged
#   random   seeded random commands (selections, edits, list changes, undo
#            and redo in any order, damaged words): the session survives and
#            the scene it saves loads again
set -uo pipefail
inspector=$1 sample=$2 work=$3 case=$4
rm -rf "$work" && mkdir -p "$work"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
# Every line of the expectation must appear in the output, in order.
expect_lines() { # output, expected lines...
    local output=$1; shift
    local rest=$output line
    for line in "$@"; do
        if ! grep -qF -- "$line" <<<"$rest"; then
            fail "missing (in order): $line"
            continue
        fi
        rest=$(awk -v l="$line" 'found { print } index($0, l) && !found { found = 1 }' <<<"$rest")
    done
}

case $case in
normal)
    cp "$sample" "$work/scene.xml"
    output=$("$inspector" "$work/scene.xml" 2>&1 <<'SCRIPT'
find *intens*
select nodes.0 nodes.1
panel
set intensity 4
get intensity
set intensity 500
set intensity many
set name ""
history
undo
get intensity
redo
select nodes.2
add tags "hero"
get tags.2
remove tags 7
frobnicate
get nothing.here
save
quit
SCRIPT
)
    status=$?
    echo "$output"
    [ $status -eq 0 ] || fail "exit status $status, expected 0"
    expect_lines "$output" \
        "loaded $work/scene.xml" \
        "nodes.0.intensity = 2" \
        "nodes.1.intensity = 6" \
        "selected nodes.0, nodes.1" \
        "Panel of nodes.0, nodes.1 (combined)" \
        "Intensity = <differs>" \
        "intensity = 4" \
        "intensity = 100  (adjusted by the validator)" \
        "error: cannot read 'many' as float" \
        "error: refused: a node needs a name" \
        "> undo: Set intensity of nodes.0, nodes.1" \
        "undone \"Set intensity of nodes.0, nodes.1\"" \
        "intensity = 4" \
        "redone \"Set intensity of nodes.0, nodes.1\"" \
        "selected nodes.2" \
        "tags.2 = hero" \
        "error: 'tags' has no element 7" \
        "error: unknown command 'frobnicate' (try 'help')" \
        "error: no property 'nothing.here' in nodes.2" \
        "saved $work/scene.xml"
    # The saved scene loads again and holds the edits.
    output=$(printf 'get nodes.0.intensity\nget nodes.2.tags.2\n' | "$inspector" "$work/scene.xml" 2>&1)
    echo "$output"
    expect_lines "$output" "nodes.0.intensity = 100" "nodes.2.tags.2 = hero"
    ;;
damaged)
    head -c "$(($(wc -c <"$sample") / 2))" "$sample" >"$work/damaged.xml"
    before=$(sha256sum <"$work/damaged.xml")
    output=$(echo "tree" | "$inspector" "$work/damaged.xml" 2>&1)
    status=$?
    echo "$output"
    [ $status -eq 1 ] || fail "exit status $status, expected 1"
    [ "$(wc -l <<<"$output")" -eq 1 ] || fail "expected one line of output"
    expect_lines "$output" "error: cannot load $work/damaged.xml:"
    [ "$before" = "$(sha256sum <"$work/damaged.xml")" ] || fail "the damaged file was changed"
    ;;
readonly)
    base=$work run=("$inspector")
    if [ "$(id -u)" -eq 0 ]; then
        # Permissions do not stop root: the session runs as nobody then, from
        # a world-readable copy of the program and of the libraries it was
        # built with (the build folder may be closed to other users).
        base=$(mktemp -d /tmp/inspector-readonly.XXXXXX)
        trap 'chmod -R u+w "$base"; rm -rf "$base"' EXIT
        mkdir "$base/bin"
        cp "$inspector" "$base/bin/"
        ldd "$inspector" | awk '$2 == "=>" && $3 ~ /^\// { print $3 }' | grep -v -E '^/(usr/)?lib' |
            xargs -r cp -t "$base/bin/"
        chmod -R a+rX "$base"
        run=(setpriv --reuid=65534 --regid=65534 --clear-groups env LD_LIBRARY_PATH="$base/bin"
            "$base/bin/$(basename "$inspector")")
    fi
    mkdir -p "$base/locked"
    cp "$sample" "$base/locked/scene.xml"
    before=$(sha256sum <"$base/locked/scene.xml")
    chmod a+r "$base/locked/scene.xml"
    chmod 555 "$base/locked"
    output=$(printf 'set nodes.0.intensity 3\nsave\n' | "${run[@]}" "$base/locked/scene.xml" 2>&1)
    status=$?
    chmod 755 "$base/locked"
    echo "$output"
    [ $status -eq 0 ] || fail "exit status $status, expected 0"
    expect_lines "$output" "nodes.0.intensity = 3" "error: cannot save $base/locked/scene.xml:"
    grep -qF "(the previous file is unchanged)" <<<"$output" || fail "the message does not say the file is unchanged"
    [ "$before" = "$(sha256sum <"$base/locked/scene.xml")" ] || fail "the previous file was changed"
    [ "$(ls -A "$base/locked")" = "scene.xml" ] || fail "a stray file was left behind"
    ;;
random)
    cp "$sample" "$work/scene.xml"
    seed=${INSPECTOR_SEED:-$RANDOM}
    awk -v seed="$seed" 'BEGIN {
        srand(seed)
        split("help tree list find select panel get set add remove undo redo history frobnicate", cmd, " ")
        split("nodes nodes.0 nodes.1 nodes.2 nodes.3 nodes.4 nodes.9 nodes.0.transform nodes.2.tags name tags " \
              "intensity range color position nodes.0.intensity nodes.1.name nodes.2.tags.0 ** *int* ? .. . \"\"", path, " ")
        split("0 1 -1 3.5 1e9 -1e9 nan abc \"\" \"x y\" Light Mesh Camera Nope 1 2 3 true \"unclosed", value, " ")
        for (i = 0; i < 300; ++i) {
            line = cmd[int(rand() * length(cmd)) + 1]
            for (n = int(rand() * 4); n > 0; --n)
                line = line " " (rand() < 0.5 ? path[int(rand() * length(path)) + 1] : value[int(rand() * length(value)) + 1])
            print line
        }
        print "save"
    }' >"$work/commands.txt"
    output=$("$inspector" "$work/scene.xml" <"$work/commands.txt" 2>&1)
    status=$?
    [ $status -eq 0 ] || { echo "$output" | tail -n 30; fail "seed $seed: exit status $status, expected 0"; }
    grep -q "saved $work/scene.xml" <<<"$output" || fail "seed $seed: the scene was not saved"
    output=$(echo tree | "$inspector" "$work/scene.xml" 2>&1) || fail "seed $seed: the saved scene does not load: $output"
    echo "seed $seed: $(grep -c '^error:' <<<"$output") refusals in 300 commands"
    ;;
*)
    echo "unknown case $case"; exit 2 ;;
esac
[ $failures -eq 0 ] && echo "PASS: $case" || exit 1
