#!/usr/bin/env python3
"""Writes the example coordinate files scene.crd and image.crd twice: once with "." as the
decimal separator (examples/decimal-point, for regional settings such as C.UTF-8 or
en_US.UTF-8) and once with "," (examples/decimal-comma, for settings such as ru_RU.UTF-8).
The program reads numbers only with the separator of the user's settings and never
converts one into the other, so each user takes the pair that matches; the two pairs hold
the same digits and so the same points.

A planar test field of 6 x 6 targets, 20 mm apart, listed column by column: each run of
6 consecutive lines is one grid column (x changes from column to column, y from row to
row). The image points come from a camera looking straight at the field, 5 pixels per
millimetre across the image and 1.0023 times as many down it (the pixel aspect ratio),
turned by 0.4 degrees, with a little barrel distortion and about 0.05 pixels of
measurement noise. The output is the same on every run (fixed random seed).
"""
import math
import os
import random

COLUMNS = 6
ROWS = 6
STEP_MM = 20.0
SCALE_PX_PER_MM = 5.0
ASPECT = 1.0023
ROTATION_DEG = 0.4
DISTORTION = -0.002  # radial, per (300 px)^2
CENTRE = (360.0, 288.0)  # a 720 x 576 image
NOISE_PX = 0.05
SEED = 2003


# The folder under examples/ for each decimal separator.
FOLDERS = {".": "decimal-point", ",": "decimal-comma"}


def number(value, decimals):
    """A number with "." as the decimal separator, without trailing zeros."""
    text = f"{value:.{decimals}f}"
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    return "0" if text in ("-0", "") else text


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "examples")
    rng = random.Random(SEED)
    turn = math.radians(ROTATION_DEG)
    scene_lines, image_lines = [], []
    offset = (COLUMNS - 1) * STEP_MM / 2.0
    for i in range(COLUMNS):
        for j in range(ROWS):
            x = i * STEP_MM - offset
            y = j * STEP_MM - offset
            scene_lines.append(f"{number(x, 3)} ; {number(y, 3)}")
            u = SCALE_PX_PER_MM * x
            v = SCALE_PX_PER_MM * ASPECT * y
            u, v = u * math.cos(turn) - v * math.sin(turn), u * math.sin(turn) + v * math.cos(turn)
            factor = 1.0 + DISTORTION * (u * u + v * v) / (300.0 * 300.0)
            u = CENTRE[0] + u * factor + rng.gauss(0.0, NOISE_PX)
            v = CENTRE[1] + v * factor + rng.gauss(0.0, NOISE_PX)
            image_lines.append(f"{number(u, 3)} ; {number(v, 3)}")
    for separator, folder in FOLDERS.items():
        os.makedirs(os.path.join(root, folder), exist_ok=True)
        for name, lines in (("scene.crd", scene_lines), ("image.crd", image_lines)):
            text = "".join(line.replace(".", separator) + "\r\n" for line in lines)
            with open(os.path.join(root, folder, name), "wb") as out:
                out.write(text.encode("cp1251"))


if __name__ == "__main__":
    main()
