#!/bin/sh
# Runs COMMAND in a private D-Bus session whose Secret Service is GNOME Keyring, with the
# keyring of $HOME unlocked (made on first use); the keyring stays in $HOME between runs, the
# bus and the keyring daemon end with the command.
#
#   with-secret-service.sh COMMAND [ARGUMENT...]
set -eu
export XDG_DATA_HOME="$HOME/.local/share" XDG_RUNTIME_DIR="$HOME/.run"
mkdir -p "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
exec dbus-run-session -- sh -c '
    printf %s test-keyring | gnome-keyring-daemon --unlock --components=secrets >/dev/null ||
        { echo "with-secret-service: gnome-keyring-daemon did not start" >&2; exit 70; }
    exec "$@"' with-secret-service "$@"
