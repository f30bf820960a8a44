#!/usr/bin/env python3
"""Composes Quelvar's menu icon strip (res/MenuIcons.bmp) and About picture (res/About.bmp).

The pictures come from the Tango icon theme (public domain, Debian package tango-icon-theme).
The star that marks Quelvar's own folder and its favourites is drawn here, because Tango has
no star glyph. The output is deterministic: the same theme files always give the same bytes.

Usage: python3 res/icons/compose_icons.py [--tango DIR]
"""

import argparse
import math
import os
import sys

from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))
RES_DIR = os.path.dirname(HERE)
DEFAULT_TANGO = "/usr/share/icons/Tango"

CELL = 16
MAGENTA = (255, 0, 255)
WHITE = (255, 255, 255)
# Menus are drawn on a light background; half-transparent edge pixels are blended onto it so no
# magenta halo survives the colour-key transparency.
MENU_BACKDROP = (240, 240, 240)
ALPHA_CUTOFF = 128

# Tango palette colours used for the shapes drawn here.
BUTTER_LIGHT = (252, 233, 79, 255)
BUTTER_MID = (237, 212, 0, 255)
BUTTER_DARK = (196, 160, 0, 255)
CHAMELEON_LIGHT = (138, 226, 52, 255)
CHAMELEON_DARK = (78, 154, 6, 255)

SUPERSAMPLE = 8


class Theme:
    """Finds Tango icons by name and size, whatever their context folder."""

    def __init__(self, root):
        self.root = root

    def load(self, name, size):
        folder = os.path.join(self.root, "%dx%d" % (size, size))
        for context in sorted(os.listdir(folder)):
            path = os.path.join(folder, context, name + ".png")
            if os.path.isfile(path):
                with Image.open(path) as img:
                    return img.convert("RGBA")
        raise SystemExit("Tango icon %s (%dpx) not found under %s; install tango-icon-theme"
                         % (name, size, self.root))

    def at(self, name, size):
        """The theme's own bitmap when it has one of `size`, else the 32 px one reduced."""
        if os.path.isdir(os.path.join(self.root, "%dx%d" % (size, size))):
            return self.load(name, size)
        return self.scaled(name, size)

    def scaled(self, name, size):
        """An icon at an arbitrary size, reduced from the largest bitmap for the best detail."""
        img = self.load(name, 32)
        return downsample(img, size)


def downsample(img, size):
    # Resize with premultiplied alpha so transparent pixels do not bleed dark colour into edges.
    return img.convert("RGBa").resize((size, size), Image.LANCZOS).convert("RGBA")


def star(size):
    """A Tango-style five-pointed star, antialiased, filling a size x size box."""
    big = size * SUPERSAMPLE
    img = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    draw = ImageDraw.Draw(img)
    centre_x = big / 2.0
    centre_y = big * 0.54
    outer = big * 0.5
    inner = outer * 0.48

    def points(radius_outer, radius_inner):
        pts = []
        for i in range(10):
            radius = radius_outer if i % 2 == 0 else radius_inner
            angle = -math.pi / 2 + i * math.pi / 5
            pts.append((centre_x + radius * math.cos(angle), centre_y + radius * math.sin(angle)))
        return pts

    outline = max(SUPERSAMPLE, int(round(big * 0.09)))
    body = points(outer - outline * 1.7, inner - outline * 0.8)
    draw.polygon(points(outer, inner), fill=BUTTER_DARK)
    draw.polygon(body, fill=BUTTER_MID)
    # A lighter upper half gives the glossy look of the rest of the theme.
    gloss = Image.new("L", (big, big), 0)
    ImageDraw.Draw(gloss).polygon(body, fill=255)
    ImageDraw.Draw(gloss).rectangle((0, int(centre_y), big, big), fill=0)
    img.paste(BUTTER_LIGHT, (0, 0, big, big), gloss)
    return downsample(img, size)


def plus(size):
    """A green plus sign with a dark rim, for "add" actions."""
    big = size * SUPERSAMPLE
    img = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    draw = ImageDraw.Draw(img)
    arm = big * 0.36
    rim = big * 0.12
    mid = big / 2.0
    draw.rectangle((mid - arm / 2 - rim, 0, mid + arm / 2 + rim, big - 1), fill=CHAMELEON_DARK)
    draw.rectangle((0, mid - arm / 2 - rim, big - 1, mid + arm / 2 + rim), fill=CHAMELEON_DARK)
    draw.rectangle((mid - arm / 2, rim, mid + arm / 2, big - 1 - rim), fill=CHAMELEON_LIGHT)
    draw.rectangle((rim, mid - arm / 2, big - 1 - rim, mid + arm / 2), fill=CHAMELEON_LIGHT)
    return downsample(img, size)


