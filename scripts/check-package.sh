#!/bin/sh
# Checks the Debian package that `make package` made in BUILD (default build/): its file list
# and owners, its dependencies, lintian, the desktop entry and AppStream metainfo; then runs the
# installed programs as a user would.
#
# The package is unpacked into a scratch root and laid over /usr by a read-only overlay in a
# mount namespace of its own, so the programs run at their real paths (/usr/bin/vantaq ->
# /usr/lib/vantaq/vantaq, and EclCCE.ini naming /usr/lib/vantaq/cce) while this machine stays as
# it was: `make test` also runs on developers' machines, where apt-get install would change the
# system. They run as the user nobody with a fresh home, so the program folder is not writable
# for them (it is a read-only mount besides): a queue of one job, started as
# `vantaq -clear -source:jobs.txt -start -exit` without a display, must leave its log in
# ~/.local/state/vantaq and the priority it sets in ~/.config/vantaq/EclCCE.ini. Needs root
# (mount namespaces); the package's runtime dependencies must be installed (scripts/setup.sh).
set -eu

if [ "${1:-}" = --installed ]; then
    # Inside the namespace, as nobody: the installed view of the package.
    fail() {
        echo "check-package: FAILED: $*" >&2
        exit 1
    }
    work="$HOME/work"
    mkdir -p "$work"
    [ "$(command -v vantaq)" = /usr/bin/vantaq ] || fail "vantaq is not /usr/bin/vantaq on the PATH"
    vantaq-pulldown --help >"$work/help.txt" || fail "vantaq-pulldown --help failed"
    grep -q '^Usage: vantaq-pulldown' "$work/help.txt" || fail "vantaq-pulldown --help: no usage"
    vantaq-job --help | grep -q "^Usage: vantaq-job" || fail "vantaq-job --help: no usage"
    for page in vantaq vantaq-pulldown vantaq-probe vantaq-reg vantaq-job EclCCE cce; do
        MANWIDTH=80 man -l "/usr/share/man/man1/$page.1.gz" >"$work/$page.man" 2>"$work/man.err" ||
            fail "man -l $page.1.gz: $(cat "$work/man.err")"
        [ ! -s "$work/man.err" ] || fail "man -l $page.1.gz warns: $(cat "$work/man.err")"
        grep -q "^NAME" "$work/$page.man" || fail "man page $page has no NAME section"
    done

    # A fresh store with the log file on and the idle priority (written into the runner's
    # profile before the job), a one-second source and a one-pass job.
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n'
        printf '[HKEY_CURRENT_USER\\Software\\Pellmoor\\Vantaq]\r\n'
        printf '"EnableLogging"=dword:00000001\r\n"CCEPriority"=dword:00000001\r\n'
    } >"$work/settings.reg"
    vantaq-reg import "$work/settings.reg" || fail "vantaq-reg import"
    [ -f "$HOME/.config/vantaq/store.sqlite" ] || fail "the store is not in ~/.config/vantaq"
    ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=160x120:rate=25 -t 1 -c:v mjpeg -q:v 3 \
        "$work/clip.avi"
    printf '; 1.0.1.5\r\n0,%s,0,4000,2000,2,1,-1,-1,-1,0,0,0,1,1\r\n' "$work/clip.avi" \
        >"$work/jobs.txt"
    status=0
    QT_QPA_PLATFORM=offscreen timeout 300 vantaq -clear "-source:$work/jobs.txt" -start -exit \
        >"$work/vantaq.out" 2>&1 || status=$?
    log="$HOME/.local/state/vantaq/vantaq.log"
    [ -f "$log" ] || fail "no log in ~/.local/state/vantaq (vantaq ended with $status):
