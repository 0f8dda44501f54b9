#!/usr/bin/env bash
# Takes the pictures of what a user sees of the monitor: the tray icon with its menu open and
# the information page, in English and in Chinese, and the notice of a new resolution level.
# Runs the real TARNMON.EXE under Wine in a virtual desktop with a taskbar on an Xvfb display,
# in a Wine prefix of its own, and writes docs/images/{tray,info}-{en,zh}.png and
# docs/images/notice.png. With a DPI (144 for 150 %, 192 for 200 % display
# scaling), the pictures are taken at that scaling, as docs/images/{tray,info}-{en,zh}-DPI.png.
# Installs what it needs when it can.
# Usage: scripts/screenshots.sh [DPI]
set -u -o pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root" || exit 1
. "$root/scripts/tools.sh"

dpi=${1:-96}
case "$dpi" in
  96) suffix="" ;;
  [1-9][0-9] | [1-9][0-9][0-9]) suffix="-$dpi" ;;
  *) echo "usage: scripts/screenshots.sh [DPI]" >&2; exit 2 ;;
esac
scale() { echo $(($1 * dpi / 96)); }
width=$(scale 640) height=$(scale 480)
work="$root/build/windows/screenshots$suffix"
out="$root/docs/images"

install_wine_tools || exit 1
# The picture taker, the pointer, and a font with Chinese glyphs for Wine to use in place of the
# Windows fonts it does not have.
if ! command -v import >/dev/null || ! command -v xdotool >/dev/null ||
  [ ! -e /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ]; then
  install_packages "ImageMagick, xdotool and a Chinese font" imagemagick xdotool \
    fonts-wqy-microhei || exit 1
fi

say "building TARNMON.EXE"
configure_preset windows >/dev/null &&
  cmake --build --preset windows -j "$(nproc)" --target TARNMON screenshot_helper >/dev/null ||
  exit 1

rm -rf "$work/app"
mkdir -p "$work" "$out"
cp -r "$root/build/windows/program" "$work/app"
cp "$root/build/windows/screenshot_helper.exe" "$work/app/"

xvfb_pid=""
trap stop_wine EXIT
start_display "${width}x${height}" || exit 1
use_prefix "$work"
wineserver -p 60
# Every program of the prefix runs in one virtual desktop that has the shell's taskbar; the
# Chinese fonts that programs ask for are the installed one.
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d shell /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /d "${width}x${height}" /f \
  >/dev/null 2>&1
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
for font in SimSun "Microsoft YaHei" PMingLiU; do
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d "WenQuanYi Micro Hei" /f \
    >/dev/null 2>&1
done
# Wine reads the scaling when its server starts.
wineserver -k 2>/dev/null
wineserver -w
wineserver -p 60

# Its lines end as Windows lines do.
helper() { (cd "$work/app" && wine screenshot_helper.exe "$@" 2>/dev/null | tr -d '\r'); }

say "starting TARNMON.EXE"
(cd "$work/app" && exec wine TARNMON.EXE >"$work/monitor.log" 2>&1) &
for _ in $(seq 1 100); do
  helper hide >/dev/null && break
  sleep 0.2
done
helper hide >/dev/null || { say "the monitor did not start"; exit 1; }

# The notification area is at the right end of the taskbar, at the bottom of the desktop.
icon_x=$((width - $(scale 10))) icon_y=$((height - $(scale 10)))
failed=0
for language in "0 en" "1 zh"; do
  set -- $language
  helper language "$1" >/dev/null || failed=1
  sleep 1
  # A right click on the icon opens the menu where the pointer is; the pointer then rests on
  # the menu's last item, as a user's would on the way to it.
  xdotool mousemove $((width / 2)) 10
  sleep 0.5
  xdotool mousemove "$icon_x" "$icon_y" click 3
  sleep 1
  xdotool mousemove $((icon_x - $(scale 30))) $((icon_y - $(scale 20)))
  sleep 1
  crop_w=$(scale 240) crop_h=$(scale 110)
  import -window root -crop "${crop_w}x${crop_h}+$((width - crop_w))+$((height - crop_h))" +repage \
    "$out/tray-$2$suffix.png"
  xdotool key Escape mousemove $((width / 2)) 10
  sleep 0.5
  read -r x y w h < <(helper about)
  sleep 1
  import -window root -crop "$((w + 20))x$((h + 20))+$((x - 10))+$((y - 10))" +repage \
    "$out/info-$2$suffix.png"
  helper hide >/dev/null
  say "docs/images/tray-$2$suffix.png and docs/images/info-$2$suffix.png"
done
# The notice of a new resolution level, over the desktop where a game would be.
xdotool mousemove $((width / 2)) $((height / 2))
rm -f "$work/notice.txt"
(cd "$work/app" && exec wine screenshot_helper.exe notice "$(printf '1600 CPI\n3 / 5')" \
  >"$work/notice.txt" 2>/dev/null) &
shown=$!
for _ in $(seq 1 50); do
  [ -s "$work/notice.txt" ] && break
  sleep 0.2
done
sleep 0.5
read -r x y w h < <(tr -d '\r' <"$work/notice.txt")
import -window root -crop "$((w + 20))x$((h + 20))+$((x - 10))+$((y - 10))" +repage \
  "$out/notice$suffix.png" || failed=1
wait "$shown"
say "docs/images/notice$suffix.png"
helper close >/dev/null
exit $failed
