#!/usr/bin/env bash
# Builds the Debian package, inspects it, installs it into this system, makes a
# real backup with the installed program, checks the root-rights set-up, then
# removes the package and checks that nothing of it is left.
#
# It changes the running system, so it runs only as root and only when no
# vellumor package is installed already (a real installation is never
# replaced); otherwise it is skipped (exit 77) with the reason.
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
command -v apt-get >/dev/null || skip "not a Debian system"
if dpkg-query -W -f='${Status}' vellumor 2>/dev/null | grep -q "ok installed"; then
    skip "a vellumor package is installed already; it is left alone"
fi

deb="$("$source_dir/scripts/package.sh")"
[ -f "$deb" ] || fail "no package was built"
echo "package: $deb ($(du -h "$deb" | cut -f1))"

contents="$(dpkg-deb -c "$deb")"
for path in ./usr/bin/vellumor-cli ./usr/bin/sizereap ./usr/libexec/vellumor/rsync \
    ./usr/libexec/vellumor/dropcount ./usr/share/vellumor/excludelist.txt \
    ./usr/share/man/man1/vellumor-cli.1.gz ./usr/share/man/man1/sizereap.1.gz ./usr/share/man/man1/vellumor.1.gz \
    ./usr/share/bash-completion/completions/vellumor-cli \
    ./usr/share/metainfo/org.vellumor.Vellumor.metainfo.xml \
    ./usr/share/polkit-1/actions/org.vellumor.Vellumor.policy ./usr/share/doc/vellumor/copyright; do
    grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done
if grep -q "^-rws" <<<"$contents"; then fail "the package itself ships a set-user-ID file"; fi

depends="$(dpkg-deb -f "$deb" Depends)"
echo "depends: $depends"
for needed in libc6 libqt6core6 rsync dbus pkexec; do
    grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed"
done

if command -v lintian >/dev/null; then
    lintian --tag-display-limit 0 "$deb" | tee /tmp/vellumor-lintian.txt || true
    if grep -q "^E:" /tmp/vellumor-lintian.txt; then fail "lintian reports errors"; fi
fi
unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
if command -v desktop-file-validate >/dev/null; then
    for entry in "$unpacked"/usr/share/applications/*.desktop; do
        [ -e "$entry" ] || continue
        desktop-file-validate "$entry" || fail "desktop entry $entry is not valid"
    done
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net --pedantic "$unpacked/usr/share/metainfo/org.vellumor.Vellumor.metainfo.xml" \
        || appstreamcli validate --no-net "$unpacked/usr/share/metainfo/org.vellumor.Vellumor.metainfo.xml" \
        || fail "the AppStream data is not valid"
fi

installed_files=()
cleanup_install() {
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -q vellumor >/dev/null 2>&1 || true
    rm -rf "$unpacked"
}
trap cleanup_install EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$deb"
mapfile -t installed_files < <(dpkg -L vellumor)

getent group vellumor >/dev/null || fail "the group vellumor was not created"
if grep -q "libvellumor-nautilus.so" <<<"$contents"; then
    system_dir="$(pkg-config --variable=extensiondir libnautilus-extension-4 2>/dev/null || true)"
    if [ -n "$system_dir" ]; then
        [ -f "$system_dir/libvellumor-nautilus.so" ] || fail "Files would not find the extension in $system_dir"
    fi
fi
for tool in rsync dropcount mount bless; do
    state="$(stat -c '%U:%G %a' "/usr/libexec/vellumor/$tool")"
    [ "$state" = "root:vellumor 4750" ] || fail "$tool is $state, not root:vellumor 4750"
done

work="$(mktemp -d)"
mkdir -p "$work/source/inner" "$work/dest"
echo "first" >"$work/source/a.txt"
echo "second" >"$work/source/inner/b.txt"
/usr/bin/vellumor-cli backup "$work/source" "$work/dest" </dev/null || fail "the installed vellumor-cli failed"
cmp "$work/source/inner/b.txt" "$work/dest/source/inner/b.txt" || fail "the backup is not a copy"
echo "backup: $(find "$work/dest" -type f | wc -l) files copied by /usr/bin/vellumor-cli"
rm -rf "$work"

DEBIAN_FRONTEND=noninteractive apt-get purge -y -q vellumor
for path in "${installed_files[@]}"; do
    case "$path" in
    /usr | /usr/bin | /usr/lib | /usr/libexec | /usr/share | /usr/share/* ) [ -d "$path" ] && continue ;;
    esac
    [ -e "$path" ] && [ ! -d "$path" ] && fail "$path is left after removal"
done
[ ! -e /usr/libexec/vellumor ] || fail "/usr/libexec/vellumor is left after removal"
[ ! -e /usr/share/vellumor ] || fail "/usr/share/vellumor is left after removal"
if getent group vellumor >/dev/null; then fail "the group vellumor is left after removal"; fi
if dpkg-statoverride --list | grep -q /usr/libexec/vellumor; then fail "permission overrides are left"; fi
trap - EXIT
echo "package installed, used and removed cleanly"
