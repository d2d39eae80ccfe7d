#!/usr/bin/env python3
"""Works out, independently of the program, what calibrating two coordinate files gives:
the scale ratio |b / a| at every interior node from central differences, their mean (the
coefficient) and their standard deviation, each printed with four decimals.

Usage: scripts/example-coefficient.py [scene.crd image.crd [columns rows]]
(defaults: the bundled example in examples/decimal-point, 6 x 6). The numbers may use "."
or "," as the decimal separator (this check reads both; the program reads only its own).
"""
import math
import os
import sys


def read_points(path):
    points = []
    with open(path, "rb") as f:
        for line in f.read().decode("cp1251").splitlines():
            x, y = line.split(";", 1)
            points.append((float(x.replace(",", ".")), float(y.replace(",", "."))))
    return points


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    args = sys.argv[1:]
    scene_path = args[0] if args else os.path.join(here, "..", "examples", "decimal-point", "scene.crd")
    image_path = args[1] if len(args) > 1 else os.path.join(here, "..", "examples", "decimal-point", "image.crd")
    columns = int(args[2]) if len(args) > 2 else 6
    rows = int(args[3]) if len(args) > 3 else 6
    scene, image = read_points(scene_path), read_points(image_path)
    assert len(scene) == len(image) == columns * rows, "wrong number of points"

    def node(points, i, j):
        return points[i * rows + j]

    ratios = []
    for j in range(1, rows - 1):
        for i in range(1, columns - 1):
            a = (node(image, i + 1, j)[0] - node(image, i - 1, j)[0]) / (
                node(scene, i + 1, j)[0] - node(scene, i - 1, j)[0])
            b = (node(image, i, j + 1)[1] - node(image, i, j - 1)[1]) / (
                node(scene, i, j + 1)[1] - node(scene, i, j - 1)[1])
            ratios.append(abs(b / a))
    mean = sum(ratios) / len(ratios)
    sd = math.sqrt(sum((r - mean) ** 2 for r in ratios) / (len(ratios) - 1)) if len(ratios) > 1 else 0.0
    for r in ratios:
        print(f"{r:.4f}")
    print(f"mean {mean:.4f}")
    print(f"sd {sd:.4f}")
    print(f"mean (full) {mean!r}")


if __name__ == "__main__":
    main()