$(cat "$work/vantaq.out")"
    [ "$status" = 0 ] || fail "vantaq ended with $status: $(tr -d '\r' <"$log")"
    for line in ' Started!!!' 'ECLCCE Executable version' 'Avisynth.dll version' \
        'No more jobs!!!'; do
        grep -q "$line" "$log" || fail "the log lacks \"$line\": $(tr -d '\r' <"$log")"
    done
    [ ! -e /usr/lib/vantaq/vantaq.log ] || fail "a log in the program folder"
    vantaq-reg export 'Software\Pellmoor\Vantaq\Jobs' | grep -q '"Status"="Complete"' ||
        fail "the job did not complete: $(tr -d '\r' <"$log")"
    [ -s "$work/clip.mpv" ] || fail "no stream clip.mpv"
    ini="$HOME/.config/vantaq/EclCCE.ini"
    grep -q '^CCE=/usr/lib/vantaq/cce' "$ini" || fail "$ini does not name the installed cce"
    grep -q '^Priority=64' "$ini" || fail "$ini does not hold the idle priority"
    grep -q '^Priority=-1' /usr/lib/vantaq/EclCCE.ini || fail "the shared EclCCE.ini changed"
    QT_QPA_PLATFORM=offscreen /usr/lib/vantaq/EclCCE >"$work/eclcce.out" 2>&1 ||
        fail "EclCCE without arguments failed"
    grep -q "^Profile: $ini" "$work/eclcce.out" || fail "EclCCE shows another profile:
$(cat "$work/eclcce.out")"
    echo "check-package: the installed programs run for a user: log in $log"
    exit 0
fi

build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
deb=$(ls -t "$build"/vantaq_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || {
    echo "check-package: no vantaq_*.deb in $build (make package)" >&2
    exit 1
}
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
echo "== $deb"
if [ "$(id -u)" -ne 0 ]; then
    echo "check-package: skipped: running the installed programs needs root (mount namespace)"
    # Under CI the installed programs must run: not being root fails the check.
    [ "${CI:-}" != true ] || exit 1
    exit 0
fi
fail() {
    echo "check-package: FAILED: $*" >&2
    exit 1
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
chmod 755 "$scratch"

# The file list: every entry's mode and path (and link target) as expected, all owned by root.
dpkg-deb -c "$deb" >"$scratch/contents"
awk '{ line = $1 " " $6; for (i = 7; i <= NF; i++) line = line " " $i; print line }' \
    "$scratch/contents" >"$scratch/files"
grep -v '^#' "$here/../tests/package/files.txt" >"$scratch/expected"
diff -u "$scratch/expected" "$scratch/files" || fail "the file list differs (above)"
awk '$2 != "root/root" { print; bad = 1 } END { exit bad }' "$scratch/contents" ||
    fail "entries not owned by root"

depends=$(dpkg-deb -f "$deb" Depends)
for need in ffmpeg libqt6widgets6 libqt6charts6 libsqlite3-0 libx11-6 libavformat59; do
    case ", $depends," in
    *", $need "* | *", $need,"*) ;;
    *) fail "Depends lacks $need: $depends" ;;
    esac
done
# Every dependency is satisfied here: apt would install the package alone.
apt-get install -s "$deb" >"$scratch/apt" 2>&1 || fail "apt-get: $(cat "$scratch/apt")"
[ "$(grep -c '^Inst ' "$scratch/apt")" = 1 ] || fail "apt-get would install more: $(cat "$scratch/apt")"

echo "== lintian"
status=0
lintian --fail-on error,warning "$deb" >"$scratch/lintian" 2>&1 || status=$?
grep -v 'running with root privileges is not recommended' "$scratch/lintian" || true
[ "$status" = 0 ] || fail "lintian reports errors or warnings"

dpkg-deb -x "$deb" "$scratch/root"
desktop-file-validate "$scratch"/root/usr/share/applications/*.desktop || fail "desktop entry"
appstreamcli validate --no-net "$scratch"/root/usr/share/metainfo/*.metainfo.xml ||
    fail "AppStream metainfo"

echo "== the installed programs, as a user"
mkdir "$scratch/home"
chown 65534:65534 "$scratch/home"
cp "$0" "$scratch/check.sh"
chmod 755 "$scratch/check.sh"
unshare --mount --propagation private sh -c '
    mount -t overlay overlay -o "lowerdir=$1/root/usr:/usr" /usr || exit 1
    exec setpriv --reuid=65534 --regid=65534 --clear-groups \
        env -i HOME="$1/home" PATH=/usr/bin:/bin LANG=C.UTF-8 sh "$1/check.sh" --installed
' sh "$scratch" || fail "the installed programs (above)"
echo "check-package: passed"
