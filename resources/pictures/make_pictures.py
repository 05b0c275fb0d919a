#!/usr/bin/env python3
"""Writes the toolbar and panel pictures of keyhaven as SVG pairs.

Each button has two pictures named after the button: <button>_on.svg, shown
while the pointer is over the button, and <button>_off.svg, its normal look.
Both are drawn from one glyph; the OFF picture uses the same shapes in quiet,
nearly grey colours, the ON picture full colours and a soft halo, so the pair
lines up exactly when the button swaps them.

Run from anywhere: python3 resources/pictures/make_pictures.py
The written files are committed; run the script again after changing a glyph.
"""

import colorsys
import os

HERE = os.path.dirname(os.path.abspath(__file__))

# Colours of the ON pictures. OFF pictures derive theirs (see quiet()).
ON = {
    "folder": "#f3b53f", "folderDark": "#b9801a", "folderLight": "#ffd97a",
    "paper": "#ffffff", "paperEdge": "#7d8ba0", "ink": "#4a5a70",
    "green": "#2f9e48", "red": "#d8413b", "blue": "#2f6fce", "blueLight": "#8fc0ff",
    "gold": "#e5a823", "goldDark": "#9c6a0c", "steel": "#7b8794", "steelDark": "#46505c",
    "wood": "#a8692d", "woodDark": "#6e4117", "navy": "#1f3f7a", "sea": "#2c9bd6",
    "land": "#4fae4f", "white": "#ffffff", "pink": "#ff8fb6", "sand": "#e8c872",
}


def quiet(colour):
    """The OFF version of a colour: mostly grey, a trace of its hue kept."""
    r, g, b = (int(colour[i:i + 2], 16) / 255 for i in (1, 3, 5))
    h, l, s = colorsys.rgb_to_hls(r, g, b)
    s *= 0.18
    l = 0.35 + l * 0.55  # lighter and flatter
    r, g, b = colorsys.hls_to_rgb(h, l, s)
    return "#%02x%02x%02x" % tuple(round(v * 255) for v in (r, g, b))


OFF = {k: (v if k in ("paper", "white") else quiet(v)) for k, v in ON.items()}


# ---- glyph parts -------------------------------------------------------------
# Every part takes the palette and returns SVG elements on a 32 x 32 grid.

def folder(c, open_=False):
    back = (f'<path d="M3 9 a2 2 0 0 1 2-2 h7 l3 3 h12 a2 2 0 0 1 2 2 v13 a2 2 0 0 1-2 2 h-22 a2 2 0 0 1-2-2z" '
            f'fill="{c["folderDark"]}"/>')
    if open_:
        front = (f'<path d="M6.5 14 h23 a1.2 1.2 0 0 1 1.1 1.6 l-3.6 10.2 a2 2 0 0 1-1.9 1.2 h-20.6 '
                 f'a1.2 1.2 0 0 1-1.1-1.6 l3.3-10.2 a2 2 0 0 1 1.8-1.2z" fill="{c["folder"]}"/>'
                 f'<path d="M7 15.4 h22" stroke="{c["folderLight"]}" stroke-width="1.2" stroke-linecap="round"/>')
    else:
        front = (f'<rect x="3" y="12" width="26" height="15" rx="2" fill="{c["folder"]}"/>'
                 f'<path d="M4.5 13.6 h23" stroke="{c["folderLight"]}" stroke-width="1.2" stroke-linecap="round"/>')
    return back + front


def badge_plus(c, x=24, y=24):
    return (f'<circle cx="{x}" cy="{y}" r="6.2" fill="{c["green"]}" stroke="#ffffff" stroke-width="1.4"/>'
            f'<path d="M{x-3.3} {y} h6.6 M{x} {y-3.3} v6.6" stroke="#ffffff" stroke-width="2.2" stroke-linecap="round"/>')


def badge_cross(c, x=24, y=24):
    return (f'<circle cx="{x}" cy="{y}" r="6.2" fill="{c["red"]}" stroke="#ffffff" stroke-width="1.4"/>'
            f'<path d="M{x-2.6} {y-2.6} l5.2 5.2 M{x+2.6} {y-2.6} l-5.2 5.2" stroke="#ffffff" '
            f'stroke-width="2.2" stroke-linecap="round"/>')


