#!/usr/bin/env python3
"""Photographs of a planar test field for bench/field-compare.sh, and OpenCV's answer.

  field-views.py make FOLDER TRIALS     writes FOLDER/tNN/scene.crd, image1.crd .. image3.crd
  field-views.py opencv FOLDER TRIALS   prints "tNN <fy/fx>" from cv2.calibrateCamera

The field has 11 x 9 targets 20 mm apart, listed column by column like the files of
examples/ ("x ; y", 15 significant digits, "." as the separator, Windows-1251, CR LF). A
pinhole camera of fx = 1000, fy = 1003.5 px (fy/fx = 1.0035), principal point at the centre
of a 720 x 576 image, no distortion, photographs it three times: tilted by 15 degrees about
the vertical axis (and 5 about the horizontal one), by 18 about the horizontal one, and by
-12 about both, with 0.05 px of measurement noise (fixed seeds: the same files every time).

The OpenCV side is calibrateCamera as a user would call it on these views: the principal
point fixed at the image centre, no tangential distortion, k1 .. k6 fixed at 0, started
from fx = fy = 1000 (CALIB_USE_INTRINSIC_GUESS, needed to fix the principal point).
"""
import math
import os
import random
import sys

FX, FY = 1000.0, 1003.5
WIDTH, HEIGHT = 720, 576
NC, NR, STEP = 11, 9, 20.0
NOISE_PX = 0.05
POSES = [(15.0, 5.0, 1.0), (-5.0, 18.0, -2.0), (-12.0, -12.0, 4.0)]  # vertical, horizontal, roll


def rotation(v_deg, h_deg, roll_deg):
    v, h, q = (math.radians(a) for a in (v_deg, h_deg, roll_deg))
    rz = [[math.cos(q), -math.sin(q), 0], [math.sin(q), math.cos(q), 0], [0, 0, 1]]
    ry = [[math.cos(v), 0, math.sin(v)], [0, 1, 0], [-math.sin(v), 0, math.cos(v)]]
    rx = [[1, 0, 0], [0, math.cos(h), -math.sin(h)], [0, math.sin(h), math.cos(h)]]
    flip = [[1, 0, 0], [0, -1, 0], [0, 0, -1]]

    def mul(a, b):
        return [[sum(a[r][k] * b[k][c] for k in range(3)) for c in range(3)] for r in range(3)]

    return mul(rx, mul(ry, mul(rz, flip)))


def write(path, points):
    with open(path, "wb") as f:
        for x, y in points:
            f.write(f"{x:.15g} ; {y:.15g}\r\n".encode("cp1251"))


def make(folder, trials):
    distance = FX * (NC - 1) * STEP / (0.7 * WIDTH)
    scene = [((i - (NC - 1) / 2) * STEP, (j - (NR - 1) / 2) * STEP)
             for i in range(NC) for j in range(NR)]
    for t in range(trials):
        out = os.path.join(folder, f"t{t:02d}")
        os.makedirs(out, exist_ok=True)
        write(os.path.join(out, "scene.crd"), scene)
        for v, pose in enumerate(POSES):
            rng = random.Random(1000 * t + v)
            r = rotation(*pose)
            image = []
            for x, y in scene:
                p = [r[k][0] * x + r[k][1] * y for k in range(3)]
                p[2] += distance
                image.append((FX * p[0] / p[2] + WIDTH / 2 + rng.gauss(0.0, NOISE_PX),
                              FY * p[1] / p[2] + HEIGHT / 2 + rng.gauss(0.0, NOISE_PX)))
            write(os.path.join(out, f"image{v + 1}.crd"), image)


def opencv(folder, trials):
    import cv2
    import numpy as np

    def load(path):
        return np.loadtxt(path, delimiter=";", encoding="cp1251")

    flags = (cv2.CALIB_USE_INTRINSIC_GUESS | cv2.CALIB_FIX_PRINCIPAL_POINT |
             cv2.CALIB_ZERO_TANGENT_DIST | cv2.CALIB_FIX_K1 | cv2.CALIB_FIX_K2 |
             cv2.CALIB_FIX_K3 | cv2.CALIB_FIX_K4 | cv2.CALIB_FIX_K5 | cv2.CALIB_FIX_K6)
    for t in range(trials):
        out = os.path.join(folder, f"t{t:02d}")
        scene = load(os.path.join(out, "scene.crd"))
        obj = np.hstack([scene, np.zeros((len(scene), 1))]).astype(np.float32)
        objects, images = [], []
        for v in range(len(POSES)):
            objects.append(obj)
            images.append(load(os.path.join(out, f"image{v + 1}.crd")).astype(np.float32))
        k = np.array([[1000.0, 0, WIDTH / 2], [0, 1000.0, HEIGHT / 2], [0, 0, 1]])
        dist = np.zeros(5)
        _, k, dist, _, _ = cv2.calibrateCamera(objects, images, (WIDTH, HEIGHT), k, dist,
                                               flags=flags)
        print(f"t{t:02d} {k[1, 1] / k[0, 0]:.10f}")


def main():
    command, folder, trials = sys.argv[1], sys.argv[2], int(sys.argv[3])
    if command == "make":
        make(folder, trials)
    elif command == "opencv":
        opencv(folder, trials)
    else:
        sys.exit(f"unknown command {command}")


if __name__ == "__main__":
    main()
