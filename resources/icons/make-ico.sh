#!/bin/sh
# Regenerates the Windows icon files (needs ImageMagick): the 16 and 32 pixel images from their 16-colour XPM
# sources, which the windows show as well, and 48 and 256 pixel images with alpha for Explorer's larger views, drawn
# here after the same design. Run after editing an XPM or a drawing below.
set -e
cd "$(dirname "$0")"
big=$(mktemp -d)
trap 'rm -rf "$big"' EXIT
# Coordinates are on the XPM's 32-unit grid, scaled by 8 to 256 pixels.
draw() {
    convert -size 256x256 xc:none -draw "scale 8,8 stroke black stroke-width 0.9 $2" "$big/$1-256.png"
    convert "$big/$1-256.png" -filter Lanczos -resize 48x48 "$big/$1-48.png"
}
# A folder with a check mark.
draw window "fill #FFFF00 rectangle 3.5,7.5 13.5,14 fill #808000 rectangle 3.5,12.5 28.5,14.5
             fill #FFFF00 rectangle 3.5,14.5 28.5,28.5
             fill none stroke #008000 stroke-width 2.6 stroke-linejoin round polyline 11,18 15,24 26,13"
# A stack of disks: a cylinder whose top is light and whose sides are blue, lit from the left.
draw menu "fill #0000FF rectangle 5.5,8 26.5,27 fill #000080 rectangle 16,8 26.5,27
           fill none line 5.5,16 26.5,16 line 5.5,22 26.5,22
           fill #0000FF ellipse 16,27 10.5,2.5 0,180 fill #00FFFF ellipse 16,7.5 10.5,3 0,360"
for name in menu window; do
    convert "$name-16.xpm" "$name-32.xpm" -colors 16 "$big/$name-48.png" "$big/$name-256.png" "$name.ico"
done
