#!/bin/bash
# wine-i386.sh - make 32-bit Wine (Debian bookworm wine32:i386 8.0) usable on
# an x86_64 host whose kernel cannot run 32-bit x86 code (this VM is a PVM
# guest with "32-bit emulation disabled": any i386 ELF -> "Exec format error",
# and a far jump to the 32-bit user code segment 0x23 (or an LDT 32-bit code
# segment) faults, so Wine's "new WoW64" mode cannot work either).
#
# How it works
#  * binfmt_misc sends every i386 ELF (wine loader, wine-preloader, all Wine
#    processes) through qemu-i386 user-mode emulation. Debian bookworm's qemu
#    7.2 is NOT usable (it ignores Wine's MAP_FIXED_NOREPLACE hints; Wine then
#    spins for minutes and wineboot fails), so the static qemu-i386 from
#    Debian trixie's qemu-user (10.0.x) is used: that single .deb is fetched
#    with a private apt configuration (nothing under /etc/apt is changed, no
#    trixie package is installed) and only unpacked below $LAB.
#  * wineserver runs natively: wineserver64 of the SAME bookworm version is
#    unpacked from the wine64 .deb (not installed: that would pull 650 MB of
#    libwine:amd64). The binfmt interpreter runs it whenever Wine starts
#    wineserver32. A native server makes ReadProcessMemory/WriteProcessMemory
#    and winedbg work (they fail with ERROR_ACCESS_DENIED under an emulated
#    server) and is faster.
#  * qemu leaves sigcontext.trapno unset, so Wine would report every access
#    violation / integer divide by zero as STATUS_ILLEGAL_INSTRUCTION (and
#    guard pages, IsBadReadPtr etc. break). A tiny LD_PRELOAD shim
#    (winetrap.so, built here from source) rebuilds trapno from siginfo
#    before Wine's signal handler runs. It is preloaded into the emulated
#    processes only (set with qemu -E); a no-op 64-bit twin makes the
#    inherited LD_PRELOAD harmless for native child processes.
#
# Idempotent: run it as root on every boot / CI run (binfmt registration is
# kernel runtime state and is lost on reboot); later runs take < 1 s.
#
# Usage: bash wine-i386.sh [--selftest]     (as root)
# Env:   WINELAB_DIR (default /opt/winelab)
#        WINELAB_NO_TRAPFIX=1 / WINELAB_EMULATED_SERVER=1 at wine run time
#        disable the shim / the native wineserver (for debugging).
set -euo pipefail

