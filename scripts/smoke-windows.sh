#!/usr/bin/env bash
# The file handed to operators, checked as it is, and its datamaint.exe run under Wine as a Chinese office runs it:
# code page 936, installed in C:\账务系统\ beside the data file data1.vzd, and driven from the keyboard alone.
#   - the zip holds the five files; README.txt has a byte-order mark and CR LF line ends; the executable carries its
#     version strings and its manifest;
#   - the menu appears and ignores Esc; typed text is drawn in both boxes of the backup window; Enter on "开始备份"
#     writes a byte-identical backup and reports it;
#   - "浏览..." takes the folder of the file picked in the file dialog, and says so when the dialog is cancelled;
#   - an existing backup is left alone on "否" and replaced on "是";
#   - a data file held open by another program makes the backup fail without a trace;
#   - a long copy shows its progress window, and Enter or Esc there stops it without a trace or a word;
#   - the restore window lists the backups, takes another folder from the folder dialog and restores from it byte
#     for byte; a cancelled folder dialog changes nothing; a read-only data file makes the restore fail unchanged;
#   - "退出" and the close box end the program.
# Every message box is read through the clipboard (Ctrl+C copies a Qt message box), so its words are checked too.
# Screenshots of the menu, the backup window with typed text, the file dialog and the progress window go to SHOTS
# (default: here); on a failure the whole screen goes there too, as failure-wine.png.
#   SHOTS=dir scripts/smoke-windows.sh DIST_ZIP HOLD_EXE
# DISPLAY, WINEPREFIX, LOCPATH and LC_ALL=zh_CN.UTF-8 come from the caller, the prefix booted as
# scripts/prepare-prefix.sh does it. HOLD_EXE C:\path\file opens that file shared with nobody until it is killed.
# Needs xdotool, xclip, ImageMagick and unzip.
set -euo pipefail
# The screen as it was goes beside the screenshots, for whoever reads the failure.
fail() {
    echo "smoke: $*" >&2
    [ -z "${shots:-}" ] || timeout 20 import -window root "$shots/failure-wine.png" 2>/dev/null || true
    exit 1
}
[ $# -eq 2 ] || fail "usage: SHOTS=dir $0 DIST_ZIP HOLD_EXE"
zip=$(realpath "$1")
holder=$(realpath "$2")
shots=$(realpath "${SHOTS:-.}")
: "${DISPLAY:?}" "${WINEPREFIX:?}" "${LOCPATH:?}"
[ "${LC_ALL:-}" = zh_CN.UTF-8 ] || fail "LC_ALL must be zh_CN.UTF-8, not \"${LC_ALL:-}\""
for tool in xdotool xclip import compare unzip; do command -v "$tool" >/dev/null || fail "$tool is missing"; done
rm -f "$shots/failure-wine.png"
export WINEDEBUG=${WINEDEBUG:--all}
wine=/usr/lib/wine/wine64

work=$(mktemp -d /tmp/datamaint-smoke.XXXXXX)
pid='' hold='' clear=''
trap 'for p in $pid $hold $clear; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT

# --- the file to hand out ----------------------------------------------------------------------------------------

expected=$'LICENSE.GPL-3.txt\nLICENSE.LGPL-3.txt\nLICENSE.txt\nREADME.txt\ndatamaint.exe'
[ "$(unzip -Z1 "$zip" | LC_ALL=C sort)" = "$expected" ] || fail "the zip holds: $(unzip -Z1 "$zip" | tr '\n' ' ')"
unzip -q "$zip" -d "$work/dist"
echo "smoke: the zip holds datamaint.exe, README.txt and the three licences"

readme=$work/dist/README.txt
[ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "README.txt has no byte-order mark"
iconv -f UTF-8 -t UTF-8 "$readme" >/dev/null 2>&1 || fail "README.txt is not UTF-8"
[ "$(tail -c 1 "$readme" | od -An -tx1 | tr -d ' ')" = 0a ] || fail "README.txt's last line has no line end"
! LC_ALL=C grep -qv $'\r$' "$readme" || fail "README.txt has a line not ending in CR LF"
echo "smoke: README.txt is UTF-8 with a byte-order mark, every line ends in CR LF"

# A pattern for grep -P matching TEXT as the UTF-16LE that resources hold.
utf16() { printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ' ' | sed 's/ *$//; s/ /\\x/g'; }
# A version string: its name, the name's terminating zero, at most one word of padding, the value and its zero.
version_string() {
    LC_ALL=C grep -qaP "$(utf16 "$1")\\x00\\x00(\\x00\\x00)?$(utf16 "$2")\\x00\\x00" "$work/dist/datamaint.exe" \
        || fail "datamaint.exe has no version string $1 = $2"
}
# The string table's name, 080404b0 (Chinese (PRC), Unicode), follows the StringFileInfo header and its own.
LC_ALL=C grep -qaP "$(utf16 StringFileInfo)\\x00\\x00(\\x00\\x00)?[\\x00-\\xff]{6}$(utf16 080404b0)\\x00\\x00" \
    "$work/dist/datamaint.exe" || fail "datamaint.exe has no version strings in block 080404b0"
version_string FileDescription 数据维护
version_string FileVersion 1.00
version_string ProductVersion 1.00
LC_ALL=C grep -qaP "$(utf16 Translation)\\x00\\x00(\\x00\\x00)?\\x04\\x08\\xb0\\x04" "$work/dist/datamaint.exe" \
    || fail "datamaint.exe's version resource is not for Chinese (PRC), Unicode"
echo "smoke: datamaint.exe says 数据维护 1.00 in Chinese (block 080404b0)"
manifest=$(LC_ALL=C grep -aoPz '(?s)<assembly\b.*?</assembly>' "$work/dist/datamaint.exe" | tr -d '\0') \
    || fail "datamaint.exe has no manifest"
grep -qE '<longPathAware[^>]*>true</longPathAware>' <<<"$manifest" || fail "the manifest is not longPathAware"
grep -qE '<dpiAwareness[^>]*>PerMonitorV2</dpiAwareness>' <<<"$manifest" || fail "the manifest is not PerMonitorV2"
echo "smoke: datamaint.exe's manifest asks for long paths and per-monitor DPI (v2)"

# --- the program, as an operator meets it ------------------------------------------------------------------------

# A prefix made in another locale keeps that code page: the Chinese paths below would then be a different test.
timeout 60 "$wine" reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP 2>/dev/null | grep -qw 936 \
    || fail "the Wine prefix does not use code page 936"
app=$WINEPREFIX/drive_c/账务系统
dir='C:\账务系统'
rm -rf "$app"
mkdir -p "$app/其他" "$app/转存"
cp "$work/dist/datamaint.exe" "$app/"
head -c 300000 /dev/urandom >"$work/data1"
cp "$work/data1" "$app/data1.vzd"
head -c 5000 /dev/urandom >"$app/其他/x.ZIP"
head -c 70000 /dev/urandom >"$app/转存/旧账.ZIP"
echo "smoke: installed in $dir, code page 936"

# The program's own windows that are on screen (a file dialog has no title, so go by the program's class).
visible() { xdotool search --onlyvisible --class '^datamaint\.exe$' 2>/dev/null || true; }
# Waits for a window with this title and a width that tells it apart (a message box has the menu's title too).
window() {
    local title=$1 width=$2 id
    for _ in $(seq 100); do
        for id in $(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null); do
            if xdotool getwindowgeometry "$id" 2>/dev/null | grep -q "Geometry: ${width}x"; then
                echo "$id"
                return
            fi
        done
        sleep 0.2
    done
    fail "no window \"$title\" ${width} pixels wide"
}
# A window takes about two seconds to go under Wine.
gone() { for _ in $(seq 100); do xdotool getwindowname "$1" >/dev/null 2>&1 || return 0; sleep 0.2; done; fail "$2 stayed"; }
# A new window: a visible one of the program that is none of those named. A copy that takes longer than 300 ms
# shows its progress first, and even a small one may on a slow disk; that window is not the one looked for.
box() {
    local id
    for _ in $(seq 100); do
        for id in $(visible); do
            case " $* " in *" $id "*) continue ;; esac
            [ "$(xdotool getwindowname "$id" 2>/dev/null)" != 正在复制 ] || continue
            echo "$id"
            return
        done
        sleep 0.2
    done
    fail "no message box or dialog appeared"
}
quiet() { # WHAT WINDOW...: for three seconds no window but those named appears
    local what=$1 id
    shift
    for _ in $(seq 15); do
        for id in $(visible); do
            case " $* " in *" $id "*) continue ;; esac
            fail "$what, yet a window appeared: \"$(xdotool getwindowname "$id" 2>/dev/null)\""
        done
        sleep 0.2
    done
}
# Without a window manager the keyboard follows the pointer.
keys() {
    local id=$1
    shift
    timeout 5 xdotool mousemove --window "$id" 20 20 windowfocus --sync "$id" 2>/dev/null || true
    sleep 0.3
    xdotool key --delay 150 "$@"
}
typed() { # ID TEXT: types TEXT, Chinese too, into the window's focused box
    xdotool mousemove --window "$1" 20 20 2>/dev/null || true
    sleep 0.3
    xdotool type --delay 80 "$2"
}
alive() { kill -0 "$pid" 2>/dev/null || fail "the program ended: $*"; }
ended() { for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.2; done; fail "$1 left the process running"; }
start() {
    (cd "$app" && exec "$wine" "$dir\\datamaint.exe") >/dev/null 2>&1 &
    pid=$!
}
# What the keys put on the clipboard. It is emptied first, so an old copy never passes for a new one.
copied() {
    local id=$1 text=''
    shift
    xclip -selection clipboard -i -quiet </dev/null >/dev/null 2>&1 &
    clear=$!
    sleep 0.2
    keys "$id" "$@"
    for _ in $(seq 25); do
        text=$(timeout 5 xclip -o -selection clipboard 2>/dev/null) || text=''
        [ -n "$text" ] && break
        sleep 0.2
    done
    kill "$clear" 2>/dev/null || true
    clear=''
    [ -n "$text" ] || fail "nothing came to the clipboard from window $id"
    printf '%s' "$text"
}
# The focused box's text: Ctrl+A, Ctrl+C.
text_of() { copied "$1" ctrl+a ctrl+c; }
# The dialogs' name box is a plain Windows edit box, without Ctrl+A: Home, Shift+End selects its text. The dialog
# is given a moment to settle first: keys sent while it fills its list may go to the list. xdotool types a Chinese
# character by binding it to a spare key for a moment; Wine now and then reads the key after it is unbound and
# drops the character, so the text is read back and typed again over the selection when it came out short.
dialog_name() { # ID TEXT
    local got
    sleep 1
    for _ in 1 2 3; do
        typed "$1" "$2"
        got=$(copied "$1" Home shift+End ctrl+c)
        [ "$got" != "$2" ] || return 0
        echo "smoke: (the dialog's name box took \"$got\" for \"$2\"; typing it again)"
    done
    fail "the dialog's name box took \"$got\" for \"$2\" three times"
}
# Qt's message box copies its title, text and buttons with Ctrl+C, each between rules of dashes; Wine hands text to
# X with CR LF as LF.
rule=---------------------------
OK='确定   '
YESNO='是(&Y)   否(&N)   '
says() { # ID TITLE TEXT BUTTONS
    local got want
    want=$(printf '%s\n' "$rule" "$2" "$rule" "$3" "$rule" "$4" "$rule")
    got=$(copied "$1" ctrl+c)
    [ "$got" = "$want" ] || fail "expected a box saying \"$3\", it says:
$got"
}
acknowledge() { # ID TEXT: a report box of the program says TEXT, and Enter closes it
    says "$1" 数据维护 "$2" "$OK"
    keys "$1" Return
    gone "$1" "the report box"
}
# Changed pixels inside a text box (window coordinates, as WxH+X+Y) between two screenshots.
changed() {
    convert "$1" -crop "$3" +repage "$work/a.png" && convert "$2" -crop "$3" +repage "$work/b.png" \
        || fail "cannot cut $3 out of the screenshots"
    compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true
}
no_temp() { # a copy leaves no temporary file beside its target
    local d
    for d in "$@"; do
        ! compgen -G "$d/~datamaint.*.tmp" >/dev/null || fail "a temporary file was left: $(ls "$d"/~datamaint.*.tmp)"
    done
}
same_file() { # A B WHAT
    cmp -s "$1" "$2" || fail "$3"
}
stamp() { stat -c '%s %y' "$1"; }
shot() { timeout 20 import -window "$1" "$2" || fail "no screenshot of window $1 into $2"; }

