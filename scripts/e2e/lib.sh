# Shared helpers for running VelkorUSBCleaner.exe under Wine against a seeded
# prefix and checking what is left afterwards. Meant to be sourced.
#
# E2E_WINEARCH (win64 by default, or win32) is the architecture of the prefixes
# made here; a 32-bit prefix is 32-bit Windows, where the 32-bit program works.
#
# Wine facts the helpers rely on (Wine 8.0):
# - services.exe loads the service keys once, when the wineserver session
#   starts; services seeded while it runs are invisible to OpenServiceA, so the
#   session is ended (wineserver -w) between seeding and running the program.
# - the registry is only written to system.reg when the wineserver exits, so the
#   end state is read after another wineserver -w.
# - DIF_REMOVE deletes the instance key, its empty parent key and the driver's
#   class key (Control\Class\{guid}\NNNN), as Windows does.
# - a read-only file is one without write bits (what "attrib +r" sets); the
#   user.DOSATTRIB attribute alone does not make DeleteFileA refuse it.

E2E_CAPTION="VelkorUSBCleaner"
E2E_FAILURES=0
E2E_CHECKS=0
E2E_XVFB_PID=""
E2E_DISPLAY=""

e2e_log() { printf '[e2e] %s\n' "$*" >&2; }
e2e_die() { printf '[e2e] ERROR: %s\n' "$*" >&2; exit 2; }

e2e_require_tools() {
  local tool missing=()
  for tool in wine wineserver wineboot Xvfb xdotool import "$@"; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
  done
  [ ${#missing[@]} -eq 0 ] || e2e_die "missing tools: ${missing[*]} (run scripts/install-deps.sh wine)"
}

# Runs wine in a prefix without any display unless E2E_RUN_DISPLAY is set, so
# that nothing ever lands on the caller's screen by accident. E2E_RUN_WINEDEBUG
# (none by default) gives the program run channels to trace on its standard
# error, e.g. +eventlog. E2E_DLL_OVERRIDES adds to Wine's DLL overrides (e.g.
# "version,uxtheme=n,b": Windows' own search order for those names, where
# Wine would take its builtin copy).
e2e_wine() {
  local prefix=$1
  shift
  env -u DISPLAY WINEPREFIX="$prefix" WINEDEBUG="${E2E_RUN_WINEDEBUG:--all}" \
    WINEDLLOVERRIDES="mscoree,mshtml=${E2E_DLL_OVERRIDES:+;$E2E_DLL_OVERRIDES}" \
    ${E2E_RUN_DISPLAY:+DISPLAY="$E2E_RUN_DISPLAY"} wine "$@"
}

e2e_wine_stop() {
  # -w returns once the session's programs are gone and the registry is saved.
  env WINEPREFIX="$1" wineserver -w 2>/dev/null || true
}

e2e_wine_kill() {
  env WINEPREFIX="$1" wineserver -k 2>/dev/null || true
  env WINEPREFIX="$1" wineserver -w 2>/dev/null || true
}

# Makes (once, shared by concurrent scenarios through a lock) an initialised
# prefix that scenarios copy instead of each paying for wineboot.
e2e_make_template() {
  local template=$1
  mkdir -p "$(dirname "$template")"
  (
    flock 9
    if [ -f "$template/.e2e-ready" ]; then
      exit 0
    fi
    rm -rf "$template"
    e2e_log "creating Wine template prefix $template"
    env -u DISPLAY WINEPREFIX="$template" WINEARCH="${E2E_WINEARCH:-win64}" WINEDEBUG=-all \
      WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >"$template.log" 2>&1 || { cat "$template.log" >&2; exit 1; }
    e2e_wine_stop "$template"
    [ -f "$template/system.reg" ] || { cat "$template.log" >&2; exit 1; }
    touch "$template/.e2e-ready"
  ) 9>"$template.lock" || e2e_die "could not create the Wine template prefix"
}

e2e_new_prefix() {
  local template=$1 prefix=$2
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  cp -a "$template" "$prefix"
  rm -f "$prefix/.e2e-ready"
}

e2e_inf_dir() { printf '%s/drive_c/windows/inf' "$1"; }
e2e_drivers_dir() { printf '%s/drive_c/windows/system32/drivers' "$1"; }
# e2e_place_dir inf|drivers: that folder of the scenario's prefix; a misspelt
# place stops the scenario rather than checking a path that is never there.
e2e_place_dir() {
  case $1 in
    inf) e2e_inf_dir "$E2E_PREFIX" ;;
    drivers) e2e_drivers_dir "$E2E_PREFIX" ;;
    *) e2e_die "unknown place: $1" ;;
  esac
}

