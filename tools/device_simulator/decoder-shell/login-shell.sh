#!/bin/sh
# What a telnet client meets on a decoder: an optional login prompt, then "/ # " before
# every command line. Lines are read and run here rather than by an interactive ash,
# whose line editor writes a cursor query after every prompt that no decoder sends.
export PATH="$DECODER_PATH" DECODER_STATE
# Commands run in the state folder, so that a test sees any file a command line creates.
cd "$DECODER_STATE" || exit 1
if [ "$DECODER_LOGIN" = yes ]; then
    printf 'decoder login: '
    IFS= read -r user || exit 0
fi
while printf '/ # ' && IFS= read -r line; do
    # The terminal already turned the line's carriage return into its end.
    line=$(printf '%s' "$line" | tr -d '\r')
    [ -n "$line" ] || continue
    printf '%s\n' "$line" >>"$DECODER_STATE/commands.log"
    busybox sh -c "$line"
done