start
menu=$(window 数据维护 402)
echo "smoke: menu $(xdotool getwindowgeometry "$menu" | grep -o 'Geometry: .*')"
sleep 1
shot "$menu" "$shots/menu-wine.png"
keys "$menu" Escape
quiet "Esc on the menu" "$menu"
alive "after Esc on the menu"
echo "smoke: Esc on the menu does nothing"

# --- backup ------------------------------------------------------------------------------------------------------

day=$(date +%Y年%m月%d日)
keys "$menu" Tab Return                                    # from "退出" to "数据备份"
backup=$(window 数据备份 470)
sleep 1
# Typed Latin text must be drawn inside the box; with a font that lacks it, only the caret changes (about 12
# pixels), with the text about 230.
drawn() { # WHAT CROP: End, a screenshot, abc2026 typed, another screenshot
    local what=$1 crop=$2 n
    keys "$backup" End
    sleep 1
    shot "$backup" "$work/before.png"
    typed "$backup" abc2026
    sleep 1
    shot "$backup" "$work/after.png"
    n=$(changed "$work/before.png" "$work/after.png" "$crop")
    [[ $n =~ ^[0-9]+$ ]] || fail "cannot compare the $what box: $n"
    if [ "$n" -lt 100 ]; then
        cp "$work/before.png" "$shots/$what-box-before-wine.png"
        cp "$work/after.png" "$shots/$what-box-after-wine.png"
        fail "abc2026 typed into the $what box changed only $n pixels there: the text is not drawn"
    fi
    echo "smoke: abc2026 typed into the $what box is drawn ($n pixels changed)"
}
keys "$backup" Tab Tab                                     # from "开始备份" past "取消" to the name box
name=$(text_of "$backup")
[ "$name" = "${day}备份" ] || [ "$name" = "$(date +%Y年%m月%d日)备份" ] || fail "the name box says \"$name\", not ${day}备份"
drawn name 276x20+118+60
keys "$backup" BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
[ "$(text_of "$backup")" = "$name" ] || fail "the name box does not say $name again"
keys "$backup" Tab                                         # to the folder box
[ "$(text_of "$backup")" = "$dir\\BACKUP" ] || fail "the folder box does not say $dir\\BACKUP"
drawn folder 276x20+118+108
cp "$work/after.png" "$shots/backup-wine.png"
keys "$backup" BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
[ "$(text_of "$backup")" = "$dir\\BACKUP" ] || fail "the folder box does not say $dir\\BACKUP again"
echo "smoke: the boxes say $name and $dir\\BACKUP, as they did before the typing"

