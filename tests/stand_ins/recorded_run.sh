# Heads each stand-in of the job tests, after a line that sets D, the test's folder: records the run's arguments
# in $D/call1, call2, ...; "await NAME" waits (30 s at most) for the file $D/NAME.
await() { n=0; while [ ! -e "$D/$1" ] && [ $((n+=1)) -lt 3000 ]; do sleep 0.01; done; }
n=1
while [ -e "$D/call$n" ]; do n=$((n+1)); done
printf '%s\0' "$0" "$@" > "$D/call$n"
