#!/usr/bin/env bash
# The real datamaint.exe under Wine, driven from the keyboard as an operator would, checked step by step:
#   the menu appears with its size; "数据备份" opens the backup window; Enter on "开始备份" writes a byte-identical
#   backup; "取消" closes the backup window and the menu stays; "数据恢复" lists that backup and restores it
#   byte-identically after "是"; "退出" ends the process. Screenshots of the menu and the backup window go to
#   SHOTS (default: the executable's folder).
#   scripts/smoke-windows.sh PATH/TO/datamaint.exe     (DISPLAY and WINEPREFIX set by the caller)
set -euo pipefail
exe=$(realpath "$1")
shots=${SHOTS:-$(dirname "$exe")}
app=$(mktemp -d /tmp/datamaint-smoke.XXXXXX)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$app"' EXIT
cp "$exe" "$app/datamaint.exe"
head -c 300000 /dev/urandom > "$app/data1.vzd"
cp "$app/data1.vzd" "$app/original"

fail() { echo "smoke: $*" >&2; exit 1; }
# Waits for a window with this title and a size that tells it apart (a message box has the menu's title too).
window() {
    local title=$1 width=$2 id
    for _ in $(seq 100); do
        for id in $(xdotool search --name "^${title}\$" 2>/dev/null); do
            if xdotool getwindowgeometry "$id" 2>/dev/null | grep -q "Geometry: ${width}x"; then
                echo "$id"
                return
            fi
        done
        sleep 0.2
    done
    fail "no window \"$title\" ${width} pixels wide"
}
gone() { for _ in $(seq 100); do xdotool getwindowname "$1" >/dev/null 2>&1 || return 0; sleep 0.2; done; fail "$2 stayed"; }
# Without a window manager the keyboard follows the pointer.
keys() {
    local id=$1
    shift
    xdotool mousemove --window "$id" 20 20 windowfocus --sync "$id" 2>/dev/null || true
    sleep 0.3
    xdotool key --delay 150 "$@"
}
alive() { kill -0 "$pid" 2>/dev/null || fail "the program ended: $*"; }
box() { # a message box: a visible window that is none of the ones named
    local id
    for _ in $(seq 100); do
        for id in $(xdotool search --onlyvisible --name '.' 2>/dev/null); do
            case " $* " in *" $id "*) continue ;; esac
            echo "$id"
            return
        done
        sleep 0.2
    done
    fail "no message box"
}

(cd "$app" && exec /usr/lib/wine/wine64 datamaint.exe) &
pid=$!
menu=$(window 数据维护 402)
echo "smoke: menu $(xdotool getwindowgeometry "$menu" | grep Geometry)"
sleep 2 && import -window "$menu" "$shots/menu-wine.png" 2>/dev/null || true

keys "$menu" Tab Return                        # from "退出" to "数据备份"
backup=$(window 数据备份 470)
sleep 2 && import -window "$backup" "$shots/backup-wine.png" 2>/dev/null || true
keys "$backup" Return                          # "开始备份" has the focus
report=$(box "$menu" "$backup")
keys "$report" Return
gone "$report" "the report box"
name=$(cd "$app/BACKUP" && ls)
cmp "$app/original" "$app/BACKUP/$name" || fail "the backup differs from the data file"
echo "smoke: backup $name is byte-identical"
keys "$backup" Tab Return                      # from "开始备份" to "取消"
gone "$backup" "the backup window"
alive "closing the backup window"
echo "smoke: the backup window closed, the menu stays"

head -c 1000 /dev/urandom > "$app/data1.vzd"    # so that the restore has something to undo
keys "$menu" Tab Return                        # from "数据备份" to "数据恢复"
restore=$(window 恢复备份文件 496)
keys "$restore" Tab Tab Tab Tab Return         # to "开始恢复"; the backup is selected
question=$(box "$menu" "$restore")
keys "$question" Return                        # "是" is the default
gone "$question" "the question"
report=$(box "$menu" "$restore")
keys "$report" Return
gone "$report" "the report box"
cmp "$app/original" "$app/data1.vzd" || fail "the restored data file differs from the backup"
echo "smoke: the restore is byte-identical"
alive "after the restore"

keys "$menu" Tab Return                        # from "数据恢复" round to "退出"
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$pid" 2>/dev/null && fail "\"退出\" left the process running"
echo "smoke: \"退出\" ended the program"

# The menu's close box (Alt+F4 is its command) ends the program as "退出" does.
(cd "$app" && exec /usr/lib/wine/wine64 datamaint.exe) &
pid=$!
menu=$(window 数据维护 402)
keys "$menu" alt+F4
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$pid" 2>/dev/null && fail "the close box left the process running"
echo "smoke: the close box ended the program"
