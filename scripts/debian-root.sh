#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Keyloft developers
# SPDX-License-Identifier: GPL-3.0-or-later

# Runs a command inside a clean Debian root built from Debian's archive:
#
#     scripts/debian-root.sh debian-13 COMMAND [ARGUMENT...]
#
# The root is built once with mmdebstrap into .cache/NAME/ in this tree, from
# the Debian mirror (and through any proxy) that the host's own apt uses, with
# everything the build and the test suite need preinstalled, and built again
# when it is a week old, when the package list below changes, or when
# DEBIAN_ROOT_REBUILD=1 is set. Each run starts from that root unchanged: it is
# the read-only lower layer of an overlay whose upper layer lives in memory, so
# what a run installs or writes outside /src is gone afterwards.
#
# Inside, COMMAND runs as real root (all capabilities, so chown, setresuid and
# dpkg -i work) with no network but loopback, and sees:
#   /src        this source tree, read-write, but for:
#   /src/build  .cache/NAME-build/, so the root's build folders stay apart
#   /tmp    a fresh tmpfs, also TMPDIR; HOME is /root
# It starts in the folder matching the caller's if that is inside this tree.
#
# Everything is mounted in private mount, PID, IPC, UTS and network namespaces
# that end with this script, however it ends (Ctrl-C, kill, kill -9): no mount
# or process outlives it. The exit status is COMMAND's.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

usage() {
    echo "usage: $0 debian-12|debian-13 COMMAND [ARGUMENT...]" >&2
    exit 2
}
[[ $# -ge 2 ]] || usage
name=$1
shift
case "$name" in
    debian-12) suite=bookworm ;;
    debian-13) suite=trixie ;;
    *) usage ;;
esac

# Everything run.sh and test.sh install, so that they find it all inside,
# where there is no network. Changing the list rebuilds the root.
# shellcheck source=scripts/packages.sh
. "$root/scripts/packages.sh"
packages=("${build_packages[@]}" "${test_packages[@]}")
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

# The archive and security mirrors are those of the host's own release in its
# apt sources, as apt itself reads them (sources.list or the .sources files);
# its proxy settings go along.
# shellcheck source=/dev/null
host=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
archive='' security=''
# shellcheck disable=SC2016 # apt's fields, not the shell's
while read -r release uri; do
    case "$release" in
        "$host") archive=${archive:-$uri} ;;
        "$host-security") security=${security:-$uri} ;;
    esac
done < <(apt-get indextargets --no-release-info --format '$(RELEASE) $(REPO_URI)')
if [[ -z "$host" || -z "$archive" ]]; then
    echo "$0: the host's apt sources name no Debian archive for its release (${host:-unknown})" >&2
    exit 1
fi
sources=("deb $archive $suite main" "deb $archive $suite-updates main")
[[ -z "$security" ]] || sources+=("deb $security $suite-security main")
mapfile -t proxies < <(apt-config dump Acquire::http::Proxy Acquire::https::Proxy)

# unshare, setpriv and flock come with util-linux, which every Debian has.
"$root/scripts/ensure-packages.sh" mmdebstrap debian-archive-keyring iproute2

cache=$root/.cache/$name
rootfs=$cache/rootfs
stamp=$cache/stamp
builds=$root/.cache/$name-build
# The host's own build folder is where the root's is mounted.
mkdir -p "$root/.cache" "$builds" "$root/build"

# Runs a command in new namespaces (unshare's options first, then --, then the
# command) and waits for it. The chain dies as a whole: unshare gets SIGKILL
# when this script dies (setpriv --pdeathsig), the namespace's first process
# gets it when unshare dies (--kill-child), and with it go every other process
# of the PID namespace and so the mount namespace and all its mounts.
# Standard input is passed on explicitly: a background job would get /dev/null;
# and so are SIGINT and SIGQUIT, which a background job would ignore.
contained() {
    setpriv --pdeathsig KILL env --default-signal=INT,QUIT \
        unshare --kill-child --pid --mount-proc --propagation private --ipc --uts "$@" \
        <&3 3<&- 9>&- &
    local child=$! status=0
    local stop="kill -KILL $child 2>/dev/null || true; wait $child 2>/dev/null || true; exit"
    # shellcheck disable=SC2064 # this child's number, fixed now
    trap "$stop 130" INT
    # shellcheck disable=SC2064
    trap "$stop 143" TERM
    # shellcheck disable=SC2064
    trap "$stop 129" HUP
    wait "$child" || status=$?
    trap 'exit 130' INT
    trap 'exit 143' TERM
    trap 'exit 129' HUP
    return "$status"
}
exec 3<&0

fresh() {
    [[ -f "$stamp" && -d "$rootfs" && "${DEBIAN_ROOT_REBUILD:-}" != 1 ]] || return 1
    [[ -n $(find "$stamp" -mtime -7) ]] || return 1
    grep -qxF "packages=${packages[*]}" "$stamp"
}

