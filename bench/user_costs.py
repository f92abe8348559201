"""The costs users feel outside the page workloads, measured on the mivora command.

Each function returns a dict of figures; bench/run prints them and judges the
targets against the figures of bench/baseline.json (the same measures taken on
the tree before the work on them began).

  trivial print     instructions (callgrind, the whole program: loading and
                    binding its libraries included) of printing one text cell to PDF
  cell memory       peak resident memory of a 100,000-cell page printed to PDF,
                    less that of an empty page, per cell
  PNG at 600 dpi    one W1 page at 600 dpi: CPU time (user and system), wall time,
                    instructions and the file's size
  syncs             disk syncs (fsync, fdatasync, syncfs, sync, sync_file_range)
                    of a 200-page merge to PNG files, counted by strace
  cores             the 200-page PNG merge with one worker and with all cores,
                    when the command has a --jobs option
"""
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

BENCH = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(BENCH)
sys.dont_write_bytecode = True
sys.path.insert(0, BENCH)
import make_inputs as data  # noqa: E402

BASELINE = os.path.join(BENCH, "baseline.json")
MEMORY_CELLS = 100000
# The 100,000 cells: ten bands of 25 x 400 (a cut makes at most 10,000 cells),
# with texts of one or two digits in a 2 pt face, small enough to fit their
# cells: a page of warnings would measure the warnings.
MEMORY_BANDS, MEMORY_ROWS, MEMORY_COLS = 10, 25, 400
MEMORY_FONT_POINTS = 2.0
SYNC_CALLS = ("fsync", "fdatasync", "syncfs", "sync", "sync_file_range")


def load_baseline():
    with open(BASELINE, encoding="utf-8") as f:
        return json.load(f)


def _run(command, cwd=None):
    """(wall seconds, CPU seconds, peak KiB) of one run; stops the benchmark on failure."""
    start = time.perf_counter()
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    error = process.stderr.read().decode(errors="replace")
    process.stderr.close()
    if os.waitstatus_to_exitcode(status) != 0:
        raise RuntimeError(f"{' '.join(command)} failed:\n{error[-2000:]}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss


def _callgrind(command, cwd=None):
    result = subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"] + command,
                            cwd=cwd, capture_output=True, text=True)
    found = re.findall(r"Collected\s*:\s*(\d+)", result.stderr)
    if result.returncode != 0 or not found:
        raise RuntimeError(f"callgrind: {' '.join(command)} failed:\n{result.stderr[-2000:]}")
    return int(found[-1])


def trivial_layout():
    return {
        "version": 1,
        "title": "Hello",
        "printer": {"paper": "A4", "orientation": "portrait", "resolution": 300, "margins": 0},
        "measurement": "centimeters",
        "commands": [
            {"op": "SetFont", "name": "Arial", "height": 0.42},
            {"op": "AddText", "name": "Hello", "text": "Hello, world", "left": 2, "top": 2, "width": 10,
             "height": 2},
        ],
    }


def cells_layout(bands):
    """An A3 landscape page at 300 dpi of bands x 10,000 cells with edges and texts."""
    commands = [
        {"op": "SetFont", "name": "Arial", "color": "black", "height": data.points_as_cm(MEMORY_FONT_POINTS)},
        {"op": "SetEdges", "edges": "all", "color": "black", "style": "solid", "width": 1},
        {"op": "SetAlignment", "value": "center"},
        {"op": "SetLayout", "value": "center"},
    ]
    band_cm = data.A3_LANDSCAPE_MM[1] / 10 / MEMORY_BANDS
    per_band = MEMORY_ROWS * MEMORY_COLS
    for b in range(bands):
        commands += [
            {"op": "Add", "name": f"Band{b}", "left": 0, "top": band_cm * b,
             "width": data.A3_LANDSCAPE_MM[0] / 10, "height": band_cm},
            {"op": "Split", "baseName": f"B{b}_", "rows": MEMORY_ROWS, "cols": MEMORY_COLS},
            {"op": "FillText", "texts": [str((b * per_band + i) * 37 % 100) for i in range(per_band)]},
        ]
    return {
        "version": 1,
        "title": "Cells",
        "printer": {"paper": "A3", "orientation": "landscape", "resolution": 300, "margins": 0},
        "measurement": "centimeters",
        "commands": commands,
    }


