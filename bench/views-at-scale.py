#!/usr/bin/env python3
"""Many photographs of one planar test field, for the field check's multi-view fit at scale.

  views-at-scale.py make FOLDER N [spread|random]
      writes FOLDER/scene.crd and FOLDER/image0000.crd .. image<N-1>.crd (the kind of
      poses: spread, random or repeated)
  views-at-scale.py run VRMA_CALIB FOLDER N [TIMEOUT_S]
      runs VRMA_CALIB --scene scene.crd --image image0000.crd --columns 11 --rows 9
      --view scene.crd image0001.crd ... --json (one process) and prints
      "N <exit code> <seconds> <peak MB> <multiview_ratio>"; the peak is the process's
      maximum resident set (wait4's ru_maxrss), the time the wall clock from start to end.

The field has 11 x 9 targets 20 mm apart, listed column by column ("x ; y", 15 significant
digits, "." as the separator, Windows-1251, CR LF). A pinhole camera of fx = 1000,
fy = 1003.5 px, principal point at the centre of a 720 x 576 image, no distortion, with
0.05 px of measurement noise (fixed seeds). The poses: "spread" (the default) turns the
field by a Halton sequence of tilts within 25 degrees about both axes, rolls within 10 and
distances within 0.9 .. 1.3 of the nominal one, so that no two photographs are of nearly one
pose; "random" draws the same quantities at random; "repeated" is "spread" with every tenth
photograph taken again at the pose of the one before it (its own noise), as among the frames
of a video.
"""
import math
import os
import random
import subprocess
import sys
import time

FX, FY = 1000.0, 1003.5
WIDTH, HEIGHT = 720, 576
NC, NR, STEP = 11, 9, 20.0
NOISE_PX = 0.05


def halton(index, base):
    result, f = 0.0, 1.0
    while index > 0:
        f /= base
        result += f * (index % base)
        index //= base
    return result


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


def pose(k, kind, rng):
    if kind == "random":
        return (rng.uniform(-25, 25), rng.uniform(-25, 25), rng.uniform(-10, 10),
                rng.uniform(0.9, 1.3))
    i = k + 1
    if kind == "repeated" and k % 10 == 9:
        i = k
    return (50 * halton(i, 2) - 25, 50 * halton(i, 3) - 25, 20 * halton(i, 5) - 10,
            0.9 + 0.4 * halton(i, 7))


def make(folder, n, kind):
    os.makedirs(folder, exist_ok=True)
    nominal = FX * (NC - 1) * STEP / (0.7 * WIDTH)
    scene = [((i - (NC - 1) / 2) * STEP, (j - (NR - 1) / 2) * STEP)
             for i in range(NC) for j in range(NR)]
    write(os.path.join(folder, "scene.crd"), scene)
    poses = random.Random(12345)
    for k in range(n):
        v, h, q, d = pose(k, kind, poses)
        rng = random.Random(1000 + k)
        r = rotation(v, h, q)
        image = []
        for x, y in scene:
            p = [r[c][0] * x + r[c][1] * y for c in range(3)]
            p[2] += nominal * d
            image.append((FX * p[0] / p[2] + WIDTH / 2 + rng.gauss(0.0, NOISE_PX),
                          FY * p[1] / p[2] + HEIGHT / 2 + rng.gauss(0.0, NOISE_PX)))
        write(os.path.join(folder, f"image{k:04d}.crd"), image)


def run(binary, folder, n, timeout):
    scene = os.path.join(folder, "scene.crd")
    json = os.path.join(folder, f"out{n}.json")
    args = [binary, "--scene", scene, "--image", os.path.join(folder, "image0000.crd"),
            "--columns", str(NC), "--rows", str(NR), "--width", str(WIDTH), "--height",
            str(HEIGHT), "--decimal-separator", ".", "--json", json]
    for k in range(1, n):
        args += ["--view", scene, os.path.join(folder, f"image{k:04d}.crd")]
    if os.path.exists(json):
        os.remove(json)
    start = time.monotonic()
    child = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    deadline = start + timeout
    status, usage = 0, None
    while True:
        pid, status, usage = os.wait4(child.pid, os.WNOHANG)
        if pid:
            break
        if time.monotonic() > deadline:
            child.kill()
            pid, status, usage = os.wait4(child.pid, 0)
            print(f"{n} timeout >{timeout} s, peak {usage.ru_maxrss / 1024:.0f} MB so far")
            return
        time.sleep(0.02)
    seconds = time.monotonic() - start
    code = os.waitstatus_to_exitcode(status)
    ratio = "-"
    if os.path.exists(json):
        for line in open(json, encoding="utf-8"):
            if '"multiview_ratio"' in line:
                ratio = line.split(":")[1].strip().rstrip(",")
    message = child.stderr.read().decode("utf-8", "replace").strip().replace("\n", " / ")
    print(f"{n} {code} {seconds:.2f} {usage.ru_maxrss / 1024:.1f} {ratio} {message[:120]}")


def main():
    command = sys.argv[1]
    if command == "make":
        make(sys.argv[2], int(sys.argv[3]), sys.argv[4] if len(sys.argv) > 4 else "spread")
    elif command == "run":
        run(sys.argv[2], sys.argv[3], int(sys.argv[4]),
            float(sys.argv[5]) if len(sys.argv) > 5 else 600.0)
    else:
        sys.exit(f"unknown command {command}")


if __name__ == "__main__":
    main()
