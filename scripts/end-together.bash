# Sourced by the scripts that run a command on a desktop or a bus of their own (with-window-manager,
# with-keyring, with-tray): after `end_together`, whatever the script starts ends with it, however
# the script ends, SIGKILL included, within a few seconds.
#
# Each process the script starts carries the script's mark in KIPPETS_OWNERS (a list: the marks of
# the scripts and tests around it too), and whatever it starts in turn inherits it: a bus's
# services, a window manager's helpers, a daemon that leaves its parent. A watcher ends every
# process so marked once the script has gone: asked first, killed after a second or so. The
# desktop tests' harness marks what it starts the same way (tests/support/OwnedProcesses.h).

# end_together: marks what the script starts from here on, and starts the watcher.
# end_together_now: ends what is marked and still runs, and waits until it has; for the script's
# own cleanup, last.
end_together() {
    local start
    # The start time (the 22nd field), counted after the command's name, which may hold spaces.
    start="$(sed 's/^.*) //' "/proc/$$/stat" | cut -d' ' -f20)"
    local mark="$$-$start"
    # The kernel tells the watcher at once as the script goes (setpriv's parent-death signal);
    # it also looks every second, for a script gone before it was told.
    setpriv --pdeathsig TERM bash -c '
mark=$1 owner=$2 start=$3
pattern="^KIPPETS_OWNERS=(.*:)?$mark(:.*)?\$"
naps=""
sweep() {
    trap "" TERM
    [ -n "$naps" ] && kill "$naps" 2>/dev/null
    for round in $(seq 60); do
        left=$(grep -lzE "$pattern" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3)
        [ -z "$left" ] && exit 0
        if [ "$round" -le 10 ]; then kill -TERM $left 2>/dev/null; else kill -KILL $left 2>/dev/null; fi
        sleep 0.1
    done
    exit 1
}
trap sweep TERM
alive() { [ "$(sed "s/^.*) //" "/proc/$owner/stat" 2>/dev/null | cut -d" " -f20)" = "$start" ]; }
while alive; do
    sleep 1 &
    naps=$!
    wait "$naps"
done
sweep
' end-together "$mark" "$$" "$start" </dev/null >/dev/null 2>&1 &
    end_together_watcher=$!
    export KIPPETS_OWNERS="${KIPPETS_OWNERS:+$KIPPETS_OWNERS:}$mark"
}

end_together_now() {
    [ -n "${end_together_watcher:-}" ] || return 0
    kill -TERM "$end_together_watcher" 2>/dev/null || true
    wait "$end_together_watcher" 2>/dev/null || true
}
