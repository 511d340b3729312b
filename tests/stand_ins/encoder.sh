# The encoder of the job tests. As a loudness meter it tells $D/lufs (else -9.6 LUFS) and a true peak of $D/peak
# (else -12.0 dBTP). A "*slow" input of a minute decodes until stopped (from its
# start, or from -ss as a second decoder, writing its id to $D/pid or $D/pid2). Else it writes a frame into an .mp3
# output and one second of silence at 8000 Hz on its output.
case "$*" in *ebur128*)
  printf 'Summary:\n\n  Integrated loudness:\n    I: %s LUFS\n  True peak:\n    Peak: %s dBFS\n' \
    "$(cat "$D/lufs" 2>/dev/null || echo -9.6)" "$(cat "$D/peak" 2>/dev/null || echo -12.0)" >&2
  exit ;;
esac
case "$*" in *slow*)
  echo '  Duration: 00:01:00.00, start: 0' >&2
  [ "$2" = -ss ] && p=pid2 || p=pid
  echo $$ > "$D/$p"
  while :; do head -c 1000 /dev/zero; sleep 0.01; done ;;
esac
for last; do :; done
case "$last" in *.mp3) printf '\377\373\220\0' > "$last" ;; esac
head -c 16000 /dev/zero