# ---- workstation builders, called from a scenario's seed function ----

E2E_GUID_PORTS="{4d36e978-e325-11ce-bfc1-08002be10318}"
E2E_GUID_USB="{36fc9e60-c465-11cf-8056-444553540000}"

e2e_reg_line() { printf '%s\r\n' "$1" >>"$E2E_SEED_REG"; }

e2e_reg_multi_sz() {
  local hex
  hex=$(printf '%s\0' "$@" | od -An -v -tx1 | tr -s ' \n' ' ' | sed 's/^ //; s/ $//; s/ /,/g')
  printf 'hex(7):%s,00' "$hex"
}

e2e_reg_escape() { local v=${1//\\/\\\\}; printf '%s' "${v//\"/\\\"}"; }

# seed_device 'VID_C2B5&PID_000A\5&2c0e&0&1' CLASS DRIVER_KEY SERVICE LOWER_FILTER|- HWID...
# DRIVER_KEY is relative to Control\Class, e.g. "$E2E_GUID_PORTS\0003"; "-"
# leaves a value out.
seed_device() {
  local instance=$1 class=$2 driver=$3 service=$4 lower=$5 guid
  shift 5
  case $class in
    USB) guid=$E2E_GUID_USB ;;
    *) guid=$E2E_GUID_PORTS ;;
  esac
  e2e_reg_line "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Enum\\USB\\$instance]"
  [ $# -gt 0 ] && e2e_reg_line "\"HardwareID\"=$(e2e_reg_multi_sz "$@")"
  [ "$class" != - ] && e2e_reg_line "\"Class\"=\"$class\""
  e2e_reg_line "\"ClassGUID\"=\"$guid\""
  [ "$driver" != - ] && e2e_reg_line "\"Driver\"=\"$(e2e_reg_escape "$driver")\""
  [ "$service" != - ] && e2e_reg_line "\"Service\"=\"$service\""
  [ "$lower" != - ] && e2e_reg_line "\"LowerFilters\"=$(e2e_reg_multi_sz "$lower")"
  e2e_reg_line ""
}

# seed_driver_key DRIVER_KEY PROVIDER INF_NAME
seed_driver_key() {
  e2e_reg_line "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\$1]"
  e2e_reg_line "\"ProviderName\"=\"$2\""
  e2e_reg_line "\"InfPath\"=\"$3\""
  e2e_reg_line "\"DriverDesc\"=\"$2 device\""
  e2e_reg_line ""
}

# seed_service NAME IMAGE_FILE
seed_service() {
  e2e_reg_line "[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\$1]"
  e2e_reg_line '"Type"=dword:00000001'
  e2e_reg_line '"Start"=dword:00000003'
  e2e_reg_line '"ErrorControl"=dword:00000001'
  e2e_reg_line "\"ImagePath\"=\"System32\\\\drivers\\\\$2\""
  e2e_reg_line ""
}

# seed_inf NAME PROVIDER HWID... writes a small INF naming those hardware IDs.
seed_inf() {
  local name=$1 provider=$2 id
  shift 2
  {
    printf '; %s - test INF written for the end-to-end scenarios\r\n' "$name"
    printf '[Version]\r\nSignature="$Windows NT$"\r\nClass=Ports\r\nClassGuid=%s\r\nProvider=%%Mfg%%\r\n\r\n' "$E2E_GUID_PORTS"
    printf '[Manufacturer]\r\n%%Mfg%%=Models,NTamd64\r\n\r\n[Models.NTamd64]\r\n'
    for id in "$@"; do
      printf '%%Device.DeviceDesc%%=Device_Install, %s\r\n' "$id"
    done
    printf '\r\n[Strings]\r\nMfg="%s"\r\nDevice.DeviceDesc="%s USB device"\r\n' "$provider" "$provider"
  } >"$(e2e_inf_dir "$E2E_PREFIX")/$name"
}

# seed_file inf|drivers NAME [TEXT]; a PNF or driver only has to exist.
seed_file() {
  local dir
  dir=$(e2e_place_dir "$1") || exit 2
  mkdir -p "$dir"
  printf '%s' "${3:-placeholder $2}" >"$dir/$2"
}

# Read-only the way Wine sees it: no write bits, as "attrib +r" leaves a file.
# seed_read_only inf|drivers NAME
seed_read_only() {
  local dir
  dir=$(e2e_place_dir "$1") || exit 2
  chmod a-w "$dir/$2" || e2e_die "cannot make $dir/$2 read-only"
}

# Builds the workstation with the given seed function, then imports the
# registry part and checks that every seeded key made it into the registry, so
# a "kept" check can never pass on a key that was never written.
e2e_seed() {
  local prefix=$1 seed_fn=$2 key
  E2E_SEED_REG="$prefix/drive_c/e2e-seed.reg"
  printf 'REGEDIT4\r\n\r\n' >"$E2E_SEED_REG"
  "$seed_fn"
  e2e_wine "$prefix" regedit /S 'C:\e2e-seed.reg' >/dev/null 2>&1 || e2e_die "regedit failed on $E2E_SEED_REG"
  e2e_wine_stop "$prefix"
  while IFS= read -r key; do
    e2e_reg_key_exists "$prefix" "$key" || e2e_die "seeding failed: key $key is not in the registry"
  done < <(tr -d '\r' <"$E2E_SEED_REG" | sed -n 's/^\[\(.*\)\]$/\1/p')
}

# Converts "HKLM\A\B" or "HKEY_LOCAL_MACHINE\A\B" to system.reg's "[A\\B]".
e2e_reg_section() {
  local key=$1
  key=${key#HKEY_LOCAL_MACHINE\\}
  key=${key#HKLM\\}
  printf '[%s]' "${key//\\/\\\\}"
}

# Needs the wineserver stopped (system.reg is written when it exits).
e2e_reg_key_exists() {
  local section
  section=$(e2e_reg_section "$2")
  grep -qiF -- "$section " "$1/system.reg" || grep -qixF -- "$section" "$1/system.reg"
}

# Prints the raw system.reg line of a value ("name"=data), empty if absent.
# The section goes through the environment: awk -v would take its doubled
# backslashes for escapes.
e2e_reg_value() {
  local section
  section=$(e2e_reg_section "$2")
  # Through the environment: awk -v would take the section's \\ for escapes.
  E2E_SECTION="$section" E2E_VALUE="\"$3\"=" awk '
    BEGIN { sec = tolower(ENVIRON["E2E_SECTION"]); name = ENVIRON["E2E_VALUE"] }
    /^\[/ { cur = tolower($0); sub(/\] [0-9]+$/, "]", cur); inside = (cur == sec); next }
    inside && index(tolower($0), tolower(name)) == 1 { print; exit }
  ' "$1/system.reg"
}

# Starts a private Xvfb. The server picks its own free display number and
# writes it to a file once it listens (-displayfd): a number chosen beforehand
# by this script could be taken by a run beside it in the same instant, and
# both would then drive one display and see each other's prompts.
e2e_start_xvfb() {
  local log=$1 numfile n="" i
  numfile="$log.display"
  rm -f "$numfile"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$numfile" >"$log" 2>&1 &
  E2E_XVFB_PID=$!
  for i in $(seq 1 300); do
    kill -0 "$E2E_XVFB_PID" 2>/dev/null || break
    n=$(head -n 1 "$numfile" 2>/dev/null | tr -dc '0-9')
    if [ -n "$n" ] && DISPLAY=":$n" xdotool getmouselocation >/dev/null 2>&1; then
      E2E_DISPLAY=":$n"
      return 0
    fi
    sleep 0.1
  done
  e2e_stop_xvfb
  e2e_die "Xvfb did not start (see $log)"
}

e2e_stop_xvfb() {
  if [ -n "$E2E_XVFB_PID" ]; then
    kill "$E2E_XVFB_PID" 2>/dev/null || true
    wait "$E2E_XVFB_PID" 2>/dev/null || true
    E2E_XVFB_PID=""
  fi
}

e2e_visible_prompts() {
  DISPLAY=$E2E_DISPLAY xdotool search --onlyvisible --name "^${E2E_CAPTION}\$" 2>/dev/null || true
}

# Runs the program in the prefix on the private display and answers each
# prompt in turn with the next key of the answers ("Return" presses the
# default OK button, "Escape" is Cancel); prompts beyond the answers get Return
# so the run can end, and are still counted.
# The program's arguments are taken from the array E2E_ARGS (none by default).
# A scenario's e2e_at_prompt function, when it has one, is called with N
# while prompt N waits for its answer.
# Sets E2E_EXIT (exit status, or "timeout") and E2E_PROMPTS (count); leaves
# the program's standard output in <shots>/<name>-stdout.txt and its standard
# error in <shots>/<name>-program.log; for prompt N leaves
# <shots>/<name>-promptN.png and, when a dialog probe is given,
# <shots>/<name>-promptN.txt with its text.
e2e_run_program() {
  local prefix=$1 exe=$2 shots=$3 name=$4 probe=$5
  shift 5
  local answers=("$@")
  # E2E_PROGRAM_SUBDIR puts the program in a folder of its own below
  # C:\VelkorUSBCleaner (x86, as shipped); E2E_SIBLING_PROGRAM, when set, is
  # copied to C:\VelkorUSBCleaner\x64 beside it.
  local subdir=${E2E_PROGRAM_SUBDIR:-}
  local app_dir="$prefix/drive_c/VelkorUSBCleaner${subdir:+/$subdir}"
  local win_exe="C:\\VelkorUSBCleaner${subdir:+\\$subdir}\\VelkorUSBCleaner.exe"
  local deadline=$((SECONDS + ${E2E_RUN_TIMEOUT:-60}))
  local pid window last="" key n=0 i
  mkdir -p "$app_dir" "$shots"
  # The caption is the executable's name, so run a copy with the shipped name.
  cp "$exe" "$app_dir/VelkorUSBCleaner.exe"
  if [ -n "${E2E_SIBLING_PROGRAM:-}" ]; then
    [ -f "$E2E_SIBLING_PROGRAM" ] || e2e_die "64-bit program not found: $E2E_SIBLING_PROGRAM (scripts/build-windows.sh)"
    mkdir -p "$prefix/drive_c/VelkorUSBCleaner/x64"
    cp "$E2E_SIBLING_PROGRAM" "$prefix/drive_c/VelkorUSBCleaner/x64/VelkorUSBCleaner.exe"
  fi
  E2E_RUN_DISPLAY=$E2E_DISPLAY E2E_RUN_WINEDEBUG=${E2E_WINEDEBUG:-} e2e_wine "$prefix" "$win_exe" \
    ${E2E_ARGS[@]+"${E2E_ARGS[@]}"} </dev/null >"$shots/$name-stdout.txt" 2>"$shots/$name-program.log" &
  pid=$!
  E2E_PROMPTS=0
  while kill -0 "$pid" 2>/dev/null; do
    if [ $SECONDS -ge $deadline ]; then
      e2e_log "program still running after ${E2E_RUN_TIMEOUT:-60}s; killing it"
      e2e_wine_kill "$prefix"
      wait "$pid" 2>/dev/null || true
      E2E_EXIT=timeout
      return 0
    fi
    window=""
    for i in $(e2e_visible_prompts); do
      [ "$i" = "$last" ] || { window=$i; break; }
    done
    if [ -z "$window" ]; then
      sleep 0.1
      continue
    fi
    n=$((n + 1))
    E2E_PROMPTS=$n
    # Let the box finish drawing before it is photographed and read.
    sleep 0.3
    DISPLAY=$E2E_DISPLAY import -window root "$shots/$name-prompt$n.png" 2>/dev/null ||
      e2e_log "screenshot of prompt $n failed"
    if [ -n "$probe" ]; then
      # On a loaded machine the probe may read a box whose buttons it cannot
      # see yet: it reads again, a little later, before the answer is given.
      for i in 1 2 3 4 5 6; do
        E2E_RUN_DISPLAY=$E2E_DISPLAY e2e_wine "$prefix" "$probe" "$E2E_CAPTION" 2>/dev/null |
          tr -d '\r' >"$shots/$name-prompt$n.txt" || true
        grep -q '^buttons=[1-9]' "$shots/$name-prompt$n.txt" && break
        sleep 0.5
      done
    fi
    # A scenario may act while the program waits at a prompt.
    if declare -F e2e_at_prompt >/dev/null; then
      e2e_at_prompt "$n"
    fi
    key=${answers[$((n - 1))]:-Return}
    e2e_log "prompt $n: pressing $key"
    DISPLAY=$E2E_DISPLAY xdotool key --window "$window" "$key" 2>/dev/null
    # Wait for that box to go; press again if the first key came too early.
    for i in $(seq 1 80); do
      DISPLAY=$E2E_DISPLAY xwininfo -id "$window" 2>/dev/null | grep -q 'IsViewable' || break
      kill -0 "$pid" 2>/dev/null || break
      [ "$i" = 30 ] && DISPLAY=$E2E_DISPLAY xdotool key --window "$window" "$key" 2>/dev/null
      sleep 0.1
    done
    last=$window
  done
  wait "$pid"
  E2E_EXIT=$?
  e2e_wine_stop "$prefix"
}

# ---- checks: each records a pass or a failure with a clear message ----

e2e_pass() { E2E_CHECKS=$((E2E_CHECKS + 1)); printf '  ok    %s\n' "$1"; }
e2e_fail() { E2E_CHECKS=$((E2E_CHECKS + 1)); E2E_FAILURES=$((E2E_FAILURES + 1)); printf '  FAIL  %s\n' "$1"; }

e2e_check() {
  local what=$1
  shift
  if "$@"; then e2e_pass "$what"; else e2e_fail "$what"; fi
}

expect_exit() {
  if [ "$E2E_EXIT" = "$1" ]; then
    e2e_pass "exit status is $1"
  else
    e2e_fail "exit status is $1 (got $E2E_EXIT)"
  fi
}

e2e_text_first="Avant de lancer l'installation de votre lecteur VELKOR
(compatible Windows XP service pack 3),

débranchez le câble USB au niveau du poste de travail."
e2e_text_second="Rebranchez maintenant votre lecteur VELKOR
au poste de travail pour continuer l'installation."
e2e_text_wow64="Cette version 32 bits de VelkorUSBCleaner ne peut pas nettoyer un Windows 64 bits.

Lancez la version 64 bits du programme (dossier x64).
Aucune modification n'a été faite."

# expect_prompts first second | expect_prompts first | expect_prompts wow64
expect_prompts() {
  local kinds=("$@") n=0 kind file body buttons icon want_text want_buttons
  if [ "$E2E_PROMPTS" = "${#kinds[@]}" ]; then
    e2e_pass "${#kinds[@]} prompt(s) shown: ${kinds[*]}"
  else
    e2e_fail "${#kinds[@]} prompt(s) shown: ${kinds[*]} (got $E2E_PROMPTS)"
  fi
  for kind in "${kinds[@]}"; do
    n=$((n + 1))
    [ "$n" -le "$E2E_PROMPTS" ] || break
    file="$E2E_SHOTS/$E2E_NAME-prompt$n.txt"
    [ -f "$file" ] || { e2e_fail "prompt $n ($kind) could be read"; continue; }
    case $kind in
      first) want_text=$e2e_text_first want_buttons=2 ;;
      second) want_text=$e2e_text_second want_buttons=1 ;;
      wow64) want_text=$e2e_text_wow64 want_buttons=1 ;;
    esac
    buttons=$(sed -n 's/^buttons=//p' "$file")
    icon=$(sed -n 's/^icon=//p' "$file")
    body=$(sed -n '/^body=/,$p' "$file" | sed '1s/^body=//')
    if [ "$body" = "$want_text" ]; then
      e2e_pass "prompt $n has the $kind prompt's text"
    else
      e2e_fail "prompt $n has the $kind prompt's text; got: $(printf '%q' "$body")"
    fi
    if [ "$buttons" = "$want_buttons" ]; then
      e2e_pass "prompt $n has $want_buttons button(s)"
    else
      e2e_fail "prompt $n has $want_buttons button(s) (got ${buttons:-none})"
    fi
    if [ "$icon" = 1 ]; then
      e2e_pass "prompt $n shows an icon"
    else
      e2e_fail "prompt $n shows an icon (the warning icon; got none)"
    fi
  done
}

