# The X clipboard for the end-to-end scripts. Source it after app_common.sh.
# A script first seeds the clipboard with a text of its own, so that a copy
# that does not happen cannot pass on an older clipboard, then waits for the
# clipboard to change or to hold the expected bytes.

command -v xclip >/dev/null || fail "xclip missing"
CLIP_SEED="e2e-clipboard-marker-$$"
CLIP_SEED_PID=""

# Ends the xclip that holds the seed (it also ends when another program
# takes the clipboard).
clip_cleanup() {
    [ -n "$CLIP_SEED_PID" ] && kill "$CLIP_SEED_PID" 2>/dev/null
    CLIP_SEED_PID=""
}

# clip_read FILE: the clipboard's exact bytes into FILE.
clip_read() { timeout 5 xclip -o -selection clipboard >"$1" 2>/dev/null; }

# clip_seed [TEXT]: puts TEXT (by default a marker) on the clipboard and
# waits until it reads back.
clip_seed() {
    CLIP_SEED="${1-e2e-clipboard-marker-$$}"
    clip_cleanup
    printf '%s' "$CLIP_SEED" >"$E2E_TMP/clip-seed"
    xclip -quiet -selection clipboard -i "$E2E_TMP/clip-seed" >/dev/null 2>&1 &
    CLIP_SEED_PID=$!
    local start=$SECONDS
    while [ $((SECONDS - start)) -lt 10 ]; do
        clip_read "$E2E_TMP/clip-now" && cmp -s "$E2E_TMP/clip-seed" "$E2E_TMP/clip-now" && return 0
        sleep 0.1
    done
    fail "could not seed the clipboard"
}

# clip_changed FILE SECONDS: true once the clipboard holds something other
# than the seed, within SECONDS; its exact bytes are then in FILE.
clip_changed() {
    local start=$SECONDS
    while [ $((SECONDS - start)) -lt "$2" ]; do
        clip_read "$1" && [ -s "$1" ] && ! cmp -s "$1" "$E2E_TMP/clip-seed" && return 0
        sleep 0.1
    done
    return 1
}

# clip_to_file FILE SECONDS [WHAT]: waits until the clipboard holds
# something other than the seed and writes its exact bytes to FILE.
clip_to_file() {
    clip_changed "$1" "$2" || fail "${3:-the copy}: the clipboard did not change within $2 s"
}

# clip_copy_with FILE COMMAND...: runs COMMAND, a copy that is safe to
# repeat (menu clicks can be lost on a busy machine), until the clipboard
# holds something other than the seed, three times at most; its exact bytes
# are then in FILE.
clip_copy_with() {
    local file="$1" try
    shift
    for try in 1 2 3; do
        "$@"
        clip_changed "$file" 8 && return 0
    done
    fail "the copy: the clipboard did not change after three tries of '$*'"
}

# expect_clip WHAT EXPECTED [SECONDS]: waits until the clipboard holds
# exactly the bytes of EXPECTED (a printf format without arguments).
expect_clip() {
    # shellcheck disable=SC2059
    printf "$2" >"$E2E_TMP/clip-want"
    expect_clip_file "$1" "$E2E_TMP/clip-want" "${3:-15}"
}

# expect_clip_file WHAT FILE [SECONDS]: the same with the bytes of FILE.
expect_clip_file() {
    local what="$1" limit="${3:-15}" start=$SECONDS
    [ "$2" = "$E2E_TMP/clip-want" ] || cp "$2" "$E2E_TMP/clip-want"
    while [ $((SECONDS - start)) -lt "$limit" ]; do
        clip_read "$E2E_TMP/clip-got"
        cmp -s "$E2E_TMP/clip-want" "$E2E_TMP/clip-got" && return 0
        sleep 0.1
    done
    fail "$what: the clipboard holds '$(od -An -c "$E2E_TMP/clip-got" | tr -s ' \n' ' ')', expected '$(od -An -c "$E2E_TMP/clip-want" | tr -s ' \n' ' ')'"
}

# copy_keys WANT KEYS...: presses KEYS (a copy, safe to repeat) in the main
# window W until the clipboard holds the bytes of the file WANT, or, when
# WANT is "-", anything other than the seed. A busy machine may lose keys:
# while the clipboard has not changed they are pressed again, three times at
# most. The caller's own check then reports what is missing.
copy_keys() {
    local want="$1" tries start
    shift
    if [ "$want" = - ]; then
        cp "$E2E_TMP/clip-seed" "$E2E_TMP/clip-before"
    else
        clip_read "$E2E_TMP/clip-before"
    fi
    for tries in 1 2 3; do
        activate "$W"
        press "$@"
        start=$SECONDS
        while [ $((SECONDS - start)) -lt 8 ]; do
            if clip_read "$E2E_TMP/clip-now"; then
                if [ "$want" = - ]; then
                    cmp -s "$E2E_TMP/clip-now" "$E2E_TMP/clip-before" || return 0
                else
                    cmp -s "$E2E_TMP/clip-now" "$want" && return 0
                    cmp -s "$E2E_TMP/clip-now" "$E2E_TMP/clip-before" || return 0
                fi
            fi
            sleep 0.1
        done
    done
}

# copy_expect WHAT EXPECTED [KEYS...]: copies with KEYS (Ctrl+C by default)
# and expects EXPECTED (a printf format without arguments) on the clipboard.
copy_expect() {
    local what="$1"
    # shellcheck disable=SC2059
    printf "$2" >"$E2E_TMP/clip-expect"
    shift 2
    [ $# -gt 0 ] || set -- ctrl+c
    copy_keys "$E2E_TMP/clip-expect" "$@"
    expect_clip_file "$what" "$E2E_TMP/clip-expect" 5
}
