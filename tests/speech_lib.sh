# Shared by the tests and the benchmark that hear the program through Orca
# (source x11_lib.sh and bus_lib.sh first).
#
# speech_session ["$as_user"]: a session of its own (bus_lib's), an X
# server, a session bus with the accessibility bus, and a speech-dispatcher
# whose synthesiser writes each text it is given to $spoken, one line each.
# With "$as_user", the session is the ordinary user's (user_lib.sh: source
# it and call user_make first).
speech_session() {
  session_start
  [ $# -eq 0 ] || user_session
  export HOME=$work XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
  export XDG_RUNTIME_DIR=$work/run LANG=C.UTF-8 LANGUAGE= LC_ALL=
  "$@" mkdir -p "$XDG_RUNTIME_DIR" "$work/speechd/modules" "$work/orca" && chmod 700 "$XDG_RUNTIME_DIR"
  export LANCHAT_SPOKEN=$work/spoken.log
  spoken=$LANCHAT_SPOKEN
  "$@" touch "$spoken"
  [ $# -eq 0 ] || user_pass LANCHAT_SPOKEN SPEECHD_ADDRESS

  x11_start "$@"; pids+=($X_PID)
  export DISPLAY=$X_DISPLAY

  bus_start "$@"

  # speech-dispatcher of the test's own: one output module, sd_generic, whose
  # "synthesiser" appends each text to the log, one line each; its sound goes
  # to ALSA's null device (there is no sound card, and it plays none).
  cat >"$work/speechd/speechd.conf" <<EOF
CommunicationMethod "unix_socket"
SocketPath "$work/speechd.sock"
LogLevel 3
LogDir "$work"
DefaultModule log
DefaultLanguage "en"
AddModule "log" "sd_generic" "log.conf"
AudioOutputMethod "alsa"
AudioALSADevice "null"
EOF
  # One line per text, its line breaks made spaces.
  cat >"$work/speechd/modules/log.conf" <<'EOF'
GenericExecuteSynth "printf '%s' \'$DATA\' | tr '\\n' ' ' >> \"$LANCHAT_SPOKEN\"; echo >> \"$LANCHAT_SPOKEN\""
GenericCmdDependency "printf"
GenericMaxChunkLength 100000
GenericDelimiters "\x01"
GenericLanguage "en" "en" "utf-8"
AddVoice "en" "MALE1" "en"
EOF
  "$@" speech-dispatcher -s -t 0 -C "$work/speechd" -S "$work/speechd.sock" -c unix_socket \
    -L "$work" >/dev/null 2>&1 & pids+=($!)
  for _ in $(seq 100); do [ -S "$work/speechd.sock" ] && break; sleep 0.1; done
  export SPEECHD_ADDRESS=unix_socket:$work/speechd.sock
}
