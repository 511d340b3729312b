# The gain tool a second late, which keeps the making step on screen.
sleep 1
exec mp3gain "$@"
