#!/bin/sh
# Regenerates the Windows icon files from their XPM sources (needs ImageMagick); run after editing an XPM.
set -e
cd "$(dirname "$0")"
for name in menu window; do
    convert "$name-32.xpm" "$name-16.xpm" -colors 16 "$name.ico"
done
