# One run at a time: while the first run waits at its first prompt, a second
# one is started unattended. It finds the run mutex taken, changes nothing,
# says so on standard error and ends with 1618 (the status deployment engines
# retry on). The first is then cancelled, so nothing at all may have changed.
ANSWERS=(Escape)

seed() {
  seed_other_maker
  seed_reader_a
}

e2e_at_prompt() {
  [ "$1" = 1 ] || return 0
  local out="$E2E_SHOTS/$E2E_NAME-second"
  timeout 60 env WINEPREFIX="$E2E_PREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    DISPLAY="$E2E_DISPLAY" wine 'C:\VelkorUSBCleaner\VelkorUSBCleaner.exe' /quiet \
    </dev/null >"$out-stdout.txt" 2>"$out-stderr.txt"
  E2E_SECOND_EXIT=$?
}

check() {
  expect_exit 1
  expect_prompts first
  # Wine hands a process's exit status to its Unix parent as its low byte:
  # 1618 is 0x652, so 0x52.
  if [ "${E2E_SECOND_EXIT:-none}" = $((1618 % 256)) ]; then
    e2e_pass "the second run ended with 1618 (low byte $((1618 % 256)))"
  else
    e2e_fail "the second run ended with 1618 (low byte $((1618 % 256)); got ${E2E_SECOND_EXIT:-no run})"
  fi
  # Redirected, the message keeps its Windows-1252 bytes.
  e2e_expect_line "the second run's standard error" "$E2E_SHOTS/$E2E_NAME-second-stderr.txt" \
    "Un nettoyage VelkorUSBCleaner est déjà en cours : attendez sa fin avant de relancer le programme. Aucune modification n'a été faite."
  check_nothing_changed
}