def _write_json(path, value):
    with open(path, "w", encoding="utf-8") as f:
        json.dump(value, f)
    return path


def trivial_print(mivora, work, bare=None):
    """The command's instructions for a trivial print and, given the floor
    program (bench/bare_workloads), those of the same text drawn with plain
    Cairo and Pango: start-up and Fontconfig's configuration included in both."""
    layout = _write_json(os.path.join(work, "trivial.json"), trivial_layout())
    figures = {"instructions": _callgrind([mivora, "print", layout, "-o", os.path.join(work, "trivial.pdf"), "-q"])}
    if bare:
        figures["floor_instructions"] = _callgrind([bare, "hello", os.path.join(work, "trivial-floor.pdf")])
    return figures


def cell_memory(mivora, work):
    empty = _write_json(os.path.join(work, "cells-0.json"), cells_layout(0))
    full = _write_json(os.path.join(work, "cells-100k.json"), cells_layout(MEMORY_BANDS))
    _, _, empty_kib = _run([mivora, "print", empty, "-o", os.path.join(work, "cells-0.pdf"), "-q"])
    wall, cpu, full_kib = _run([mivora, "print", full, "-o", os.path.join(work, "cells-100k.pdf"), "-q"])
    return {"empty_kib": empty_kib, "full_kib": full_kib, "cells": MEMORY_CELLS,
            "bytes_per_cell": (full_kib - empty_kib) * 1024 / MEMORY_CELLS, "wall": wall, "cpu": cpu}


def png_600(mivora, inputs, work, runs):
    """One W1 page at 600 dpi: median CPU and wall seconds of runs runs, instructions, bytes."""
    out = os.path.join(work, "page-600.png")
    command = [mivora, "print", os.path.join(inputs, "w1.json"), "--data", os.path.join(inputs, "w3.csv"),
               "--dpi", "600", "-o", out, "-q"]
    walls, cpus = [], []
    for _ in range(runs):
        wall, cpu, _ = _run(command)
        walls.append(wall)
        cpus.append(cpu)
    return {"wall": statistics.median(walls), "cpu": statistics.median(cpus),
            "instructions": _callgrind(command), "bytes": os.path.getsize(out)}


def _merge_command(mivora, inputs, folder, extra=()):
    return [mivora, "print", os.path.join(inputs, "w1.json"), "--data", os.path.join(inputs, "w1.csv"),
            "-o", os.path.join(folder, "page.png"), "-q", *extra]


