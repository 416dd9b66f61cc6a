"""Draws the picture of fine detail that the previews are measured with (against
ImageMagick's own -resize): four sizes of text, fields of parallel 2-pixel lines 16 pixels
apart both ways, and a star of 3-pixel lines; 4000 x 3000, JPEG quality 90, drawn by
ImageMagick. The lines are rectangles and the star one path: a primitive of its own per
line takes ImageMagick a minute.

usage: detail_picture.py <out.jpg>"""

import math
import os
import subprocess
import sys
import tempfile

FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"  # fonts-dejavu-core


def drawing():
    mvg = ["viewbox 0 0 4000 3000", "fill white", "rectangle 0,0 4000,3000", "fill black",
           "stroke none", "font '%s'" % FONT]
    for i, size in enumerate((28, 20, 14, 10)):
        mvg.append("font-size %d" % size)
        for row in range(6):
            mvg.append("text 80,%d 'Previews keep every stroke of small text: Vistrel "
                       "0123456789 ABCDEFGHIJKLM'" % (80 + i * 260 + row * (size + 12)))
    for i in range(100):
        y, x = 1100 + i * 16, 2100 + i * 16
        mvg.append("rectangle 80,%d 1900,%d" % (y, y + 1))
        mvg.append("rectangle %d,80 %d,1000" % (x, x + 1))
    star = []
    for k in range(72):
        a = k * math.pi / 72
        c, s = math.cos(a), math.sin(a)
        nx, ny = -s * 1.5, c * 1.5
        corners = [(3000 - 950 * c + nx, 2000 - 950 * s + ny), (3000 + 950 * c + nx, 2000 + 950 * s + ny),
                   (3000 + 950 * c - nx, 2000 + 950 * s - ny), (3000 - 950 * c - nx, 2000 - 950 * s - ny)]
        star.append("M %.2f,%.2f L %.2f,%.2f L %.2f,%.2f L %.2f,%.2f Z" % sum(corners, ()))
    mvg.append("path '%s'" % " ".join(star))
    return "\n".join(mvg) + "\n"


def main():
    out = sys.argv[1]
    with tempfile.NamedTemporaryFile("w", suffix=".mvg", delete=False) as f:
        f.write(drawing())
    try:
        subprocess.run(["/usr/bin/convert", "-size", "4000x3000", "mvg:" + f.name, "-quality", "90", out],
                       check=True)
    finally:
        os.unlink(f.name)


if __name__ == "__main__":
    main()