build() {
    local new started
    new=$(mktemp -d "$root/.cache/$name.new.XXXXXX")
    chmod 755 "$new" # apt downloads as _apt, which must reach into it
    started=$(date +%s)
    echo "Building the $name root ($suite) from $archive into $new" >&2
    # Recommends stay out, in the build and in later installs inside. The
    # releases' signing keys come from the host's debian-archive-keyring.
    contained --mount -- mmdebstrap --mode=root --variant=minbase --format=directory \
        --keyring="$keyring" --aptopt='APT::Install-Recommends "false"' \
        "${proxies[@]/#/--aptopt=}" --include="$(IFS=,; echo "${packages[*]}")" \
        "$suite" "$new/rootfs" "${sources[@]}"
    mkdir "$new/mnt"
    {
        echo "suite=$suite"
        echo "built=$(date -u +%FT%TZ)"
        echo "packages=${packages[*]}"
    } >"$new/stamp"
    if [[ -e "$cache" ]]; then
        local old
        old=$(mktemp -d "$root/.cache/$name.old.XXXXXX")
        mv "$cache" "$old/"
        mv "$new" "$cache"
        rm -rf --one-file-system "$old"
    else
        mv "$new" "$cache"
    fi
    echo "Built the $name root in $(($(date +%s) - started)) s," \
        "$(du -sh --one-file-system "$rootfs" | cut -f1)" >&2
}

# Runs share the root; a rebuild waits for them to end and they for it. The
# lock is on the open file, so it stays with this script when flock is done;
# flock waits in the background so that a signal ends the wait at once.
lock() {
    setpriv --pdeathsig KILL flock "$1" 9 &
    wait $!
}
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
exec 9>"$root/.cache/$name.lock"
lock -s
# With the lock shared no build is under way: these are left over by one that
# was interrupted, and no mount can be under them.
rm -rf --one-file-system "$root/.cache/$name".new.* "$root/.cache/$name".old.*
if ! fresh; then
    lock -x
    if ! fresh; then
        build
    fi
    lock -s
fi

# shellcheck source=/dev/null
pretty=$(. "$rootfs/etc/os-release" && echo "$PRETTY_NAME")
qt=$(dpkg-query --admindir="$rootfs/var/lib/dpkg" -W -f='${Version}' qt6-base-dev)
echo "$name root: $pretty, Qt ${qt%%[+~-]*} (qt6-base-dev $qt), built $(
    sed -n 's/^built=//p' "$stamp")" >&2

workdir=/src
case "$PWD/" in
    "$root"/*) workdir=/src${PWD#"$root"} ;;
esac

environment=(HOME=/root TMPDIR=/tmp USER=root LOGNAME=root SHELL=/bin/bash LANG=C.UTF-8
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    DEBIAN_FRONTEND=noninteractive)
for variable in TERM CI $(compgen -e KEYLOFT_ || true); do
    [[ -z "${!variable+set}" ]] || environment+=("$variable=${!variable}")
done

# Run by the host's bash as the first process of the new PID namespace: lays
# out the root, then runs the command chrooted and stays to reap orphans.
# Standard input is named for the command so that it does not get /dev/null.
# shellcheck disable=SC2016 # expanded by that bash, not this one
inside='
set -euo pipefail
rootfs=$1 stage=$2 project=$3 builds=$4 workdir=$5 hostname=$6 count=$7
shift 7
environment=("${@:1:count}")
shift "$count"

mount -t tmpfs -o mode=0755 keyloft-stage "$stage"
mkdir "$stage/upper" "$stage/work" "$stage/root"
mount -t overlay overlay \
    -o "lowerdir=$rootfs,upperdir=$stage/upper,workdir=$stage/work" "$stage/root"
r=$stage/root
mount -t proc -o nosuid,nodev,noexec proc "$r/proc"
mount -t sysfs -o ro,nosuid,nodev,noexec sysfs "$r/sys"
mount -t tmpfs -o mode=0755,nosuid dev "$r/dev"
for device in null zero full random urandom tty; do
    touch "$r/dev/$device"
    mount --bind "/dev/$device" "$r/dev/$device"
done
mkdir "$r/dev/pts" "$r/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts "$r/dev/pts"
mount -t tmpfs -o mode=1777,nosuid,nodev shm "$r/dev/shm"
ln -s pts/ptmx "$r/dev/ptmx"
ln -s /proc/self/fd "$r/dev/fd"
ln -s /proc/self/fd/0 "$r/dev/stdin"
ln -s /proc/self/fd/1 "$r/dev/stdout"
ln -s /proc/self/fd/2 "$r/dev/stderr"
mount -t tmpfs -o mode=1777,nosuid,nodev tmp "$r/tmp"
mkdir -p "$r/src"
mount --bind "$project" "$r/src"
mount --bind "$builds" "$r/src/build"
ip link set lo up
hostname "$hostname"
# mmdebstrap leaves it empty for a first boot to fill; each run is a new machine.
[[ -s "$r/etc/machine-id" ]] || tr -d - </proc/sys/kernel/random/uuid >"$r/etc/machine-id"

env --default-signal=INT,QUIT chroot "$r" /usr/bin/env -i "${environment[@]}" \
    /bin/sh -c '\''cd "$0" && exec "$@"'\'' "$workdir" "$@" <&0 &
child=$!
trap "kill -TERM $child 2>/dev/null" INT TERM HUP
status=0
wait "$child" || status=$?
while kill -0 "$child" 2>/dev/null; do wait "$child" || status=$?; done
exit "$status"
'
mkdir -p "$cache/mnt"
contained --mount --net -- /bin/bash -c "$inside" inside "$rootfs" "$cache/mnt" "$root" \
    "$builds" "$workdir" "$name" "${#environment[@]}" "${environment[@]}" "$@"