def pencil(c, dx=0, dy=0):
    return (f'<g transform="translate({dx} {dy}) rotate(45 24 20)">'
            f'<rect x="21.5" y="10" width="5" height="14" rx="0.8" fill="{c["blue"]}"/>'
            f'<rect x="21.5" y="10" width="5" height="3" rx="0.8" fill="{c["pink"]}"/>'
            f'<path d="M21.5 24 h5 l-2.5 5z" fill="{c["sand"]}"/>'
            f'<path d="M23.2 27.4 h1.6 l-0.8 1.6z" fill="{c["steelDark"]}"/>'
            f'<path d="M24 13 v11" stroke="{c["blueLight"]}" stroke-width="1"/>'
            f'</g>')


def key(c, dx=0, dy=0, scale=1.0):
    return (f'<g transform="translate({dx} {dy}) scale({scale})">'
            f'<circle cx="10" cy="12" r="7" fill="{c["gold"]}" stroke="{c["goldDark"]}" stroke-width="1.3"/>'
            f'<circle cx="8.2" cy="10.2" r="2.1" fill="#ffffff" stroke="{c["goldDark"]}" stroke-width="1"/>'
            f'<path d="M15 16.5 l11 11 v-0.2 M21 22.5 l2.6-2.6 M24 25.5 l2.6-2.6" stroke="{c["goldDark"]}" '
            f'stroke-width="4.6" stroke-linecap="round" stroke-linejoin="round"/>'
            f'<path d="M15 16.5 l11 11 M21 22.5 l2.6-2.6 M24 25.5 l2.6-2.6" stroke="{c["gold"]}" '
            f'stroke-width="2.4" stroke-linecap="round" stroke-linejoin="round"/>'
            f'</g>')


def database(c):
    body = (f'<path d="M6 8 v16 c0 2.5 4.5 4.5 10 4.5 s10-2 10-4.5 v-16z" fill="{c["blue"]}"/>'
            f'<ellipse cx="16" cy="8" rx="10" ry="4.5" fill="{c["blueLight"]}" stroke="{c["blue"]}" stroke-width="1"/>'
            f'<path d="M6 14 c0 2.5 4.5 4.5 10 4.5 s10-2 10-4.5 M6 20 c0 2.5 4.5 4.5 10 4.5 s10-2 10-4.5" '
            f'fill="none" stroke="{c["blueLight"]}" stroke-width="1.2"/>')
    return body


def gear(c):
    teeth = "".join(
        f'<rect x="14" y="2.5" width="4" height="6" rx="1" fill="{c["steel"]}" transform="rotate({a} 16 16)"/>'
        for a in range(0, 360, 45))
    return (teeth + f'<circle cx="16" cy="16" r="10" fill="{c["steel"]}"/>'
            f'<circle cx="16" cy="16" r="10" fill="none" stroke="{c["steelDark"]}" stroke-width="1"/>'
            f'<circle cx="16" cy="16" r="4.2" fill="#ffffff" stroke="{c["steelDark"]}" stroke-width="1.3"/>'
            f'<circle cx="16" cy="16" r="7" fill="none" stroke="{c["blueLight"]}" stroke-width="1.2" opacity="0.8"/>')


def printer(c):
    return (f'<rect x="9" y="3.5" width="14" height="10" fill="{c["paper"]}" stroke="{c["paperEdge"]}" stroke-width="1"/>'
            f'<path d="M11.5 7 h9 M11.5 10 h6" stroke="{c["ink"]}" stroke-width="1.2"/>'
            f'<rect x="3.5" y="12" width="25" height="11" rx="2.5" fill="{c["steel"]}" stroke="{c["steelDark"]}" stroke-width="1"/>'
            f'<circle cx="24.5" cy="15.5" r="1.2" fill="{c["green"]}"/>'
            f'<rect x="8.5" y="19" width="15" height="9.5" fill="{c["paper"]}" stroke="{c["paperEdge"]}" stroke-width="1"/>'
            f'<path d="M11 22 h10 M11 25 h7" stroke="{c["blue"]}" stroke-width="1.2"/>')


