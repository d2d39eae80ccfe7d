#!/usr/bin/python3
"""The way targets are measured by hand today: a Python script with OpenCV, as its
tutorials write it. For every case of a folder written by `vrma_bench_detection write`:
cv2.imread in grey; a chessboard by findChessboardCorners (adaptive threshold, normalised
image) and cornerSubPix (11 x 11 window, 30 iterations or 0.001 px); dots by
findCirclesGrid (symmetric grid, OpenCV's default blob detector), tried again on the
inverted image when not found. The time runs from the read to the points. The points are
put in the calibration's order (columns along image x, rows along y) to be compared with
the truth.

  detect_peer.py DIR [REPEAT] [OURS]
prints "NAME rms_px median_ms" a line ("NAME - median_ms" when not found); with OURS (the
output of `vrma_bench_detection measure`) a table of both instead.

  detect_peer.py sets DIR [SET...]
the sets of `vrma_bench_detection_sets` (DIR/cases.txt): every photograph searched by
OpenCV's classic finder (findChessboardCorners, adaptive threshold and normalised image, as
users call it), its saddle-point finder (findChessboardCornersSB, normalised, exhaustive)
and, for dots, findCirclesGrid (symmetric, the inverted image tried too); a photograph of
more than 2 megapixels on a copy reduced by a whole factor to at most 1280 pixels a side
(at full size the classic finder takes some 25 s on 16 megapixels). Prints
"SET NAME classic ms sb ms circles ms" a line (1 found, 0 not, - not tried; ms the time).

  detect_peer.py table PEERS OURS
the table of found photographs per set, ours (the output of `vrma_bench_detection_sets
measure`) beside OpenCV's (the output of `sets`), with the time a photograph, and the
photographs an OpenCV finder found and ours did not.
"""
import sys
import time

import cv2
import numpy as np


def in_calibration_order(points, width, height, columns, rows):
    """OpenCV's grid (height lines of width points) listed column by column along image x,
    or None when it has not `columns` points along x."""
    grid = points.reshape(height, width, 2)  # [line][index along the line]
    u = np.mean(grid[:, 1:] - grid[:, :-1], axis=(0, 1))
    v = np.mean(grid[1:, :] - grid[:-1, :], axis=(0, 1))
    if abs(u[0]) * abs(v[1]) >= abs(u[1]) * abs(v[0]):
        grid, along_x, along_y = grid.transpose(1, 0, 2), u, v
    else:
        along_x, along_y = v, u
    # grid is now [index along x][index along y]
    if grid.shape[0] != columns or grid.shape[1] != rows:
        return None
    if along_x[0] < 0:
        grid = grid[::-1, :]
    if along_y[1] < 0:
        grid = grid[:, ::-1]
    return grid.reshape(-1, 2)


def detect(kind, columns, rows, file):
    grey = cv2.imread(file, cv2.IMREAD_GRAYSCALE)
    if grey is None:
        return None, None
    if kind == "chessboard":
        found, corners = cv2.findChessboardCorners(
            grey, (columns, rows), flags=cv2.CALIB_CB_ADAPTIVE_THRESH + cv2.CALIB_CB_NORMALIZE_IMAGE)
        if not found:
            return None, None
        criteria = (cv2.TERM_CRITERIA_EPS + cv2.TERM_CRITERIA_MAX_ITER, 30, 0.001)
        corners = cv2.cornerSubPix(grey, corners, (11, 11), (-1, -1), criteria)
        return corners.reshape(-1, 2), (columns, rows)
    for image in (grey, None):
        if image is None:
            image = 255 - grey
        found, centres = cv2.findCirclesGrid(image, (columns, rows),
                                             flags=cv2.CALIB_CB_SYMMETRIC_GRID)
        if found:
            return centres.reshape(-1, 2), (columns, rows)
    return None, None