LAB=${WINELAB_DIR:-/opt/winelab}
QEMU_BIN=$LAB/qemu/usr/bin/qemu-i386          # static-pie, no library deps
SERVER64=$LAB/wineserver64/usr/lib/wine/wineserver64
INTERP=$LAB/bin/qemu-i386-binfmt
APTDIR=$LAB/apt
BINFMT=/proc/sys/fs/binfmt_misc
MIRROR=${WINELAB_MIRROR:-http://deb.debian.org/debian}

log() { printf '[setup-wine] %s\n' "$*" >&2; }
die() { log "ERROR: $*"; exit 1; }

[ "$(id -u)" = 0 ] || die "must run as root"
[ "$(dpkg --print-architecture)" = amd64 ] || die "expects an amd64 Debian host"
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed$'; }

# --- 1. bookworm packages: 32-bit wine, Xvfb, a C compiler for the shim -------
need=()
for p in wine wine32:i386 libwine:i386 xvfb xauth gcc libc6-dev; do
    installed "$p" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || { log "enabling i386 multiarch"; dpkg --add-architecture i386; }
    log "installing ${need[*]}"
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
WINE_VER=$(dpkg-query -W -f='${Version}' wine32:i386)

# A kernel that runs i386 ELF itself needs none of the rest: nothing is
# fetched or registered then. (Where our entry is registered already, the
# loader would run through it, so that is no proof of native support.)
native=0
if [ ! -e $BINFMT/qemu-i386 ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    native=1
fi

if [ $native = 0 ]; then
# --- helper: download one .deb with a private apt config, never install it ---
# $1 = suite (trixie), $2 = package[=version]; prints the .deb path
fetch_deb() {
    local suite=$1 pkg=$2 d=$APTDIR/$1
    mkdir -p "$d/lists/partial" "$d/cache/archives/partial" "$d/empty.d" "$d/debs"
    cat > "$d/$suite.sources" <<EOF
Types: deb
URIs: $MIRROR
Suites: $suite
Components: main
Architectures: amd64
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    local o=(-o "Dir::Etc::SourceList=$d/$suite.sources" -o "Dir::Etc::SourceParts=$d/empty.d"
             -o "Dir::State::Lists=$d/lists" -o "Dir::Cache=$d/cache" -o "APT::Sandbox::User=root")
    apt-get "${o[@]}" update -qq >&2
    rm -f "$d"/debs/*.deb
    (cd "$d/debs" && apt-get "${o[@]}" download -qq "$pkg" >&2)
    ls "$d"/debs/*.deb | head -n1
}
# unpack one file of a .deb into a fresh directory; $1 deb, $2 dest dir, $3 member
unpack_one() {
    rm -rf "$2.new"; mkdir -p "$2.new"
    dpkg-deb --fsys-tarfile "$1" | tar -x -C "$2.new" "$3"
    rm -rf "$2"; mv "$2.new" "$2"
}

# --- 2. trixie qemu-i386 (10.x, static) ------------------------------------
qemu_ok() { [ -x "$QEMU_BIN" ] && "$QEMU_BIN" --version 2>/dev/null | grep -q 'version \(9\|[1-9][0-9]\)\.'; }
if ! qemu_ok; then
    log "fetching qemu-user from Debian trixie (download + unpack only)"
    deb=$(fetch_deb trixie qemu-user)          # bookworm keyring has the trixie keys
    unpack_one "$deb" "$LAB/qemu" ./usr/bin/qemu-i386
    rm -rf "$APTDIR/trixie"                      # drop indexes and the 70 MB .deb
    qemu_ok || die "unpacked qemu-i386 does not run"
fi

# --- 3. native wineserver64 of exactly the installed wine version ---------------
server_ok() { [ -x "$SERVER64" ] && [ "$(cat "$LAB/wineserver64/VERSION" 2>/dev/null)" = "$WINE_VER" ]; }
if ! server_ok; then
    log "fetching wine64=$WINE_VER (bookworm) for its wineserver64 (unpack only)"
    d=$APTDIR/bookworm; rm -rf "$d"; mkdir -p "$d"
    # the system's own (bookworm) sources; download only
    (cd "$d" && apt-get -o APT::Sandbox::User=root download -qq "wine64=$WINE_VER" >&2) \
        || { apt-get update -qq; (cd "$d" && apt-get -o APT::Sandbox::User=root download -qq "wine64=$WINE_VER" >&2); }
    unpack_one "$(ls "$d"/wine64_*.deb | head -n1)" "$LAB/wineserver64" ./usr/lib/wine/wineserver64
    echo "$WINE_VER" > "$LAB/wineserver64/VERSION"
    rm -rf "$d"
    server_ok || die "wineserver64 unpack failed"
fi

# --- 4. trap-number shim (i386 + no-op x86_64 twin) -----------------------------
mkdir -p "$LAB/src" "$LAB/lib/i386-linux-gnu" "$LAB/lib/x86_64-linux-gnu" "$LAB/bin"
cat > "$LAB/src/winetrap.c.new" <<'EOF'
/* winetrap.so - LD_PRELOAD shim for i386 Wine under qemu-user.
 * qemu-user leaves sigcontext.trapno at -1, so Wine classifies every fault
 * as STATUS_ILLEGAL_INSTRUCTION. Wrap sigaction() so that the handlers Wine
 * installs for SIGSEGV/SIGFPE/SIGILL/SIGBUS/SIGTRAP first get a trapno rebuilt
 * from siginfo. Freestanding: builds with `gcc -m32 -nostdlib`, no multilib. */
typedef unsigned int u32;
struct ksiginfo { int si_signo, si_errno, si_code; };
typedef void (*sa3_t)(int, struct ksiginfo *, void *);
struct gsigaction { void *handler; u32 mask[32]; int flags; void (*restorer)(void); }; /* glibc i386 */
extern void *dlsym(void *, const char *);
#define RTLD_NEXT ((void *)-1l)
#define SA_SIGINFO 4
#define NSIG_MAX 65
static sa3_t real_handler[NSIG_MAX];
static int (*real_sigaction)(int, const struct gsigaction *, struct gsigaction *);

static void fix_trapno(int sig, struct ksiginfo *si, void *uc)
{
    u32 *gregs = (u32 *)((char *)uc + 20);   /* i386 ucontext: flags, link, stack_t */
    u32 *trapno = &gregs[12];                /* REG_TRAPNO */
    if (*trapno <= 31) return;               /* already valid (native kernel) */
    switch (sig) {
    case 11: *trapno = (si->si_code == 1 || si->si_code == 2) ? 14 : 13; break; /* #PF : #GP */
    case 8:  *trapno = si->si_code == 1 ? 0 : si->si_code == 2 ? 4 : 16; break; /* #DE, #OF, #MF */
    case 4:  *trapno = 6; break;                                               /* #UD */
    case 7:  *trapno = 17; break;                                              /* #AC */
    case 5:  *trapno = si->si_code == 2 ? 1 : 3; break;                        /* #DB : #BP */
    }
}

static void wrapper(int sig, struct ksiginfo *si, void *uc)
{
    if (si && uc) fix_trapno(sig, si, uc);
    real_handler[sig](sig, si, uc);
}

int sigaction(int sig, const struct gsigaction *act, struct gsigaction *old)
{
    struct gsigaction copy;
    sa3_t prev = (sig > 0 && sig < NSIG_MAX) ? real_handler[sig] : 0;
    int ret;
    if (!real_sigaction) real_sigaction = (int (*)(int, const struct gsigaction *, struct gsigaction *))dlsym(RTLD_NEXT, "sigaction");
    if (act && (sig == 11 || sig == 8 || sig == 4 || sig == 7 || sig == 5)
        && (act->flags & SA_SIGINFO) && (unsigned long)act->handler > 1) {
        copy = *act;
        real_handler[sig] = (sa3_t)act->handler;
        copy.handler = (void *)wrapper;
        act = &copy;
    }
    ret = real_sigaction(sig, act, old);
    if (old && old->handler == (void *)wrapper) old->handler = (void *)prev;
    return ret;
}
EOF
if ! cmp -s "$LAB/src/winetrap.c.new" "$LAB/src/winetrap.c" || [ ! -s "$LAB/lib/i386-linux-gnu/winetrap.so" ] \
   || [ ! -s "$LAB/lib/x86_64-linux-gnu/winetrap.so" ]; then
    log "building winetrap.so"
    gcc -m32 -O2 -fPIC -shared -nostdlib -fno-stack-protector \
        -x c -o "$LAB/lib/i386-linux-gnu/winetrap.so" "$LAB/src/winetrap.c.new"
    echo 'void winetrap_noop(void) {}' > "$LAB/src/noop.c"
    gcc -O2 -fPIC -shared -nostdlib -o "$LAB/lib/x86_64-linux-gnu/winetrap.so" "$LAB/src/noop.c"
fi
mv -f "$LAB/src/winetrap.c.new" "$LAB/src/winetrap.c"

# --- 5. binfmt interpreter script ---------------------------------------------
cat > "$INTERP.new" <<EOF
#!/bin/sh
# binfmt_misc interpreter for i386 ELF (flags P,F): \$1 = ELF path, \$2 = its argv[0], rest = args.
bin=\$1 a0=\$2
shift 2
case "\$bin" in
    */wineserver32)  # run the server natively (same version, same protocol)
        [ -n "\${WINELAB_EMULATED_SERVER-}" ] || exec $SERVER64 "\$@" ;;
esac
[ -n "\${WINELAB_NO_TRAPFIX-}" ] && exec $QEMU_BIN -0 "\$a0" "\$bin" "\$@"
p='$LAB/\$LIB/winetrap.so'
case " \${LD_PRELOAD-} " in
    *" \$p "*) pre=\$LD_PRELOAD ;;
    *) pre="\$p\${LD_PRELOAD:+ \$LD_PRELOAD}" ;;