# The first backup makes BACKUP; until then the folder box may not be left but for "取消".
keys "$backup" shift+Tab                                   # towards the name box
notice=$(box "$menu" "$backup")
says "$notice" 数据维护 "找不到路径:$dir\\BACKUP" "$OK"
keys "$notice" Return
gone "$notice" "the notice"
[ "$(text_of "$backup")" = "$dir\\BACKUP" ] || fail "the focus left the folder box of a missing folder"
echo "smoke: leaving the folder box while BACKUP is missing says 找不到路径:$dir\\BACKUP, the focus stays"
keys "$backup" alt+F4                                      # the close box; the menu keeps its focus
gone "$backup" "the backup window"
keys "$menu" Return
backup=$(window 数据备份 470)
keys "$backup" Return                                      # "开始备份" has the focus
report=$(box "$menu" "$backup")
acknowledge "$report" "备份成功"$'\n'"备份文件名:$dir\\BACKUP\\$name.ZIP"
same_file "$work/data1" "$app/BACKUP/$name.ZIP" "the backup differs from the data file"
[ "$(cd "$app/BACKUP" && ls)" = "$name.ZIP" ] || fail "BACKUP holds: $(cd "$app/BACKUP" && ls | tr '\n' ' ')"
echo "smoke: Enter on 开始备份 wrote BACKUP\\$name.ZIP, byte-identical, and said so"

