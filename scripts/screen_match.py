"""Where a picture appears pixel for pixel on a screenshot: the screen drivers' check.

As a program: screen_match.py SCREEN PICTURE prints "X Y" of the picture's top-left corner on the
screen and succeeds, or fails when it is not there."""
import sys

from PIL import Image


def find(screen, picture):
    """Top-left corner (x, y) where picture (RGB) appears pixel for pixel on screen (RGB), or None."""
    W, H = screen.size
    w, h = picture.size
    rows = [screen.crop((0, y, W, y + 1)).tobytes() for y in range(H)]
    wanted = [picture.crop((0, y, w, y + 1)).tobytes() for y in range(h)]
    for y in range(H - h + 1):
        start = 0
        while (i := rows[y].find(wanted[0], start)) >= 0:
            start = i + 1
            x = i // 3
            if i % 3 == 0 and all(rows[y + k][3 * x:3 * (x + w)] == wanted[k] for k in range(1, h)):
                return x, y
    return None


if __name__ == "__main__":
    at = find(Image.open(sys.argv[1]).convert("RGB"), Image.open(sys.argv[2]).convert("RGB"))
    if at is None:
        sys.exit(1)
    print(*at)