expect_key() {
  local state=$1 key=$2
  if e2e_reg_key_exists "$E2E_PREFIX" "$key"; then
    [ "$state" = present ] && e2e_pass "registry key kept: $key" || e2e_fail "registry key removed: $key (still there)"
  else
    [ "$state" = absent ] && e2e_pass "registry key removed: $key" || e2e_fail "registry key kept: $key (gone)"
  fi
}

expect_service() {
  expect_key "$1" "HKLM\\System\\CurrentControlSet\\Services\\$2"
}

expect_instance() {
  expect_key "$1" "HKLM\\System\\CurrentControlSet\\Enum\\USB\\$2"
}

# expect_file present|absent inf|drivers NAME
expect_file() {
  local state=$1 where=$2 name=$3 dir
  dir=$(e2e_place_dir "$where") || exit 2
  if [ -e "$dir/$name" ]; then
    [ "$state" = present ] && e2e_pass "file kept: $where/$name" || e2e_fail "file deleted: $where/$name (still there)"
  else
    [ "$state" = absent ] && e2e_pass "file deleted: $where/$name" || e2e_fail "file kept: $where/$name (gone)"
  fi
}

# e2e_expect_line WHAT FILE TEXT: FILE (read as Windows-1252, CR LF line
# ends) has a line that is TEXT, compared without regard to case.
e2e_expect_line() {
  local what=$1 file=$2 text=$3
  if iconv -f CP1252 -t UTF-8 "$file" 2>/dev/null | tr -d '\r' | grep -qixF -- "$text"; then
    e2e_pass "$what has the line: $text"
  else
    e2e_fail "$what has the line: $text (got: $(iconv -f CP1252 -t UTF-8 "$file" 2>/dev/null | tr -d '\r' | head -c 3000))"
  fi
}