# The file dialog starts in BACKUP: a name relative to it picks x.ZIP in a folder beside it.
keys "$backup" shift+Tab Return                            # round from "开始备份" to "浏览..."
chooser=$(box "$menu" "$backup")
dialog_name "$chooser" '..\其他\x.ZIP'
shot "$chooser" "$shots/file-dialog-wine.png"
keys "$chooser" Return
gone "$chooser" "the file dialog"
keys "$backup" shift+Tab                                   # from "浏览..." to the folder box
[ "$(text_of "$backup")" = "$dir\\其他" ] || fail "the folder box does not say $dir\\其他 after picking x.ZIP there"
echo "smoke: the file dialog starts in BACKUP; picking 其他\\x.ZIP puts $dir\\其他 into the folder box"
keys "$backup" Tab Return                                  # to "浏览..."
chooser=$(box "$menu" "$backup")
keys "$chooser" Escape
gone "$chooser" "the file dialog"
notice=$(box "$menu" "$backup")
says "$notice" 数据维护 请指定一个文件 "$OK"
keys "$notice" Return
gone "$notice" "the notice"
keys "$backup" shift+Tab
[ "$(text_of "$backup")" = "$dir\\其他" ] || fail "the cancelled file dialog changed the folder box"
echo "smoke: cancelling the file dialog says 请指定一个文件 and leaves the folder box alone"

