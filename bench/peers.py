#!/usr/bin/python3
"""The peers' side of bench/compare.sh: what a user would write instead, timed in process.

  peers.py loadtxt FILE RUNS              numpy.loadtxt(FILE, delimiter=';')
  peers.py read_csv FILE RUNS             pandas.read_csv(FILE, sep=';', header=None)
  peers.py calibrate SCENE IMAGE NC NR RUNS
      the calibration in vectorised numpy: both files read, the central-difference ratios
      of every interior node, their mean and standard deviation, and the four-decimal text
      of every ratio (what the list box shows); then "check <md5 of the ratio texts>
      <mean> <sd>" for the script to compare with ours.
  peers.py info                           versions and the BLAS kernel in use

Each prints "<case> <wall milliseconds> <CPU milliseconds of the process> <minor page
faults> <major page faults> <peak resident MB added>" for every run: the first run of the
fresh process as the case "first_<case>", then RUNS runs. The peak is the highest resident
size of the process during the run less its resident size when the run began.
"""
import hashlib
import resource
import sys
import time

import numpy as np


def memory_status():
    """The resident size and its high-water mark, in bytes."""
    status = {}
    with open("/proc/self/status") as lines:
        for line in lines:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                status[key] = int(value.split()[0]) * 1024
    return status


def reset_peak():
    """Sets the high-water mark of the resident size to the present size."""
    try:
        with open("/proc/self/clear_refs", "w") as clear:
            clear.write("5")
    except OSError:
        pass


def timed(case, runs, work):
    result = None
    for run in range(-1, runs):
        reset_peak()
        resident = memory_status()["VmRSS"]
        usage = resource.getrusage(resource.RUSAGE_SELF)
        start, cpu = time.perf_counter(), time.process_time()
        result = work()
        wall, cpu = time.perf_counter() - start, time.process_time() - cpu
        after = resource.getrusage(resource.RUSAGE_SELF)
        peak = (memory_status()["VmHWM"] - resident) / 1048576.0
        print(f"{'first_' if run < 0 else ''}{case} {wall * 1000.0:.3f} {cpu * 1000.0:.3f} "
              f"{after.ru_minflt - usage.ru_minflt} {after.ru_majflt - usage.ru_majflt} "
              f"{peak:.1f}", flush=True)
    return result


def calibrate(scene_file, image_file, nc, nr):
    scene = np.loadtxt(scene_file, delimiter=";").reshape(nc, nr, 2)  # [column, row, x|y]
    image = np.loadtxt(image_file, delimiter=";").reshape(nc, nr, 2)
    a = (image[2:, 1:-1, 0] - image[:-2, 1:-1, 0]) / (scene[2:, 1:-1, 0] - scene[:-2, 1:-1, 0])
    b = (image[1:-1, 2:, 1] - image[1:-1, :-2, 1]) / (scene[1:-1, 2:, 1] - scene[1:-1, :-2, 1])
    ratios = np.abs(b / a).T.ravel()  # row by row, each row from left to right
    mean = ratios.mean()
    sd = ratios.std(ddof=1)
    texts = [f"{ratio:.4f}" for ratio in ratios.tolist()]
    return texts, mean, sd


def main():
    command = sys.argv[1]
    if command == "info":
        import pandas

        print(f"python {sys.version.split()[0]}, numpy {np.__version__}, "
              f"pandas {pandas.__version__}")
        try:
            from threadpoolctl import threadpool_info

            for pool in threadpool_info():
                print(f"{pool.get('internal_api')} {pool.get('version')} "
                      f"kernel {pool.get('architecture')} threads {pool.get('num_threads')}")
        except ImportError:
            print("threadpoolctl not installed: BLAS kernel unknown")
        # Debian's numpy reaches its BLAS through the alternatives link libblas.so.3.
        with open("/proc/self/maps") as maps:
            blas = sorted({line.split()[-1] for line in maps if "blas" in line.lower()})
        print("BLAS loaded: " + (", ".join(blas) if blas else "none"))
    elif command == "loadtxt":
        timed("numpy.loadtxt", int(sys.argv[3]),
              lambda: np.loadtxt(sys.argv[2], delimiter=";"))
    elif command == "read_csv":
        import pandas

        timed("pandas.read_csv", int(sys.argv[3]),
              lambda: pandas.read_csv(sys.argv[2], sep=";", header=None))
    elif command == "calibrate":
        scene, image, nc, nr, runs = sys.argv[2], sys.argv[3], int(sys.argv[4]), int(
            sys.argv[5]), int(sys.argv[6])
        texts, mean, sd = timed("numpy_calibration", runs,
                                lambda: calibrate(scene, image, nc, nr))
        digest = hashlib.md5("".join(t + "\n" for t in texts).encode("ascii"))
        print(f"check {digest.hexdigest()} {mean:.4f} {sd:.4f}")
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
