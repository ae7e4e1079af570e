#!/usr/bin/env bash
# accessibility: what a screen reader hears of the real program over AT-SPI.
# With the accessibility bus on, the main window is a frame named with its
# title, every control the definition names has its role and name (the
# target box by its label), and a message that arrives is heard: the history
# pane, by its name, raises a text-inserted event that carries the message,
# and the window's description says who wrote.
#
# Runs in a private network namespace (loopback only) under one Xvfb with a
# tray, a private session bus and the accessibility bus. Needs root.
# Env: ZEPH_BIN, ZEPH_E2E_WINDOWDEF, ZEPH_E2E_ARTIFACTS.
E2E_NAME=accessibility
E2E_PRIVATE_NET=1
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

private_desktop D
start_a11y_bus "$D"
a11y_session "$D"
start_zeph P "$D" localhost -
activate "$D" "$P" W

# A message while the window is in the tray: heard, and it brings the window forward.
SENDER=PEER7
CONTENT="屏幕阅读器测试$RANDOM"
say "a message from $SENDER"
DISPLAY=$D "${A11Y[@]}" arrival "$P" "$SENDER" "$CONTENT" >"$E2E_TMP/arrival.txt" ||
    fail "no text-inserted event carrying the message: $(cat "$E2E_TMP/arrival.txt")"
heard=$(grep -F "$CONTENT" "$E2E_TMP/arrival.txt" | head -n1)
IFS=$'\t' read -r role name _ <<<"$heard"
[[ $role == text && $name == "$A11Y_HISTORY_NAME" ]] ||
    fail "the message was inserted into a $role named '$name', not the history pane"
poll 10 "the window to come forward" viewable "$D" "$W"

DISPLAY=$D "${A11Y[@]}" tree "$P" >"$E2E_TMP/tree.txt" || fail "cannot read the accessible tree"
cp "$E2E_TMP/tree.txt" "$ARTIFACTS/tree.txt"
# role<TAB>name of the objects, and the frame's line.
roles_names=$(cut -f2,3 "$E2E_TMP/tree.txt")
frame=$(awk -F'\t' '$1 == 0 && $2 == "frame"' "$E2E_TMP/tree.txt")
IFS=$'\t' read -r _ _ frame_name frame_description _ <<<"$frame"
[[ $frame_name == "$PRODUCT_TITLE"* ]] || fail "the main window is not a frame named with its title: '$frame'"
want_description=${A11Y_MESSAGE_FROM/\%1/$SENDER}
[[ $frame_description == "$want_description" ]] ||
    fail "the window's description is '$frame_description', not '$want_description'"
for entry in "${A11Y_CONTROLS[@]}"; do
    grep -qxF "${entry%%|*}"$'\t'"${entry#*|}" <<<"$roles_names" ||
        fail "no ${entry%%|*} named '${entry#*|}' in the tree"
done
# No control a reader would call an unnamed filler or only "edit text" (the
# fillers inside the text boxes are Qt's scroll areas).
unnamed=$(awk -F'\t' '$1 == 1 && $3 == "" && ($2 == "filler" || $2 == "text" || $2 == "list")' \
    "$E2E_TMP/tree.txt")
[[ -z $unnamed ]] || fail "unnamed objects: $unnamed"
# The reply goes into the send box.
focused=$(awk -F'\t' '$1 == 1 && $5 ~ /(^|,)focused(,|$)/ {print $3}' "$E2E_TMP/tree.txt")
[[ $focused == "$A11Y_SEND_BOX_NAME" ]] || fail "the focus is on '$focused', not the send box"
say "PASS"