def magnifier(c):
    return (f'<path d="M19.5 19.5 l8 8" stroke="{c["woodDark"]}" stroke-width="5" stroke-linecap="round"/>'
            f'<path d="M19.5 19.5 l8 8" stroke="{c["wood"]}" stroke-width="3" stroke-linecap="round"/>'
            f'<circle cx="13" cy="13" r="9" fill="{c["blueLight"]}" fill-opacity="0.55" stroke="{c["steelDark"]}" stroke-width="2.4"/>'
            f'<path d="M8.5 10.5 a5.5 5.5 0 0 1 5-4" fill="none" stroke="#ffffff" stroke-width="1.8" stroke-linecap="round"/>')


def logbook(c):
    lines = "".join(f'<path d="M11 {y} h13" stroke="{c["ink"]}" stroke-width="1.2"/>' for y in (10, 14, 18, 22))
    marks = (f'<path d="M25.5 9.4 l1 1 2-2.2" fill="none" stroke="{c["green"]}" stroke-width="1.4"/>'
             f'<path d="M25.5 17.2 l2.4 2.4 M27.9 17.2 l-2.4 2.4" stroke="{c["red"]}" stroke-width="1.4"/>')
    return (f'<rect x="5" y="3.5" width="24" height="25" rx="2" fill="{c["paper"]}" stroke="{c["paperEdge"]}" stroke-width="1.2"/>'
            f'<rect x="5" y="3.5" width="4" height="25" rx="1.5" fill="{c["navy"]}"/>'
            + lines + marks)


def hourglass(c):
    return (f'<path d="M8 3.5 h16 M8 28.5 h16" stroke="{c["woodDark"]}" stroke-width="2.6" stroke-linecap="round"/>'
            f'<path d="M10 5 h12 c0 6-5 8-5 11 s5 5 5 11 h-12 c0-6 5-8 5-11 s-5-5-5-11z" fill="{c["blueLight"]}" '
            f'fill-opacity="0.45" stroke="{c["steelDark"]}" stroke-width="1.3"/>'
            f'<path d="M12.3 9 h7.4 c-1 2.4-3.7 3.6-3.7 5.8 c0-2.2-2.7-3.4-3.7-5.8z" fill="{c["sand"]}"/>'
            f'<path d="M11.2 26.2 c0.6-3 3.6-4.2 4.8-5.6 c1.2 1.4 4.2 2.6 4.8 5.6z" fill="{c["sand"]}"/>'
            f'<path d="M16 15 v5.5" stroke="{c["sand"]}" stroke-width="0.9"/>'
            f'<circle cx="25" cy="24" r="5.4" fill="{c["red"]}" stroke="#ffffff" stroke-width="1.3"/>'
            f'<path d="M25 21 v3.4 l2 1.3" fill="none" stroke="#ffffff" stroke-width="1.5" stroke-linecap="round"/>')


def door(c):
    return (f'<rect x="5" y="3.5" width="15" height="25" rx="1" fill="{c["woodDark"]}"/>'
            f'<path d="M5 3.5 l10 3 v25 l-10-3z" fill="{c["wood"]}"/>'
            f'<circle cx="12.5" cy="17" r="1.2" fill="{c["gold"]}"/>'
            f'<path d="M18 16 h10 m-4 -4 l4 4 -4 4" fill="none" stroke="{c["red"]}" stroke-width="2.8" '
            f'stroke-linecap="round" stroke-linejoin="round"/>')


def wand(c):
    sparkle = lambda x, y, r: (f'<path d="M{x} {y-r} L{x+r*0.28} {y-r*0.28} L{x+r} {y} L{x+r*0.28} {y+r*0.28} '
                               f'L{x} {y+r} L{x-r*0.28} {y+r*0.28} L{x-r} {y} L{x-r*0.28} {y-r*0.28}z" fill="{c["gold"]}"/>')
    return (f'<path d="M5 27 l15-15" stroke="{c["navy"]}" stroke-width="4" stroke-linecap="round"/>'
            f'<path d="M17 15 l3-3" stroke="#ffffff" stroke-width="4" stroke-linecap="round"/>'
            + sparkle(23.5, 8.5, 6) + sparkle(13, 6, 3) + sparkle(27, 19, 3)
            + f'<text x="4" y="14" font-family="sans-serif" font-weight="bold" font-size="7" fill="{c["blue"]}">***</text>')