def arrow(size):
    """A green arrow pointing right, rimmed so it stands out over a star."""
    big = size * SUPERSAMPLE
    img = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    draw = ImageDraw.Draw(img)

    def shape(shrink):
        top, bottom = big * 0.32 + shrink, big * 0.68 - shrink
        head = big * 0.45 + shrink * 0.4
        return [(shrink, top), (head, top), (head, shrink * 2.2), (big - 1 - shrink * 2.2, big / 2.0),
                (head, big - 1 - shrink * 2.2), (head, bottom), (shrink, bottom)]

    draw.polygon(shape(0), fill=CHAMELEON_DARK)
    draw.polygon(shape(big * 0.1), fill=CHAMELEON_LIGHT)
    return downsample(img, size)


def overlay(base, badge, x, y):
    out = base.copy()
    layer = Image.new("RGBA", out.size, (0, 0, 0, 0))
    layer.paste(badge, (x, y))
    return Image.alpha_composite(out, layer)


def star_folder(theme, size):
    """Quelvar's own picture: a folder carrying a star in its lower right corner."""
    badge = int(round(size * 0.66))
    return overlay(theme.at("folder", size), star(badge), size - badge, size - badge)


def part(size, sixteenths):
    """A length given for the 16 px cell, at `size`."""
    return int(round(sixteenths * size / float(CELL)))


def folder_plus(theme, size):
    badge = part(size, 9)
    return overlay(theme.at("folder", size), plus(badge), size - badge, size - badge)


def star_more(_theme, size):
    """A star with an arrow: the way into the rest of the favourites."""
    base = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    base = overlay(base, star(part(size, 13)), 0, 0)
    badge = part(size, 9)
    return overlay(base, arrow(badge), size - badge, size - badge)


def logo(theme, size):
    """The logo puts the star in front: a large star over a smaller folder."""
    base = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    inner = part(size, 12)
    base = overlay(base, theme.scaled("folder", inner), 0, 0)
    return overlay(base, star(inner), size - inner, size - inner)


def inset(name, sixteenths):
    """A Tango icon that fills its whole square, reduced so the menu sees its outline."""
    def make(theme, size):
        base = Image.new("RGBA", (size, size), (0, 0, 0, 0))
        inner = part(size, sixteenths)
        offset = (size - inner) // 2
        return overlay(base, theme.scaled(name, inner), offset, offset)
    return make


def big_star(_theme, size):
    return star(size)


def tango(name):
    return lambda theme, size: theme.at(name, size)


# Cell order is fixed: the menu code addresses the strip by these indices.
CELLS = [
    ("Quelvar logo", logo),
    ("Quelvar main entry", star_folder),
    ("add folder to favourites", folder_plus),
    ("My Pictures", inset("image-x-generic", 14)),
    ("My Music", tango("audio-x-generic")),
    ("browser favourites", big_star),
    ("Desktop", tango("user-desktop")),
    ("My Documents", tango("x-office-document")),
    ("clear history", tango("edit-clear")),
    ("move up", tango("go-up")),
    ("move down", tango("go-down")),
    ("Fonts", tango("font-x-generic")),
    ("folder", tango("folder")),
    ("open folder", tango("folder-open")),
    ("save", tango("document-save")),
    ("help manual", tango("help-browser")),
    ("options", tango("applications-system")),
    ("explore", tango("system-file-manager")),
    ("command prompt", tango("utilities-terminal")),
    ("copy path", tango("edit-copy")),
    ("advanced copy name", tango("edit-paste")),
    ("shell tools", tango("preferences-system")),
    ("history", tango("appointment-new")),
    ("more favourites", star_more),
    ("hash algorithms", tango("system-lock-screen")),
    ("close", tango("process-stop")),
]

# The small-icon sizes of 96, 120, 144 and 192 DPI: the menus and icon buttons
# take the strip of the size the display asks for and never scale at run time.
ALPHA_SIZES = (16, 20, 24, 32)