other=$app/其他/$name.ZIP
keys "$backup" Tab Tab Return                              # from the folder box past "浏览..." round to "开始备份"
report=$(box "$menu" "$backup")
acknowledge "$report" "备份成功"$'\n'"备份文件名:$dir\\其他\\$name.ZIP"
same_file "$work/data1" "$other" "the backup in 其他 differs from the data file"
echo "smoke: the next backup went to 其他\\$name.ZIP, byte-identical"

# --- an existing backup ------------------------------------------------------------------------------------------

head -c 200000 /dev/urandom >"$work/data2"
cp "$work/data2" "$app/data1.vzd"
before=$(stamp "$other")
sleep 1                                                    # so that a rewritten file would show a later time
question() { # the overwrite question for the backup in 其他
    local id
    keys "$backup" Return                                  # "开始备份" has the focus again
    id=$(box "$menu" "$backup")
    says "$id" "" "目标文件$dir\\其他\\$name.ZIP已经存在,要覆盖吗 ?" "$YESNO"
    echo "$id"
}
unchanged() { # WHAT: the backup in 其他 is still the first data file, not rewritten
    same_file "$work/data1" "$other" "$1 changed the backup"
    [ "$(stamp "$other")" = "$before" ] || fail "$1 rewrote the backup"
    no_temp "$app/其他"
}
for answer in alt+n Escape; do
    ask=$(question)
    keys "$ask" "$answer"
    gone "$ask" "the question"
    quiet "the backup was declined with $answer" "$menu" "$backup"
    unchanged "declining with $answer"
    echo "smoke: the overwrite question answered 否 with $answer leaves the backup as it was, with no word"
