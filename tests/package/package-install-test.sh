#!/usr/bin/env bash
# Builds the Debian packages, inspects them, installs them into this system
# as an administrator would and checks what an installation must get right:
# the rsync copy with root rights follows an upgrade of the system's rsync,
# a login starts the agent, which runs a job scheduled from the terminal with
# no window ever opened, a group vellumor that existed before (with a member)
# survives remove and purge, and a group the package made goes on purge.
# Afterwards nothing of the packages is left.
#
# It changes the running system, so it runs only as root and only when no
# vellumor package is installed already (a real installation is never
# replaced) and no group vellumor exists; otherwise it is skipped (exit 77)
# with the reason. Whatever happens, the exit trap purges the packages,
# deletes the test's own account and group and puts the system's
# /usr/bin/rsync back exactly as it was.
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
command -v apt-get >/dev/null || skip "not a Debian system"
for package in vellumor vellumor-nautilus; do
    if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
        skip "a $package package is installed already; it is left alone"
    fi
done
# The tool-rights tests of other test processes create and delete the group
# under this lock; the package test holds it throughout.
exec 9>/tmp/vellumor-group-tests.lock
flock 9
if getent group vellumor >/dev/null; then skip "this machine has a group vellumor; it is left alone"; fi
if dpkg-divert --list /usr/bin/rsync | grep -q .; then skip "/usr/bin/rsync is diverted already"; fi

mapfile -t debs < <("$source_dir/scripts/package.sh")
deb="${debs[0]:-}"
if [ ! -f "$deb" ] || [[ "$deb" != */vellumor_* ]]; then fail "no main package was built"; fi
nautilus_deb=""
for file in "${debs[@]}"; do
    case "$file" in */vellumor-nautilus_*) nautilus_deb="$file" ;; esac
done
echo "packages: ${debs[*]}"