esac
exec $QEMU_BIN -0 "\$a0" -E "LD_PRELOAD=\$pre" "\$bin" "\$@"
EOF
chmod 755 "$INTERP.new"
if ! cmp -s "$INTERP.new" "$INTERP"; then mv -f "$INTERP.new" "$INTERP"; reregister=1; else rm -f "$INTERP.new"; reregister=0; fi

# --- 6. binfmt_misc registration ------------------------------------------------
    if [ ! -e $BINFMT/register ]; then
        mount -t binfmt_misc binfmt_misc $BINFMT 2>/dev/null || die "cannot mount binfmt_misc at $BINFMT"
    fi
    [ "$(cat $BINFMT/status)" = enabled ] || echo 1 > $BINFMT/status
    if [ -e $BINFMT/qemu-i386 ] && { [ $reregister = 1 ] || ! grep -qx "interpreter $INTERP" $BINFMT/qemu-i386; }; then
        log "replacing existing qemu-i386 binfmt entry"
        echo -1 > $BINFMT/qemu-i386
    fi
    if [ ! -e $BINFMT/qemu-i386 ]; then
        log "registering qemu-i386 for i386 ELF executables"
        # magic/mask as in qemu's scripts/qemu-binfmt-conf.sh (ET_EXEC + ET_DYN);
        # P = pass original argv[0], F = resolve the interpreter now (works in chroots)
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$INTERP"':PF' \
            > $BINFMT/register
    fi