done
ask=$(question)
keys "$ask" Return                                         # "是" is the default
gone "$ask" "the question"
report=$(box "$menu" "$backup")
acknowledge "$report" "备份成功"$'\n'"备份文件名:$dir\\其他\\$name.ZIP"
same_file "$work/data2" "$other" "the overwritten backup differs from the data file"
no_temp "$app/其他"
echo "smoke: answered 是, the backup is replaced by the data file's bytes"

# --- a data file that another program holds ----------------------------------------------------------------------

"$wine" "$holder" "$dir\\data1.vzd" >/dev/null 2>&1 &
hold=$!
# Wine's server keeps the descriptor of every file open in the prefix.
held() { [ -n "$(find /proc/[0-9]*/fd -lname "$app/data1.vzd" 2>/dev/null || true)" ]; }
for _ in $(seq 50); do
    held && break
    kill -0 "$hold" 2>/dev/null || fail "the holding program ended at once"
    sleep 0.2
done
held || fail "nothing holds data1.vzd open"
sleep 0.5
before=$(stamp "$other")
ask=$(question)
keys "$ask" alt+y
gone "$ask" "the question"
report=$(box "$menu" "$backup")
acknowledge "$report" "备份出错，请退出系统再进入一次进行备份"
same_file "$work/data2" "$other" "the failed backup changed the old one"
[ "$(stamp "$other")" = "$before" ] || fail "the failed backup rewrote the old one"
no_temp "$app/其他"
kill "$hold"
for _ in $(seq 50); do kill -0 "$hold" 2>/dev/null || break; sleep 0.2; done
kill -0 "$hold" 2>/dev/null && fail "the holding program does not end"
hold=''
same_file "$work/data2" "$app/data1.vzd" "the data file changed while it was held"
echo "smoke: with the data file held by another program the backup fails, says so, and leaves no trace"

# --- a long copy, stopped ----------------------------------------------------------------------------------------

# A sparse data file of 8 GiB copies for many seconds (Wine copies a few hundred MB a second here) and costs no
# disk until copied.
truncate -s 8G "$app/data1.vzd"
for stop in Return Escape; do                              # Enter on "取消", which has the focus, or Esc
    before=$(stamp "$other")
    ask=$(question)
    keys "$ask" Return
    gone "$ask" "the question"
    progress=$(window 正在复制 300)
    sleep 1
    [ "$stop" = Escape ] || shot "$progress" "$shots/progress-wine.png"
    compgen -G "$app/其他/~datamaint.*.tmp" >/dev/null || fail "the copy writes no temporary file beside its target"
    keys "$progress" "$stop"
    gone "$progress" "the progress window after $stop"
    quiet "the copy was stopped with $stop" "$menu" "$backup"
    same_file "$work/data2" "$other" "the stopped copy changed the old backup"
    [ "$(stamp "$other")" = "$before" ] || fail "the stopped copy rewrote the old backup"
    no_temp "$app/其他"
    echo "smoke: a long copy shows its progress; $stop stops it, with no word, the old backup kept, no temporary file"
done
cp "$work/data2" "$app/data1.vzd"
alive "after the stopped copies"
keys "$backup" Tab Return                                  # from "开始备份" to "取消"
gone "$backup" "the backup window"
alive "closing the backup window"
echo "smoke: 取消 closes the backup window, the menu stays"

# --- restore -----------------------------------------------------------------------------------------------------