def measure(folder, repeat):
    results = {}
    order = []
    with open(f"{folder}/cases.txt") as cases:
        for line in cases:
            name, kind, columns, rows, file = line.split()
            columns, rows = int(columns), int(rows)
            truth = np.loadtxt(f"{folder}/{name}.truth").reshape(-1, 2)
            times = []
            rms = None
            for _ in range(repeat):
                start = time.perf_counter()
                points, pattern = detect(kind, columns, rows, file)
                times.append((time.perf_counter() - start) * 1000.0)
                if points is None:
                    continue
                ordered = None
                for width, height in ((pattern[0], pattern[1]), (pattern[1], pattern[0])):
                    ordered = in_calibration_order(points, width, height, columns, rows)
                    if ordered is not None:
                        break
                if ordered is not None:
                    rms = float(np.sqrt(np.mean(np.sum((ordered - truth) ** 2, axis=1))))
            times.sort()
            results[name] = (rms, times[len(times) // 2])
            order.append(name)
    return order, results


def reduced(grey):
    """The photograph, or a copy reduced by a whole factor to at most 1280 pixels a side
    when it has more than 2 megapixels."""
    if grey.shape[0] * grey.shape[1] <= 2_000_000:
        return grey
    factor = -(-max(grey.shape) // 1280)
    return cv2.resize(grey, (grey.shape[1] // factor, grey.shape[0] // factor),
                      interpolation=cv2.INTER_AREA)


def timed(finder):
    start = time.perf_counter()
    found = finder()
    return ("1" if found else "0"), (time.perf_counter() - start) * 1000.0


def sets(folder, only):
    with open(f"{folder}/cases.txt") as cases:
        for line in cases:
            name, photo, kind, columns, rows, file = line.split()
            if only and name not in only:
                continue
            pattern = (int(columns), int(rows))
            start = time.perf_counter()
            grey = cv2.imread(file, cv2.IMREAD_GRAYSCALE)
            read_ms = (time.perf_counter() - start) * 1000.0
            work = reduced(grey)
            row = [name, photo]
            if kind == "chessboard":
                classic = timed(lambda: cv2.findChessboardCorners(
                    work, pattern,
                    flags=cv2.CALIB_CB_ADAPTIVE_THRESH + cv2.CALIB_CB_NORMALIZE_IMAGE)[0])
                sb = timed(lambda: cv2.findChessboardCornersSB(
                    work, pattern,
                    flags=cv2.CALIB_CB_NORMALIZE_IMAGE + cv2.CALIB_CB_EXHAUSTIVE)[0])
                row += [classic[0], f"{classic[1] + read_ms:.1f}", sb[0], f"{sb[1] + read_ms:.1f}",
                        "-", "-"]
            else:
                circles = timed(lambda: any(
                    cv2.findCirclesGrid(image, pattern, flags=cv2.CALIB_CB_SYMMETRIC_GRID)[0]
                    for image in (work, 255 - work)))
                row += ["-", "-", "-", "-", circles[0], f"{circles[1] + read_ms:.1f}"]
            print(" ".join(row), flush=True)


def table(peers_file, ours_file):
    peers = {}
    order = []
    with open(peers_file) as lines:
        for line in lines:
            name, photo, *rest = line.split()
            peers[(name, photo)] = rest
            if name not in order:
                order.append(name)
    ours = {}
    with open(ours_file) as lines:
        for line in lines:
            name, photo, result, ms, *_ = line.split()
            ours[(name, photo)] = (result == "found", float(ms))
    print("| set | photographs | ours | ms | classic | ms | SB | ms | circles | ms |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    missed = []
    for name in order:
        keys = [k for k in peers if k[0] == name]
        cell = []
        found = [ours.get(k, (False, 0.0)) for k in keys]
        cell.append(str(sum(f for f, _ in found)))
        cell.append(f"{sum(ms for _, ms in found) / len(keys):.0f}")
        for column in (0, 2, 4):
            values = [peers[k][column] for k in keys]
            if values[0] == "-":
                cell += ["—", "—"]
                continue
            cell.append(str(sum(v == "1" for v in values)))
            cell.append(f"{sum(float(peers[k][column + 1]) for k in keys) / len(keys):.0f}")
        print(f"| {name} | {len(keys)} | " + " | ".join(cell) + " |")
        for k in keys:
            if not ours.get(k, (False, 0.0))[0] and "1" in (peers[k][0], peers[k][2], peers[k][4]):
                missed.append(f"{k[0]}/{k[1]}")
    if missed:
        print()
        print("Found by an OpenCV finder and not by ours: " + ", ".join(missed))


def main():
    if len(sys.argv) > 2 and sys.argv[1] == "sets":
        sets(sys.argv[2], sys.argv[3:])
        return
    if len(sys.argv) > 3 and sys.argv[1] == "table":
        table(sys.argv[2], sys.argv[3])
        return
    folder = sys.argv[1]
    repeat = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    order, peer = measure(folder, repeat)
    if len(sys.argv) <= 3:
        for name in order:
            rms, ms = peer[name]
            print(f"{name} {'-' if rms is None else f'{rms:.4f}'} {ms:.1f}")
        return
    ours = {}
    with open(sys.argv[3]) as lines:
        for line in lines:
            name, rms, ms = line.split()
            ours[name] = (None if rms == "-" else float(rms), float(ms))
    print(f"OpenCV {cv2.__version__}, numpy {np.__version__}; medians of {repeat} runs")
    print(f"{'case':<22} {'ours rms px':>11} {'ours ms':>9} {'script rms px':>13} {'script ms':>10}")
    for name in order:
        o_rms, o_ms = ours.get(name, (None, float('nan')))
        p_rms, p_ms = peer[name]
        fmt = lambda r: "not found" if r is None else f"{r:.4f}"
        print(f"{name:<22} {fmt(o_rms):>11} {o_ms:>9.1f} {fmt(p_rms):>13} {p_ms:>10.1f}")


if __name__ == "__main__":
    main()
