#!/usr/bin/env bash
# A fresh Wine prefix as a Chinese office has it: code page 936, and a real font behind the name the system
# message font asks for, so that Latin text typed into a one-line box is drawn inside it.
#   WINEPREFIX=DIR LOCPATH=DIR scripts/prepare-prefix.sh      (DISPLAY set by the caller, the prefix empty or absent)
# Afterwards the caller runs Wine with the same WINEPREFIX and LOCPATH and LC_ALL=zh_CN.UTF-8:
#   SHOTS=dir scripts/smoke-windows.sh dist/datamaint-1.00-windows-x64.zip hold_file.exe
# Needs the Debian packages wine64, fonts-wine and fonts-noto-cjk, and localedef (libc-bin).
set -euo pipefail
: "${WINEPREFIX:?set WINEPREFIX to the prefix to make}"
: "${LOCPATH:?set LOCPATH to a folder for the compiled zh_CN.UTF-8 locale}"
export WINEPREFIX LOCPATH WINEDEBUG=${WINEDEBUG:--all}

# Debian compiles only the locales named in /etc/locale.gen; a private folder needs neither root nor that file.
# Wine takes its ANSI code page (936) from the locale's character set and region.
if [ ! -e "$LOCPATH/zh_CN.UTF-8/LC_CTYPE" ]; then
    mkdir -p "$LOCPATH"
    localedef -i zh_CN -f UTF-8 "$LOCPATH/zh_CN.UTF-8"
fi
export LC_ALL=zh_CN.UTF-8

mkdir -p "$WINEPREFIX"
# One persistent server per prefix: without it every program start waits seconds for Wine to shut down.
/usr/lib/wine/wineserver -p
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
# In code page 936 Wine maps "MS Shell Dlg", the system message font that Qt takes as its default, to SimSun,
# which no prefix has; Qt would then fall back to a math font that draws Latin text outside the boxes.
/usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Fonts\Replacements' /v SimSun /t REG_SZ /d 'Noto Sans CJK SC' /f \
    >/dev/null 2>&1
# Tahoma, as the C-locale prefix has it; harmless here.
cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# A failed reg add prints nothing above; ask for the value back.
/usr/lib/wine/wine64 reg query 'HKCU\Software\Wine\Fonts\Replacements' /v SimSun 2>/dev/null | grep -q 'Noto Sans CJK SC' \
    || { echo "prepare-prefix: the font replacement did not take" >&2; exit 1; }
