#!/usr/bin/env bash
# Prepares a private i386 Wine, run through qemu-i386, for the x86 test suite, and prints its
# folder. Nothing is installed system-wide (an i386 wine32 beside wine64 changes how 64-bit
# prefixes boot): Debian's i386 Wine packages and qemu-user of bookworm-backports are downloaded
# with a private APT configuration and unpacked into a root of their own.
#
#   scripts/wine-i386.sh    prepares (or finds) the root; prints its folder on standard output
#
# The root is kept in $VANTREL_WINE_I386_ROOT, else ${XDG_CACHE_HOME:-~/.cache}/vantrel/wine-i386,
# and reused while its stamp names the host's Wine version: a second run takes no time.
# In the root:
#   usr/lib/wine/wineq   runs a 32-bit Windows program (WINEARCH=win32 prefix)
#   mixed/lib/wine/wine64  the host's 64-bit loader with the 32-bit one (mixed/lib/wine/wine)
#                        beside it: a 64-bit prefix (WINEARCH=win64) that runs 32-bit programs
#                        through syswow64 and has the registry's 32-bit view
set -euo pipefail

ROOT=${VANTREL_WINE_I386_ROOT:-${XDG_CACHE_HOME:-$HOME/.cache}/vantrel/wine-i386}
host_wine=$(dpkg-query -W -f='${Version}' libwine:amd64)
stamp="wine $host_wine, qemu-user of bookworm-backports"

if [ -f "$ROOT/.ready" ] && [ "$(cat "$ROOT/.ready")" = "$stamp" ]; then
  echo "$ROOT"
  exit 0
fi

log() { echo "wine-i386: $*" >&2; }
log "preparing a private i386 Wine in $ROOT (once; about 140 MB of packages)"
rm -rf "$ROOT"
mkdir -p "$ROOT"
apt_dir="$ROOT/.apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/debs"

# The archive's address is the one this machine already uses for Debian.
archive_uri() {
  local suite=$1 file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    awk -v suite="$suite" '
      /^[[:space:]]*$/ { if (uris && found) { print uris; exit } uris = ""; found = 0; next }
      /^URIs:/ { uris = $2 }
      /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == suite) found = 1 }
      END { if (uris && found) print uris }' "$file" | head -n1
  done | head -n1
  if [ -f /etc/apt/sources.list ]; then
    awk -v suite="$suite" '$1 == "deb" && $3 == suite { print $2; exit }' /etc/apt/sources.list
  fi
}
main_uri=$(archive_uri bookworm | head -n1)
security_uri=$(archive_uri bookworm-security | head -n1)
[ -n "$main_uri" ] || { log "no Debian bookworm source found in /etc/apt"; exit 1; }
security_uri=${security_uri:-${main_uri%/debian}/debian-security}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg

cat >"$apt_dir/sources.list" <<EOF
deb [arch=amd64,i386 signed-by=$keyring] $main_uri bookworm main
deb [arch=amd64,i386 signed-by=$keyring] $main_uri bookworm-updates main
deb [arch=amd64,i386 signed-by=$keyring] $main_uri bookworm-backports main
deb [arch=amd64,i386 signed-by=$keyring] $security_uri bookworm-security main
EOF
cat >"$apt_dir/apt.conf" <<EOF
APT::Architectures { "amd64"; "i386"; };
Dir::State::Lists "$apt_dir/lists";
Dir::State::status "$apt_dir/status";
Dir::Cache "$apt_dir/cache";
Dir::Etc::SourceList "$apt_dir/sources.list";
Dir::Etc::SourceParts "$apt_dir/none";
Dir::Etc::Preferences "$apt_dir/preferences";
Dir::Etc::PreferencesParts "$apt_dir/none";
APT::Get::Download-Only "true";
EOF
cp /var/lib/dpkg/status "$apt_dir/status"
: >"$apt_dir/preferences"
mkdir -p "$apt_dir/none"
export APT_CONFIG="$apt_dir/apt.conf"
apt-get update -q >"$apt_dir/update.log" 2>&1 || { cat "$apt_dir/update.log" >&2; exit 1; }

cd "$apt_dir/debs"
apt-get download -q "qemu-user/bookworm-backports" >>"$apt_dir/download.log" 2>&1
# The i386 closure of Wine, less what only installs or configures packages.
closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "wine32:i386=$host_wine" "libwine:i386=$host_wine" |
  grep -E '^[a-z0-9][^ ]*:i386$' | sort -u |
  grep -v -E '^(dpkg|cdebconf|install-info|libdebian-installer4|libnewt0|libtextwrap1|libslang2|libreadline8|libcap2-bin|debconf)' || true)
# shellcheck disable=SC2086
apt-get download -q $closure "libwine:i386=$host_wine" "wine32:i386=$host_wine" libz-mingw-w64 \
  >>"$apt_dir/download.log" 2>&1
for deb in *.deb; do
  dpkg-deb -x "$deb" "$ROOT"
done

# libwine's maintainer script makes Wine's zlib1.dll from libz-mingw-w64's: its first 64 bytes,
# Wine's builtin mark and 16 zero bytes, then the rest from byte 97.
zlib_src=$(find "$ROOT/usr" -path '*i686-w64-mingw32*' -name zlib1.dll | head -n1)
zlib_dst="$ROOT/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
if [ -n "$zlib_src" ]; then
  { head -c 64 "$zlib_src"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$zlib_src"; } >"$zlib_dst"
fi

mkdir -p "$ROOT/etc"
echo 'include /etc/ld.so.conf.d/*.conf' >"$ROOT/etc/ld.so.conf"
ldconfig -r "$ROOT"

qemu="$ROOT/usr/bin/qemu-i386"
[ -x "$qemu" ] || { log "qemu-i386 missing from the unpacked qemu-user"; exit 1; }
# Wine starts each child process through "<folder of the loader>/<name it was started by>" and
# Debian's Wine ignores WINELOADER, so the wrapper lives beside the i386 loader.
write_wrapper() {
  cat >"$1" <<EOF
#!/bin/sh
export WINELOADERNOEXEC=1
exec "$qemu" -L "$ROOT" -0 "\$0" "$ROOT/usr/lib/wine/wine" "\$@"
EOF
  chmod +x "$1"
}
write_wrapper "$ROOT/usr/lib/wine/wineq"

# The mixed layout: the host's 64-bit loader beside the 32-bit wrapper.
mixed="$ROOT/mixed"
mkdir -p "$mixed/lib/wine" "$mixed/lib/x86_64-linux-gnu" "$mixed/lib/i386-linux-gnu" "$mixed/share"
cp /usr/lib/wine/wine64 "$mixed/lib/wine/wine64"
write_wrapper "$mixed/lib/wine/wine"
ln -sfn /usr/lib/x86_64-linux-gnu/wine "$mixed/lib/x86_64-linux-gnu/wine"
ln -sfn "$ROOT/usr/lib/i386-linux-gnu/wine" "$mixed/lib/i386-linux-gnu/wine"
ln -sfn /usr/share/wine "$mixed/share/wine"

rm -rf "$apt_dir/debs" "$apt_dir/cache"
echo "$stamp" >"$ROOT/.ready"
log "ready"
echo "$ROOT"
