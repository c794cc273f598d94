# Sourced by the scripts that run Windows programs: one Wine prefix per build tree.
# Usage: . wine-env.sh BUILD_DIR
tovik_build_dir=$(cd "$1" && pwd)
# Wine and the caches need a home even where the caller's environment lacks one.
export HOME="${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}"
export WINEPREFIX="$tovik_build_dir/wineprefix"
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# Nothing may offer to install Wine's .NET or HTML engines in a headless run.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Starts this prefix's server detached from our stdout/stderr: a server that inherits a
# pipe (CTest's, or a $(...) capture) would keep the reader waiting forever.
tovik_start_wineserver() {
  wineserver -p >/dev/null 2>&1 </dev/null || true
}

# Debian's Wine does not copy its own fonts (package fonts-wine) into a new prefix, and without
# Marlett the title bar's buttons are drawn as stray letters ("0 1 r"). Prefixes that draw to a
# screen get them in their Fonts folder, where Wine looks.
tovik_install_wine_fonts() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  [ -f /usr/share/wine/fonts/marlett.ttf ] || { echo "wine: fonts-wine is not installed" >&2; return 1; }
  mkdir -p "$fonts"
  cp -n /usr/share/wine/fonts/*.ttf /usr/share/wine/fonts/*.fon "$fonts"/ 2>/dev/null || true
}
