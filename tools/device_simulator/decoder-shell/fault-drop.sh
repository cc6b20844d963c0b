# Sourced by every decoder command. When the file fault-drop in the state folder names
# the command, the decoder drops its telnet connection in the middle of it, as a decoder
# that crashes or reboots does: the command starts its output and never finishes. Once
# only: the file goes with it.
if [ -f "$DECODER_STATE/fault-drop" ] && [ "$(cat "$DECODER_STATE/fault-drop")" = "${0##*/}" ]; then
    rm -f "$DECODER_STATE/fault-drop"
    printf '%s: ' "${0##*/}"
    kill -KILL "$DECODER_SESSION"
    exit 1
fi
# fault-stall naming the command: it never finishes, as on a decoder that hangs; the
# connection stays up.
if [ -f "$DECODER_STATE/fault-stall" ] && [ "$(cat "$DECODER_STATE/fault-stall")" = "${0##*/}" ]; then
    exec sleep 3600
fi
