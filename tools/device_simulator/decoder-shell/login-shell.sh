#!/bin/sh
# What a telnet client meets on a decoder: an optional login prompt, then "/ # " before
# every command line, from an interactive ash with line editing or from a plain read loop.
export PATH="$DECODER_PATH" DECODER_STATE
# The session a dropped connection ends; the ash below keeps this process's pid.
DECODER_SESSION=$$
export DECODER_SESSION
# Commands run in the state folder, so that a test sees any file a command line creates.
cd "$DECODER_STATE" || exit 1
if [ "$DECODER_LOGIN" = yes ]; then
    printf 'decoder login: '
    IFS= read -r user || exit 0
fi
if [ "$DECODER_LINE_EDITING" = yes ]; then
    # Its history goes to the state folder, not to the home of whoever runs the tests.
    HOME=$DECODER_STATE PS1='/ # ' ENV='' exec busybox ash -i
fi
while printf '/ # ' && IFS= read -r line; do
    # The terminal already turned the line's carriage return into its end.
    line=$(printf '%s' "$line" | tr -d '\r')
    [ -n "$line" ] || continue
    printf '%s\n' "$line" >>"$DECODER_STATE/commands.log"
    busybox sh -c "$line"
done