scratch="$(mktemp -d)"
# A login's environment: a fresh home, so no entry of this machine's own
# accounts takes the place of the system's.
home="$scratch/home"
mkdir -p "$home"
login_env=(env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 XDG_CONFIG_DIRS=/etc/xdg)
generate_login_units() { # FOLDER
    rm -rf "$1" && mkdir -p "$1"
    "${login_env[@]}" /usr/lib/systemd/user-generators/systemd-xdg-autostart-generator "$1" "$1" "$1" 2>/dev/null
}
test_user=vellumor-pkgtest
rsync_saved=/usr/bin/rsync.vellumor-test
cleanup() {
    set +e
    [ -n "${agent_pid:-}" ] && kill "$agent_pid" 2>/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q vellumor-nautilus vellumor >/dev/null 2>&1
    # The real rsync comes back by a rename: same file, same inode.
    if [ -e "$rsync_saved" ]; then
        mv -f "$rsync_saved" /usr/bin/rsync
        dpkg-divert --quiet --local --no-rename --remove /usr/bin/rsync
    fi
    if getent passwd "$test_user" >/dev/null; then userdel "$test_user"; fi
    if getent group vellumor >/dev/null && [ -n "${test_group_made:-}" ]; then groupdel vellumor; fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# --- The packages as files -------------------------------------------------
contents="$(dpkg-deb -c "$deb")"
for path in ./usr/bin/vellumor-cli ./usr/bin/sizereap ./usr/libexec/vellumor/dropcount \
    ./usr/libexec/vellumor/vellumor-helper ./usr/share/vellumor/excludelist.txt \
    ./usr/share/man/man1/vellumor-cli.1.gz ./usr/share/man/man1/sizereap.1.gz ./usr/share/man/man1/vellumor.1.gz \
    ./usr/share/bash-completion/completions/vellumor-cli \
    ./usr/share/metainfo/org.vellumor.Vellumor.metainfo.xml \
    ./etc/xdg/autostart/org.vellumor.Vellumor.Helper.desktop \
    ./usr/share/polkit-1/actions/org.vellumor.Vellumor.policy ./usr/share/doc/vellumor/copyright; do
    grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done
if grep -q " ./usr/libexec/vellumor/rsync$" <<<"$contents"; then fail "the package ships an rsync binary"; fi
grep -q "^l.* ./usr/libexec/vellumor/user/rsync -> ../../../bin/rsync$" <<<"$contents" \
    || fail "the plain rsync is not a link to the system's rsync"
if grep -q "^-rws" <<<"$contents"; then fail "the package itself ships a set-user-ID file"; fi
if grep -q "nautilus" <<<"$contents"; then fail "the main package holds the Files extension"; fi

depends="$(dpkg-deb -f "$deb" Depends)"
echo "depends: $depends"
for needed in libc6 libqt6core6 rsync dbus pkexec; do
    grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed"
done
if grep -q -e nautilus -e policykit-1 <<<"$depends"; then fail "Depends names $depends"; fi

if pkg-config --exists libnautilus-extension-4; then
    [ -f "$nautilus_deb" ] || fail "no vellumor-nautilus package was built"
    nautilus_depends="$(dpkg-deb -f "$nautilus_deb" Depends)"
    grep -q "libnautilus-extension4" <<<"$nautilus_depends" || fail "vellumor-nautilus lacks libnautilus-extension4"
    grep -q "vellumor (= " <<<"$nautilus_depends" || fail "vellumor-nautilus does not depend on vellumor"
    grep -q "/libvellumor-nautilus.so" <<<"$(dpkg-deb -c "$nautilus_deb")" || fail "vellumor-nautilus lacks the extension"
fi

if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 "${debs[@]}" | tee "$scratch/lintian.txt" || true
    if grep -q "^E:" "$scratch/lintian.txt"; then fail "lintian reports errors"; fi
    if grep -q "hardening-no-" "$scratch/lintian.txt"; then fail "lintian finds binaries built without hardening"; fi
fi
unpacked="$scratch/unpacked"
dpkg-deb -x "$deb" "$unpacked"
if command -v desktop-file-validate >/dev/null; then
    for entry in "$unpacked"/usr/share/applications/*.desktop "$unpacked"/etc/xdg/autostart/*.desktop; do
        desktop-file-validate "$entry" || fail "desktop entry $entry is not valid"
    done
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --pedantic "$unpacked/usr/share/metainfo/org.vellumor.Vellumor.metainfo.xml" \
        || appstreamcli validate --no-net "$unpacked/usr/share/metainfo/org.vellumor.Vellumor.metainfo.xml" \
        || fail "the AppStream data is not valid"
fi

install_packages() {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@" >"$scratch/apt.log" 2>&1 \
        || { cat "$scratch/apt.log"; fail "apt-get install $*"; }
}
remove_packages() { # remove|purge
    DEBIAN_FRONTEND=noninteractive apt-get "$1" -y -q vellumor-nautilus vellumor >"$scratch/apt.log" 2>&1 \
        || { cat "$scratch/apt.log"; fail "apt-get $1"; }
}
tool_state() { stat -c '%U:%G %a' "/usr/libexec/vellumor/$1"; }

# --- A group vellumor that existed before, with a member --------------------
groupadd --system vellumor
test_group_made=1
useradd --system --no-create-home --groups vellumor "$test_user"
install_packages "$deb"
[ "$(tool_state rsync)" = "root:vellumor 4750" ] || fail "rsync is $(tool_state rsync) in a group made before"
remove_packages remove
getent group vellumor >/dev/null || fail "remove deleted a group vellumor that existed before"
[ ! -e /usr/libexec/vellumor ] || fail "/usr/libexec/vellumor is left after remove"
generated="$scratch/generated"
generate_login_units "$generated"
for unit in "$generated"/*Vellumor*; do
    [ -e "$unit" ] && fail "a removed package's autostart entry still starts the agent"
done
remove_packages purge
getent group vellumor >/dev/null || fail "purge deleted a group vellumor that existed before and has a member"
userdel "$test_user"
groupdel vellumor
test_group_made=""

# --- A fresh installation ---------------------------------------------------
install_packages "$deb" ${nautilus_deb:+"$nautilus_deb"}
mapfile -t installed_files < <(dpkg -L vellumor ${nautilus_deb:+vellumor-nautilus})
getent group vellumor >/dev/null || fail "the group vellumor was not created"
printf '%s\n' "${installed_files[@]}" | grep -qx /etc/xdg/autostart/org.vellumor.Vellumor.Helper.desktop \
    || fail "dpkg -L does not list the system's autostart entry"
if [ -n "$nautilus_deb" ]; then
    system_dir="$(pkg-config --variable=extensiondir libnautilus-extension-4 2>/dev/null || true)"
    if [ -n "$system_dir" ]; then
        [ -f "$system_dir/libvellumor-nautilus.so" ] || fail "Files would not find the extension in $system_dir"
    fi
fi
for tool in rsync dropcount mount bless; do
    [ "$(tool_state $tool)" = "root:vellumor 4750" ] || fail "$tool is $(tool_state $tool), not root:vellumor 4750"
done
cmp -s /usr/libexec/vellumor/rsync /usr/bin/rsync || fail "the rsync copy is not the system's rsync"

# --- An upgrade of rsync: the copy follows ----------------------------------
# The system's rsync is diverted (so dpkg knows it is replaced) and kept
# under a second name; the "upgrade" is the same program one byte longer
# with a newer date, which still runs.
dpkg-divert --quiet --local --no-rename --divert "$rsync_saved" --add /usr/bin/rsync
ln /usr/bin/rsync "$rsync_saved"
cp -p /usr/bin/rsync "$scratch/rsync.new"
printf '\n' >>"$scratch/rsync.new"
touch -d '+1 day' "$scratch/rsync.new"
mv -f "$scratch/rsync.new" /usr/bin/rsync
dpkg-trigger --by-package=rsync --no-await /usr/bin/rsync
dpkg --triggers-only vellumor
cmp -s /usr/libexec/vellumor/rsync /usr/bin/rsync || fail "the rsync copy did not follow the upgraded rsync"
[ "$(tool_state rsync)" = "root:vellumor 4750" ] || fail "the new rsync copy is $(tool_state rsync)"
/usr/libexec/vellumor/rsync --version >/dev/null || fail "the new rsync copy does not run"
mv -f "$rsync_saved" /usr/bin/rsync
dpkg-divert --quiet --local --no-rename --remove /usr/bin/rsync
dpkg-trigger --by-package=rsync --no-await /usr/bin/rsync
dpkg --triggers-only vellumor
cmp -s /usr/libexec/vellumor/rsync /usr/bin/rsync || fail "the rsync copy did not follow the restored rsync"

# --- A backup by the installed terminal command -----------------------------
work="$scratch/work"
mkdir -p "$work/source/inner" "$work/dest"
echo "first" >"$work/source/a.txt"
echo "second" >"$work/source/inner/b.txt"
/usr/bin/vellumor-cli backup "$work/source" "$work/dest" </dev/null >/dev/null || fail "the installed vellumor-cli failed"
cmp "$work/source/inner/b.txt" "$work/dest/source/inner/b.txt" || fail "the backup is not a copy"
echo "backup: $(find "$work/dest" -type f | wc -l) files copied by /usr/bin/vellumor-cli"

# --- A login: the system's autostart entry starts the agent -----------------
# systemd's generator turns the autostart entries into the session's units,
# as at a login; the agent runs from the unit's command in a fresh home on a
# private session bus, without a display. A job scheduled from the terminal
# for the coming minute runs with no window ever opened.
generate_login_units "$generated"
unit="$generated/app-org.vellumor.Vellumor.Helper@autostart.service"
[ -f "$unit" ] || fail "no login unit was made from the system's autostart entry"
agent_command="$(sed -n 's/^ExecStart=:\{0,1\}//p' "$unit")"
[ "$agent_command" = /usr/libexec/vellumor/vellumor-helper ] || fail "the login unit runs \"$agent_command\""
mkdir -p "$work/scheduled"
cat >"$scratch/login.sh" <<EOF
$agent_command &
echo \$! >"$scratch/agent.pid"
# The schedule is written once the agent listens for its changes on the bus.
for _ in \$(seq 100); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \\
        org.freedesktop.DBus.NameHasOwner string:org.vellumor.Vellumor.Helper 2>/dev/null | grep -q true && break
    sleep 0.1
done
# One minute ahead, or two when the minute is nearly over.
ahead=\$(( \$(date +%S) < 50 ? 1 : 2 ))
at=\$(date -d "+\$ahead min" +%H:%M)
day=\$(date -d "+\$ahead min" +%a | tr '[:upper:]' '[:lower:]')
/usr/bin/vellumor-cli schedule --days "\$day" --at "\$at" "$work/source" "$work/scheduled" </dev/null >/dev/null
for _ in \$(seq 180); do
    [ -f "$work/scheduled/source/inner/b.txt" ] && ! pgrep -x -f "/usr/bin/vellumor daemonLaunched" >/dev/null && break
    sleep 1
done
kill \$(cat "$scratch/agent.pid")
EOF
"${login_env[@]}" dbus-run-session -- bash "$scratch/login.sh"
cmp -s "$work/source/inner/b.txt" "$work/scheduled/source/inner/b.txt" \
    || fail "the job scheduled with vellumor-cli did not run after the login"
[ ! -e "$home/.config/autostart/org.vellumor.Vellumor.Helper.desktop" ] \
    || fail "the agent's start wrote a per-user autostart entry beside the system's"
echo "login: the agent ran the scheduled job"

# --- Purge: a group the package made, with no members, goes -----------------
remove_packages purge
for path in "${installed_files[@]}"; do
    case "$path" in
    /etc | /etc/xdg | /etc/xdg/autostart | /usr | /usr/bin | /usr/lib | /usr/lib/* | /usr/libexec | /usr/share | /usr/share/*)
        [ -d "$path" ] && continue ;;
    esac
    [ -e "$path" ] && [ ! -d "$path" ] && fail "$path is left after removal"
done
[ ! -e /usr/libexec/vellumor ] || fail "/usr/libexec/vellumor is left after removal"
[ ! -e /usr/share/vellumor ] || fail "/usr/share/vellumor is left after removal"
[ ! -e /var/lib/vellumor ] || fail "/var/lib/vellumor is left after purge"
if getent group vellumor >/dev/null; then fail "purge left the group vellumor the package made"; fi
if dpkg-statoverride --list | grep -q /usr/libexec/vellumor; then fail "permission overrides are left"; fi
echo "packages installed, used and removed cleanly"