head -c 1000 /dev/urandom >"$app/data1.vzd"                # so that the restore has something to undo
restore_window() {
    keys "$menu" Return                                    # "数据恢复" has the focus
    restore=$(window 恢复备份文件 496)
}
keys "$menu" Tab                                           # from "数据备份" to "数据恢复"
restore_window
restore_from() { # FOLDER (as the program writes it) FILE: 开始恢复, the question for FILE there, 是
    local ask report
    keys "$restore" Tab Tab Tab Tab Return                 # from "浏览..." to "开始恢复"; the first backup is selected
    ask=$(box "$menu" "$restore")
    says "$ask" "" "现在准备将备份文件$1\\$2恢复到现在帐套中 ,此帐套中的所有资料将被覆盖,要覆盖吗?" "$YESNO"
    keys "$ask" Return                                     # "是" is the default
    gone "$ask" "the question"
    report=$(box "$menu" "$restore")
    echo "$report"
}
report=$(restore_from "$dir\\BACKUP" "$name.ZIP")
acknowledge "$report" 恢复文件成功
gone "$restore" "the restore window"
same_file "$work/data1" "$app/data1.vzd" "the data file restored from BACKUP differs from the backup"
no_temp "$app"
echo "smoke: the restore window lists BACKUP\\$name.ZIP; 开始恢复 and 是 restore it byte for byte"

restore_window
keys "$restore" Return                                     # "浏览..." has the focus
chooser=$(box "$menu" "$restore")
keys "$chooser" Escape
gone "$chooser" "the folder dialog"
quiet "the folder dialog was cancelled" "$menu" "$restore"
keys "$restore" Tab                                        # to the folder box
[ "$(text_of "$restore")" = "$dir\\BACKUP" ] || fail "the cancelled folder dialog changed the folder box"
echo "smoke: cancelling the folder dialog changes nothing"
# The folder dialog starts at the folder shown: a name relative to BACKUP picks 转存 beside it.
keys "$restore" shift+Tab Return
chooser=$(box "$menu" "$restore")
dialog_name "$chooser" '..\转存'
keys "$chooser" Return
gone "$chooser" "the folder dialog"
keys "$restore" Tab
[ "$(text_of "$restore")" = "$dir\\转存" ] || fail "the folder box does not say $dir\\转存 after choosing it"
keys "$restore" shift+Tab                                  # back to "浏览..."
report=$(restore_from "$dir\\转存" 旧账.ZIP)
acknowledge "$report" 恢复文件成功
gone "$restore" "the restore window"
same_file "$app/转存/旧账.ZIP" "$app/data1.vzd" "the data file restored from 转存 differs from 旧账.ZIP"
no_temp "$app"
echo "smoke: the folder dialog starts at BACKUP; choosing 转存 lists 旧账.ZIP, which is restored byte for byte"

# On the Linux side a file without write bits is read-only for Wine.
cp "$app/data1.vzd" "$work/data3"
chmod a-w "$app/data1.vzd"
before=$(stamp "$app/data1.vzd")
restore_window
report=$(restore_from "$dir\\BACKUP" "$name.ZIP")
acknowledge "$report" 恢复文件失败
same_file "$work/data3" "$app/data1.vzd" "the failed restore changed the data file"
[ "$(stamp "$app/data1.vzd")" = "$before" ] || fail "the failed restore rewrote the data file"
no_temp "$app"
chmod u+w "$app/data1.vzd"
echo "smoke: a read-only data file makes the restore fail, say so and leave the file and no temporary file"
# After a failure the restore window comes back, the focus on "开始恢复", for another try.
[ "$(window 恢复备份文件 496)" = "$restore" ] || fail "another restore window came back"
keys "$restore" shift+Tab Return                           # from "开始恢复" to "取消"
gone "$restore" "the restore window"
echo "smoke: the restore window comes back after the failure; 取消 closes it"

# --- the end -----------------------------------------------------------------------------------------------------

for id in $(visible); do [ "$id" = "$menu" ] || fail "a window is left over: \"$(xdotool getwindowname "$id")\""; done
alive "after the restores"
keys "$menu" Tab Return                                    # from "数据恢复" round to "退出"
ended '"退出"'
echo "smoke: \"退出\" ended the program"

# The menu's close box (Alt+F4 is its command) ends the program as "退出" does.
start
menu=$(window 数据维护 402)
keys "$menu" alt+F4
ended "the close box"
pid=''
echo "smoke: the close box ended the program"
