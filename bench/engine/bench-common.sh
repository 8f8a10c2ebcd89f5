# Helpers shared by the engine benchmarks; source it, do not run it.

# bench_setup NAME [BUILD_DIR] [FILES]: the build's stage (stage, cli,
# rsync), the tree size (files, default 100000) and a fresh work folder that
# is removed when the script exits. Stops when vellumor-cli is not built.
bench_setup() {
    local name="$1" root
    root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
    build="$(cd "${2:-$root/build}" && pwd)"
    files="${3:-100000}"
    stage="$build/stage"
    cli="$stage/bin/vellumor-cli"
    rsync="$stage/libexec/vellumor/rsync"
    [ -x "$cli" ] || { echo "build vellumor-cli first ($cli missing)" >&2; exit 1; }
    work="$(mktemp -d "${TMPDIR:-/tmp}/vellumor-bench-$name.XXXXXX")"
    trap 'rm -rf "$work"' EXIT
}

make_tree() { # make_tree DIR COUNT: COUNT small files, 100 per folder
    python3 - "$1" "$2" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "folder %04d" % (i // 100))
    if i % 100 == 0:
        os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "file %06d.txt" % i), "w") as f:
        f.write("content of file %d\n" % i * (1 + i % 7))
PY
}

change_one_percent() { # change_one_percent DIR COUNT: every 100th file of make_tree gets new content
    python3 - "$1" "$2" <<'PY'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(0, count, 100):
    path = os.path.join(root, "folder %04d" % (i // 100), "file %06d.txt" % i)
    with open(path, "a") as f:
        f.write("changed\n")
PY
}

now() { date +%s.%N; }
seconds() { python3 -c "print(f'{$2 - $1:.3f}')"; }
ratio() { python3 -c "print(f'{$1 / $2:.3f}')"; }