def globe(c):
    return (f'<circle cx="14" cy="15" r="11" fill="{c["sea"]}" stroke="{c["navy"]}" stroke-width="1.2"/>'
            f'<path d="M7 9 c3 1 5 0 6 2 s-2 4 0 5 4 2 3 5 -3 3-4 5 c-3-1-6-4-7-8 s1-6 2-9z" fill="{c["land"]}"/>'
            f'<path d="M17 5 c2 2 5 2 6 5 s-2 3-3 2 -3-3-3-7z" fill="{c["land"]}"/>'
            f'<ellipse cx="14" cy="15" rx="4.5" ry="11" fill="none" stroke="#ffffff" stroke-width="0.7" opacity="0.7"/>'
            f'<path d="M3 15 h22" stroke="#ffffff" stroke-width="0.7" opacity="0.7"/>'
            f'<path d="M20 23 h9 m-3.5-3.5 l3.5 3.5 -3.5 3.5" fill="none" stroke="{c["green"]}" stroke-width="2.8" '
            f'stroke-linecap="round" stroke-linejoin="round"/>')


def floppy(c):
    return (f'<path d="M4 5 a1.5 1.5 0 0 1 1.5-1.5 h18 l4.5 4.5 v19.5 a1.5 1.5 0 0 1-1.5 1.5 h-21 '
            f'a1.5 1.5 0 0 1-1.5-1.5z" fill="{c["navy"]}"/>'
            f'<rect x="9" y="3.5" width="13" height="8" fill="{c["steel"]}"/>'
            f'<rect x="17.5" y="4.8" width="2.8" height="5.4" fill="{c["navy"]}"/>'
            f'<rect x="7.5" y="16" width="17" height="12.5" rx="1" fill="{c["paper"]}"/>'
            f'<path d="M10 20 h12 M10 24 h9" stroke="{c["red"]}" stroke-width="1.1"/>')


def document_new(c):
    return (database(c) +
            f'<path d="M25 1.5 l1.3 3.6 3.7 1.3 -3.7 1.3 -1.3 3.7 -1.3-3.7 -3.7-1.3 3.7-1.3z" fill="{c["gold"]}"/>' +
            badge_plus(c, 24.5, 24.5))


def open_folder(c):
    return (folder(c, open_=True) +
            f'<path d="M22 9 v-6 m-3 3 l3-3 3 3" fill="none" stroke="{c["green"]}" stroke-width="2.4" '
            f'stroke-linecap="round" stroke-linejoin="round"/>')


# The buttons: component name -> glyph.
GLYPHS = {
    "cmdAddGroup": lambda c: folder(c) + badge_plus(c),
    "cmdEditGroup": lambda c: folder(c) + pencil(c, -3, 2),
    "cmdDelGroup": lambda c: folder(c) + badge_cross(c),
    "cmdOpen": open_folder,
    "cmdNew": document_new,
    "cmdOptions": gear,
    "cmdReport": printer,
    "cmdFind": magnifier,
    "cmdLog": logbook,
    "cmdExpire": hourglass,
    "cmdExit": door,
    "cmdAdd": lambda c: key(c, -1, -1, 0.95) + badge_plus(c),
    "cmdEdit": lambda c: key(c, -1, -1, 0.95) + pencil(c, -3, 2),
    "cmdDelete": lambda c: key(c, -1, -1, 0.95) + badge_cross(c),
    "cmdPassword": wand,
    "cmdGo": globe,
    "cmdSaveMemo": floppy,
}


def svg(body, halo):
    glow = ('<defs><radialGradient id="halo" cx="0.5" cy="0.5" r="0.5"><stop offset="0" stop-color="#fff6c8" stop-opacity="0.95"/>'
            '<stop offset="1" stop-color="#fff6c8" stop-opacity="0"/></radialGradient></defs>'
            '<circle cx="16" cy="16" r="16" fill="url(#halo)"/>') if halo else ""
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">'
            + glow + body + '</svg>\n')


def main():
    for name, glyph in GLYPHS.items():
        for state, palette, halo in (("on", ON, True), ("off", OFF, False)):
            path = os.path.join(HERE, f"{name}_{state}.svg")
            with open(path, "w", encoding="utf-8") as f:
                f.write(svg(glyph(palette), halo))


if __name__ == "__main__":
    main()
