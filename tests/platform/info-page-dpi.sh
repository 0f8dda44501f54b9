#!/usr/bin/env bash
# The information page at 100, 150 and 200 % display scaling, in English and in Chinese, under
# Wine: every control's text must fit inside it (info_page_fit_probe checks one scaling and one
# language), also after the page's window moved from a monitor at 100 % to one at 200 %. Wine reads the scaling when its server starts, so this runs in a Wine prefix of
# its own, beside the one the other tests share, and restarts that prefix's server for each.
# Usage: info-page-dpi.sh PROBE.EXE
set -u
probe=$1
export WINEPREFIX="$(dirname "$probe")/dpi-wineprefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
# The Chinese fonts that programs ask for are the installed one, where there is one.
if [ -e /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ]; then
  for font in SimSun "Microsoft YaHei" PMingLiU; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d "WenQuanYi Micro Hei" \
      /f >/dev/null 2>&1
  done
fi
out=$(mktemp)
trap 'rm -f "$out"; wineserver -k 2>/dev/null' EXIT
failed=0
for dpi in 96 144 192; do
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
    >/dev/null 2>&1
  wineserver -k 2>/dev/null
  wineserver -w
  for language in 0 1; do
    # Into a file, not CTest's pipe: services Wine starts for the program outlive it.
    # At 100 %, the page's window also moves to a monitor at 200 %.
    moved=""
    [ "$dpi" = 96 ] && moved=192
    wine "$probe" "$dpi" "$language" $moved >"$out" 2>/dev/null </dev/null
    status=$?
    tr -d '\r' <"$out"
    [ $status -eq 0 ] || { echo "== clipped or not scaled at $dpi DPI, language $language"; failed=1; }
  done
done
exit $failed
