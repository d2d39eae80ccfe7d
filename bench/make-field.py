#!/usr/bin/env python3
"""Writes the input files of bench/compare.sh: a test field of COLUMNS x ROWS targets.

  make-field.py FOLDER [COLUMNS ROWS]

FOLDER/scene.crd holds the targets in millimetres, 2 mm apart with a printing error of about
0.001 mm; FOLDER/image.crd the same targets in pixels, seen by a camera looking straight at
the field, 5 pixels per millimetre across the image and 1.0023 times as many down it, turned
by 0.4 degrees, with a little barrel distortion and about 0.05 pixels of measurement noise.
Both list the grid column by column (each run of ROWS lines is one grid column), one
"x ; y" line each, the values with 15 significant digits and "." as the decimal separator,
Windows-1251 with CR LF, like the files of examples/. The output is the same on every run
(fixed random seed); 1000 x 1000 gives two files of about 37 MB.
"""
import math
import os
import random
import sys

STEP_MM = 2.0
PRINT_NOISE_MM = 0.001
SCALE_PX_PER_MM = 5.0
ASPECT = 1.0023
ROTATION_DEG = 0.4
DISTORTION = -0.002  # radial, relative, at the corner of the field
NOISE_PX = 0.05
SEED = 2003


def number(value):
    """15 significant digits, no exponent for the values of these files."""
    return f"{value:.15g}"


def main():
    folder = sys.argv[1]
    columns = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    rows = int(sys.argv[3]) if len(sys.argv) > 3 else columns
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(SEED)
    turn = math.radians(ROTATION_DEG)
    cos_t, sin_t = math.cos(turn), math.sin(turn)
    half_x = (columns - 1) * STEP_MM / 2.0
    half_y = (rows - 1) * STEP_MM / 2.0
    corner = SCALE_PX_PER_MM * SCALE_PX_PER_MM * (half_x * half_x + half_y * half_y)
    centre_u = SCALE_PX_PER_MM * half_x * 1.1
    centre_v = SCALE_PX_PER_MM * half_y * 1.1
    scene, image = [], []
    for i in range(columns):
        for j in range(rows):
            x = i * STEP_MM - half_x + rng.gauss(0.0, PRINT_NOISE_MM)
            y = j * STEP_MM - half_y + rng.gauss(0.0, PRINT_NOISE_MM)
            scene.append(f"{number(x)} ; {number(y)}\r\n")
            u = SCALE_PX_PER_MM * x
            v = SCALE_PX_PER_MM * ASPECT * y
            u, v = u * cos_t - v * sin_t, u * sin_t + v * cos_t
            factor = 1.0 + DISTORTION * (u * u + v * v) / corner
            u = centre_u + u * factor + rng.gauss(0.0, NOISE_PX)
            v = centre_v + v * factor + rng.gauss(0.0, NOISE_PX)
            image.append(f"{number(u)} ; {number(v)}\r\n")
    for name, lines in (("scene.crd", scene), ("image.crd", image)):
        with open(os.path.join(folder, name), "wb") as out:
            out.write("".join(lines).encode("cp1251"))


if __name__ == "__main__":
    main()
