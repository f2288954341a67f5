# Sourced by the set-up scripts: each step prints one line, "LABEL ... 12 s",
# while its output goes to the log file $KESTRON4_SETUP_LOG (a new one in
# $TMPDIR at the first step when unset). A failing step prints its own output
# and the log's path, and the script stops with the step's status.

# step LABEL COMMAND [ARG...]
step() {
  local label=$1 start status mark
  shift
  if [ -z "${KESTRON4_SETUP_LOG:-}" ]; then
    KESTRON4_SETUP_LOG=$(mktemp "${TMPDIR:-/tmp}/kestron4-setup.XXXXXX.log")
    export KESTRON4_SETUP_LOG
  fi
  start=$(date +%s)
  printf '%s ... ' "$label"
  mark=$(wc -l <"$KESTRON4_SETUP_LOG" 2>/dev/null || echo 0)
  echo "== $label: $*" >>"$KESTRON4_SETUP_LOG"
  status=0
  "$@" >>"$KESTRON4_SETUP_LOG" 2>&1 </dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    echo "failed (status $status)"
    tail -n +"$((mark + 1))" "$KESTRON4_SETUP_LOG" | tail -n 60
    echo "full log: $KESTRON4_SETUP_LOG"
    exit "$status"
  fi
  echo "$(($(date +%s) - start)) s"
}
