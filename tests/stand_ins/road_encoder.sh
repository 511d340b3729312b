# The encoder of the road: the clip's arguments go to args, and the clip waits (30 s at most) for "help closed".
d="${0%/*}/../.."
case " $* " in *" -ab "*)
  printf '%s\n' "$@" > "$d/args"
  n=0; while [ ! -e "$d/help closed" ] && [ $((n+=1)) -lt 3000 ]; do sleep 0.01; done ;;
esac
exec ffmpeg "$@"
