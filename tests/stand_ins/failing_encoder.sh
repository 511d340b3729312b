# Of the clips it fails the first and never ends the second (its arguments to args, its id to pid); it reads
# songs as the real encoder does.
d="${0%/*}/../.."
case " $* " in *" -ab "*) ;; *) exec ffmpeg "$@" ;; esac
n=$(($(cat "$d/count" 2>/dev/null || echo 0) + 1)); echo $n > "$d/count"
case $n in
  1) exit 1 ;;
  2) printf '%s\n' "$@" > "$d/args"; echo $$ > "$d/pid.part"; mv "$d/pid.part" "$d/pid"; exec sleep 120 ;;
esac
exec ffmpeg "$@"