def flatten(img, key, backdrop):
    """Turns RGBA into RGB with a colour key: transparent pixels become `key`, the rest are
    blended onto `backdrop`; a visible pixel that happens to equal the key is nudged off it."""
    out = Image.new("RGB", img.size)
    src = img.load()
    dst = out.load()
    width, height = img.size
    for y in range(height):
        for x in range(width):
            r, g, b, a = src[x, y]
            if a < ALPHA_CUTOFF:
                dst[x, y] = key
                continue
            pixel = tuple((c * a + k * (255 - a) + 127) // 255 for c, k in zip((r, g, b), backdrop))
            if pixel == key:
                pixel = (pixel[0] - 1 if pixel[0] > 0 else 1,) + pixel[1:]
            dst[x, y] = pixel
    return out


def compose(theme_root, res_dir):
    theme = Theme(theme_root)
    strip = Image.new("RGB", (CELL * len(CELLS), CELL), MAGENTA)
    for index, (_meaning, make) in enumerate(CELLS):
        icon = make(theme, CELL)
        if icon.size != (CELL, CELL):
            raise SystemExit("cell %d has size %s" % (index, icon.size))
        strip.paste(flatten(icon, MAGENTA, MENU_BACKDROP), (index * CELL, 0))
    strip.save(os.path.join(res_dir, "MenuIcons.bmp"), "BMP")

    # The same pictures with their alpha channel (straight, not premultiplied),
    # for backgrounds other than the light menu: dark menus, high contrast.
    for size in ALPHA_SIZES:
        alpha_strip = Image.new("RGBA", (size * len(CELLS), size), (0, 0, 0, 0))
        for index, (_meaning, make) in enumerate(CELLS):
            icon = make(theme, size)
            if icon.size != (size, size):
                raise SystemExit("cell %d at %d px has size %s" % (index, size, icon.size))
            alpha_strip.paste(icon, (index * size, 0))
        alpha_strip.save(os.path.join(res_dir, "MenuIcons%d.bmp" % size), "BMP")

    about = flatten(star_folder(theme, 32), WHITE, WHITE)
    about.save(os.path.join(res_dir, "About.bmp"), "BMP")

    # Windows 11's first-level menu draws the entries itself and takes each icon as an icon
    # resource: one per cell, with alpha; Quelvar's own in the sizes of the larger DPIs as well.
    commands = os.path.join(res_dir, "icons", "commands")
    os.makedirs(commands, exist_ok=True)
    for index, (_meaning, make) in enumerate(CELLS):
        images = [make(theme)]
        if index == 1:
            images += [star_folder(theme, size) for size in (24, 32)]
        write_icon(os.path.join(commands, "%02d.ico" % index), images)

    # The logos of the package that gives Quelvar its identity on Windows 11.
    assets = os.path.join(os.path.dirname(res_dir), "package", "Assets")
    os.makedirs(assets, exist_ok=True)
    for name, size in (("Square44x44Logo", 44), ("Square150x150Logo", 150), ("StoreLogo", 50)):
        picture = Image.new("RGBA", (size, size), (0, 0, 0, 0))
        inner = int(size * 0.8)
        picture = overlay(picture, upscale(star_folder(theme, 32), inner), (size - inner) // 2,
                          (size - inner) // 2)
        picture.save(os.path.join(assets, name + ".png"), "PNG", optimize=False)


def upscale(img, size):
    return img.convert("RGBa").resize((size, size), Image.LANCZOS).convert("RGBA")


def write_icon(path, images):
    """An .ico of 32-bit bottom-up DIBs with alpha (no PNG inside), smallest first, written byte
    for byte here so the output does not depend on the imaging library's version."""
    import struct
    blobs = []
    for img in images:
        width, height = img.size
        pixels = img.load()
        xor = bytearray()
        for y in range(height - 1, -1, -1):
            for x in range(width):
                r, g, b, a = pixels[x, y]
                xor += bytes((b, g, r, a))
        row = ((width + 31) // 32) * 4
        mask = bytearray()
        for y in range(height - 1, -1, -1):
            bits = bytearray(row)
            for x in range(width):
                if pixels[x, y][3] < ALPHA_CUTOFF:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        blobs.append((width, height, header + bytes(xor) + bytes(mask)))
    out = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    for width, height, blob in blobs:
        out += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for _w, _h, blob in blobs:
        out += blob
    with open(path, "wb") as handle:
        handle.write(out)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tango", default=DEFAULT_TANGO, help="Tango icon theme folder")
    parser.add_argument("--out", default=RES_DIR, help="folder receiving the bitmaps")
    args = parser.parse_args(argv)
    compose(args.tango, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