def syncs(mivora, inputs, work):
    """Disk syncs of the 200-page PNG merge, by call, and the files it wrote."""
    folder = tempfile.mkdtemp(prefix="syncs-", dir=work)
    counts = os.path.join(work, "strace.txt")
    subprocess.run(["strace", "-f", "-c", "-o", counts, "-e", "trace=" + ",".join(SYNC_CALLS)]
                   + _merge_command(mivora, inputs, folder), check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    calls = {}
    with open(counts, encoding="utf-8") as f:
        for line in f:
            fields = line.split()
            if fields and fields[-1] in SYNC_CALLS:
                # "% time seconds usecs/call calls [errors] syscall"
                calls[fields[-1]] = int(fields[3])
    return {"calls": calls, "total": sum(calls.values()), "files": len(os.listdir(folder))}


def has_jobs_option(mivora):
    result = subprocess.run([mivora, "print", "--help"], capture_output=True, text=True)
    return "--jobs" in result.stdout


def cores(mivora, inputs, work, runs):
    """The 200-page PNG merge with --jobs 1 and with every core: median wall and CPU seconds."""
    if not has_jobs_option(mivora):
        return {"jobs_option": False}
    figures = {"jobs_option": True, "cores": os.cpu_count() or 1}
    for name, jobs in (("one", "1"), ("all", str(os.cpu_count() or 1))):
        walls, cpus = [], []
        for _ in range(runs):
            folder = tempfile.mkdtemp(prefix=f"jobs-{name}-", dir=work)
            wall, cpu, _ = _run(_merge_command(mivora, inputs, folder, ("--jobs", jobs)))
            walls.append(wall)
            cpus.append(cpu)
        figures[name] = {"wall": statistics.median(walls), "cpu": statistics.median(cpus)}
    figures["speedup"] = figures["one"]["wall"] / figures["all"]["wall"]
    return figures


def start_million_merge(build):
    """bench/merges at 1,000 and 1,000,000 records, started in the background."""
    return subprocess.Popen([os.path.join(BENCH, "merges"), "--build", build, "--records", "1000,1000000"],
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def finish_million_merge(process):
    """The output of start_million_merge's run: its table and its target lines."""
    out, err = process.communicate()
    if process.returncode != 0:
        raise RuntimeError("bench/merges failed:\n" + err[-2000:])
    return out


def pictures(build, runs):
    """bench/pictures (W4 badges, W6 ID cards): its output, target lines included."""
    result = subprocess.run([os.path.join(BENCH, "pictures"), "--build", build, "--runs", str(runs)],
                            capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("bench/pictures failed:\n" + result.stderr[-2000:])
    return result.stdout


def baseline_figures(build, commit, runs=5):
    """The figures baseline.json keeps, measured on the mivora command of build."""
    mivora = os.path.join(build, "tools", "mivora")
    with tempfile.TemporaryDirectory(prefix="mivora-baseline-") as work:
        inputs = {}
        for name, pages, side in (("full", 200, 100), ("w1-5", 5, 0), ("empty", 1, 0)):
            inputs[name] = os.path.join(work, name)
            subprocess.run([sys.executable, os.path.join(BENCH, "make_inputs.py"), inputs[name], "--pages",
                            str(pages), "--side", str(side)], check=True)

        def w1(folder):
            return _callgrind([mivora, "print", os.path.join(folder, "w1.json"), "--data",
                               os.path.join(folder, "w1.csv"), "-o", os.path.join(work, "w1.pdf"), "-q"])

        def w2(folder):
            return _callgrind([mivora, "print", os.path.join(folder, "w2.json"), "-o",
                               os.path.join(work, "w2.pdf"), "-q"])

        memory = cell_memory(mivora, work)
        png = png_600(mivora, inputs["full"], work, runs)
        return {
            "commit": commit,
            "note": "Measured by bench/user_costs.py on the mivora command of a RelWithDebInfo build of "
                    "this commit, on the project's loaded 2-core machine; times are medians of "
                    f"{runs} runs.",
            "trivial_instructions": trivial_print(mivora, work)["instructions"],
            "bytes_per_cell": round(memory["bytes_per_cell"], 1),
            "memory_full_kib": memory["full_kib"],
            "memory_empty_kib": memory["empty_kib"],
            "png600_cpu": round(png["cpu"], 3),
            "png600_wall": round(png["wall"], 3),
            "png600_instructions": png["instructions"],
            "png600_bytes": png["bytes"],
            "syncs": syncs(mivora, inputs["full"], work)["total"],
            "w1_command_instructions": (w1(inputs["full"]) - w1(inputs["w1-5"])) / 195,
            "w2_command_instructions": w2(inputs["full"]) - w2(inputs["empty"]),
        }


if __name__ == "__main__":
    # user_costs.py BUILD COMMIT: the baseline figures of BUILD as JSON (baseline.json).
    if len(sys.argv) != 3:
        print("usage: user_costs.py BUILD COMMIT", file=sys.stderr)
        sys.exit(2)
    print(json.dumps(baseline_figures(os.path.abspath(sys.argv[1]), sys.argv[2]), indent=1))
