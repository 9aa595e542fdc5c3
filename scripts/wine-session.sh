# Sourced, not run: starts and stops what the Windows programs need under Wine.
#   wine_session_start BUILD_DIR [x86|x86-mixed]
#                       exports WINEPREFIX, DISPLAY, WINEDEBUG, WINEDLLOVERRIDES
#   wine_session_stop   stops the wineserver and Xvfb started by wine_session_start
#
# The x86 build's tests run under the private i386 Wine of scripts/wine-i386.sh (through
# qemu-i386); VANTREL_WINE_X86 names its loader for scripts/wine-run-x86.
# - x86: a 32-bit prefix (BUILD_DIR/wineprefix, WINEARCH=win32), 32-bit Windows: the whole suite.
# - x86-mixed: a mixed prefix (BUILD_DIR/wineprefix-mixed): 64-bit Windows with its 32-bit side
#   (syswow64), the i386 Wine beside the host's 64-bit one, where the registry's 32-bit view
#   (WOW6432Node) is real. Its 32-bit programs get no window (Wine's 32-bit side finds no display
#   driver there, and a new process's loader is looked for beside qemu-i386), so only tests that
#   open no window and start no program run in it.
#
# Everything Wine starts gets /dev/null as its standard streams: a wineserver or a Wine
# helper process that inherited a caller's pipe would keep that pipe open and make the
# caller (CTest, CI) wait forever.

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
_vantrel_xvfb_pid=""

wine_session_start() {
  local build_dir
  build_dir=$(cd "$1" && pwd)
  WINE64=/usr/lib/wine/wine64
  local arch=win64 prefix="$build_dir/wineprefix" keeper=1
  case "${2:-}" in
  x86 | x86-mixed)
    local root
    root=$(bash "$(dirname "${BASH_SOURCE[0]}")/wine-i386.sh") || return 1
    if [ "$2" = x86 ]; then
      WINE64="$root/usr/lib/wine/wineq"
      arch=win32
    else
      WINE64="$root/mixed/lib/wine/wine64"
      prefix="$build_dir/wineprefix-mixed"
      keeper=0
    fi
    export VANTREL_WINE_X86="$WINE64"
    ;;
  esac
  # VANTREL_WINEPREFIX gives a session a prefix of its own (two sessions sharing one would
  # share a registry and stop each other's server).
  export WINEPREFIX="${VANTREL_WINEPREFIX:-$prefix}"
  export WINEARCH=$arch
  export WINEDEBUG=-all
  # No Mono/Gecko download prompts, no desktop menu entries.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

  # A display of our own for the tests that open windows.
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    _vantrel_xvfb_pid=$!
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if kill -0 "$_vantrel_xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$n"
      break
    fi
    _vantrel_xvfb_pid=""
  done
  [ -n "$_vantrel_xvfb_pid" ] || { echo "wine-session: no Xvfb display could be started" >&2; return 1; }

  mkdir -p "$WINEPREFIX"
  # Fails when a server for this prefix runs already, which is as good.
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-session: creating Wine prefix $WINEPREFIX"
  fi
  # Bounded: an incomplete i386 Wine can start its desktop process in a loop.
  timeout 300 "$WINE64" wineboot -i </dev/null >/dev/null 2>&1 || true
  # wineboot returns before every service has settled; wait for the registry to be written.
  local i
  for i in $(seq 1 100); do
    [ -f "$WINEPREFIX/system.reg" ] && break
    sleep 0.1
  done

  # Xvfb has no window manager: unmanaged windows spare Wine a two-second wait for one each
  # time a captioned window is hidden or destroyed.
  "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1 || true

  # The dialogs' fonts, for the tests that measure texts against their controls: Wine's
  # metric-compatible "MS Sans Serif" and "Tahoma" (behind "MS Shell Dlg") from fonts-wine, which
  # Debian's Wine 8 does not find where the package puts them; WenQuanYi Micro Hei
  # (fonts-wqy-microhei), a Chinese face, under the name of the face Windows has for Chinese and
  # the Chinese templates name ("Microsoft YaHei UI"); and Noto Sans CJK JP (fonts-noto-cjk), a
  # Japanese face whose kanji have the Japanese forms and which is drawn smoothed at dialog sizes
  # (IPA's faces ask for unsmoothed glyphs there), under the Japanese templates' "Yu Gothic UI".
  # All come from scripts/deps.sh; without them those tests fail on clipped texts or missing
  # glyphs.
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  if [ -d /usr/share/wine/fonts ] && [ ! -f "$fonts/ms_sans_serif.ttf" ]; then
    mkdir -p "$fonts" && cp /usr/share/wine/fonts/* "$fonts/"
  fi
  if [ -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ] && [ ! -f "$fonts/wqy-microhei.ttc" ]; then
    cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$fonts/"
    "$WINE64" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "Microsoft YaHei UI" /d "WenQuanYi Micro Hei" /f \
      </dev/null >/dev/null 2>&1 || true
  fi
  local japanese=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc
  if [ -f "$japanese" ] && [ ! -f "$fonts/NotoSansCJK-Regular.ttc" ]; then
    cp "$japanese" "$fonts/"
    "$WINE64" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "Yu Gothic UI" /d "Noto Sans CJK JP" /f \
      </dev/null >/dev/null 2>&1 || true
  fi

  # Start Wine's desktop process now, with our streams on /dev/null, and keep it alive:
  # otherwise the first test that opens a window starts it with that test's pipes.
  if [ "$keeper" = 1 ] && [ -f "$build_dir/bin/session_keeper.exe" ]; then
    "$WINE64" "$build_dir/bin/session_keeper.exe" </dev/null >/dev/null 2>&1 &
    for i in $(seq 1 100); do
      pgrep -f 'explorer.exe /desktop' >/dev/null 2>&1 && break
      sleep 0.1
    done
  fi
}

wine_session_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  fi
  if [ -n "$_vantrel_xvfb_pid" ]; then
    kill "$_vantrel_xvfb_pid" 2>/dev/null || true
    wait "$_vantrel_xvfb_pid" 2>/dev/null || true
    _vantrel_xvfb_pid=""
  fi
}