else
    log "kernel runs i386 ELF natively; no emulator needed"
fi

/usr/lib/wine/wine --version >/dev/null 2>&1 || die "/usr/lib/wine/wine still does not start"
log "OK: $(/usr/lib/wine/wine --version) via $(grep -s '^interpreter' $BINFMT/qemu-i386 || echo 'native i386')"

# --- 7. optional self test ------------------------------------------------------
if [ "${1:-}" = --selftest ]; then
    command -v i686-w64-mingw32-gcc >/dev/null || die "selftest needs i686-w64-mingw32-gcc (gcc-mingw-w64-i686)"
    t=$(mktemp -d /tmp/winelab-selftest.XXXXXX)
    cat > "$t/hello.c" <<'EOF'
#include <windows.h>
static LONG CALLBACK veh(EXCEPTION_POINTERS *e)
{ ExitProcess(e->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION ? 7 : 8); return 0; }
int main(void){
  HANDLE h = CreateFileA("C:\\selftest.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  DWORD n; if (h == INVALID_HANDLE_VALUE) return 9;
  WriteFile(h, "ok", 2, &n, NULL); CloseHandle(h);
  AddVectoredExceptionHandler(1, veh);
  *(volatile int *)0 = 1;   /* must arrive as an access violation -> exit 7 */
  return 6;
}
EOF
    i686-w64-mingw32-gcc -o "$t/hello.exe" "$t/hello.c"
    export WINEPREFIX=$t/pfx WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY
    s=$(date +%s); wine wineboot -i >/dev/null 2>&1; wineserver -w
    log "wineboot -i: $(( $(date +%s) - s ))s, prefix $(du -sh "$WINEPREFIX" | cut -f1)"
    s=$(date +%s); rc=0; wine "$t/hello.exe" || rc=$?
    wineserver -w
    out=$(cat "$WINEPREFIX/drive_c/selftest.txt" 2>/dev/null || true)
    log "hello.exe: rc=$rc file='$out' ($(( $(date +%s) - s ))s incl. wineserver start/stop)"
    rm -rf "$t"
    [ "$rc" = 7 ] && [ "$out" = ok ] || die "selftest failed"
    log "selftest passed"
fi