# expect_stdout_line TEXT: a line of the program's standard output.
expect_stdout_line() { e2e_expect_line "standard output" "$E2E_SHOTS/$E2E_NAME-stdout.txt" "$1"; }

# expect_stderr_text TEXT: the program's standard error (with Wine's traces)
# holds TEXT as it stands.
expect_stderr_text() {
  if grep -qF -- "$1" "$E2E_SHOTS/$E2E_NAME-program.log"; then
    e2e_pass "standard error has: $1"
  else
    e2e_fail "standard error has: $1 (got: $(head -c 3000 "$E2E_SHOTS/$E2E_NAME-program.log"))"
  fi
}

# expect_log_line FILE TEXT: a line of the log FILE in the prefix's drive C.
expect_log_line() { e2e_expect_line "log $1" "$E2E_PREFIX/drive_c/$1" "$2"; }

# expect_log_entries FILE: the log is not empty and every line of it starts an
# Info entry (the unattended pass above logs no failure).
expect_log_entries() {
  local file="$E2E_PREFIX/drive_c/$1" bad
  bad=$(tr -d '\r' <"$file" 2>/dev/null | grep -cv '^\[INFO\] : ')
  if [ -s "$file" ] && [ "$bad" = 0 ]; then
    e2e_pass "every line of log $1 is an [INFO] entry"
  else
    e2e_fail "every line of log $1 is an [INFO] entry ($bad other lines, or no log)"
  fi
}

e2e_finish() {
  if [ "$E2E_FAILURES" -eq 0 ]; then
    printf '[e2e] %s: all %d checks passed\n' "$E2E_NAME" "$E2E_CHECKS"
    return 0
  fi
  printf '[e2e] %s: %d of %d checks FAILED (prefix kept in %s, screenshots in %s)\n' \
    "$E2E_NAME" "$E2E_FAILURES" "$E2E_CHECKS" "$E2E_PREFIX" "$E2E_SHOTS"
  return 1
}
