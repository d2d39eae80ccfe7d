#!/usr/bin/python3
"""What users run today to calibrate a camera from photographs of a chessboard: a Python
script with OpenCV, as its tutorials write it. For the photographs of a folder (all of
them, or those matching a pattern) and a board of NC x NR inner corners: cv2.imread in
grey, findChessboardCorners (adaptive threshold, normalised image), cornerSubPix (11 x 11
window, 30 iterations or 0.001 px), then calibrateCamera with its default model (fx, fy,
cx, cy, k1, k2, p1, p2, k3 free). The board points are (i * pitch, j * pitch, 0) in
OpenCV's order; any pitch gives the same fy/fx.

  calib_peer.py DIR NC NR [PATTERN]
prints one JSON object: photos, found, fx fy cx cy k1 k2 p1 p2 k3, ratio (fy/fx), rms_px,
seconds (from the first read to the camera).
"""
import glob
import json
import os
import sys
import time

import cv2
import numpy as np


def main():
    folder, columns, rows = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    pattern = sys.argv[4] if len(sys.argv) > 4 else "*"
    files = sorted(f for f in glob.glob(os.path.join(folder, pattern))
                   if f.lower().endswith((".jpg", ".jpeg", ".png", ".tif", ".tiff", ".bmp")))
    start = time.perf_counter()
    board = np.zeros((columns * rows, 3), np.float32)
    board[:, :2] = np.mgrid[0:columns, 0:rows].T.reshape(-1, 2)
    objects, images, size = [], [], None
    criteria = (cv2.TERM_CRITERIA_EPS + cv2.TERM_CRITERIA_MAX_ITER, 30, 0.001)
    for file in files:
        grey = cv2.imread(file, cv2.IMREAD_GRAYSCALE)
        if grey is None:
            continue
        size = grey.shape[::-1]
        found, corners = cv2.findChessboardCorners(
            grey, (columns, rows),
            flags=cv2.CALIB_CB_ADAPTIVE_THRESH + cv2.CALIB_CB_NORMALIZE_IMAGE)
        if not found:
            continue
        corners = cv2.cornerSubPix(grey, corners, (11, 11), (-1, -1), criteria)
        objects.append(board)
        images.append(corners)
    result = {"photos": len(files), "found": len(images)}
    if len(images) >= 3:
        rms, matrix, lens, _, _ = cv2.calibrateCamera(objects, images, size, None, None)
        lens = lens.ravel()
        result.update({
            "fx": matrix[0, 0], "fy": matrix[1, 1], "cx": matrix[0, 2], "cy": matrix[1, 2],
            "k1": lens[0], "k2": lens[1], "p1": lens[2], "p2": lens[3], "k3": lens[4],
            "ratio": matrix[1, 1] / matrix[0, 0], "rms_px": rms})
    result["seconds"] = time.perf_counter() - start
    print(json.dumps({k: float(v) if isinstance(v, np.floating) else v
                      for k, v in result.items()}))


if __name__ == "__main__":
    main()
